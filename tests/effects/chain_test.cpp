// The effects through the engine and the stream callback: delay echo timing, cross mode,
// clamps and sample-rate change, the filter setters and LFO, golden runs of the chain.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "effects/delay_line.h"
#include "effects/filter_lfo.h"
#include "effects/state_variable_filter.h"
#include "engine/buffers.h"
#include "engine/effects_chain.h"
#include "engine/effects_ops.h"
#include "support/engine_fixture.h"
#include "test_signal.h"

namespace {

using Echoes = std::vector<std::pair<int, float>>;

class ChainTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    StateVariableFilter_ResetDither();  // one cycle for the whole program
    // Live input straight onto the bus (wet 1, dry 0); the transport stays stopped, so
    // the chain runs on every buffer.
    Audio_SetLatentInput(1);
    Audio_SetLatentInputUseLoopEffectsMix(0);
    Audio_SetLatentInputEffectsMix(1.0);
  }
  static void Line(int c, double seconds, double feedback, double mix) {
    EXPECT_EQ(Audio_SetDelayTime(c, seconds) + Audio_SetDelayFeedback(c, feedback) + Audio_SetDelayMix(c, mix), 3);
  }
  // Runs an input whose frame n is (l(n), r(n)) through the two delay lines alone.
  std::vector<float> Delay(int frames, float (*input)(int, int)) {
    std::vector<float> out(2 * frames);
    for (int n = 0; n < frames; ++n) {
      out[2 * n] = input(n, 0), out[2 * n + 1] = input(n, 1);
      EffectsChain_DelayFrame(engine(), &out[2 * n]);
    }
    return out;
  }
  // The frames where channel c sounds, and what it sounds there.
  static Echoes EchoesOf(const std::vector<float>& out, int c) {
    Echoes echoes;
    for (size_t n = 0; 2 * n < out.size(); ++n)
      if (out[2 * n + c] != 0.0f) echoes.emplace_back(static_cast<int>(n), out[2 * n + c]);
    return echoes;
  }
};

float Impulse(int n, int) { return n == 0 ? 1.0f : 0.0f; }
float Half(int, int) { return 0.5f; }

TEST_F(ChainTest, AnEchoComesBackAsWrittenAndRepeatsEveryLength) {
  Line(0, 0.0078125, 0.5, 1.0);  // 375 samples
  Line(1, 0.015625, 0.25, 1.0);  // 750
  const std::vector<float> out = Delay(1600, Impulse);
  // Heard length - 1 frames after it was written, then again every length, scaled.
  EXPECT_EQ(EchoesOf(out, 0), (Echoes{{374, 1.0f}, {749, 0.5f}, {1124, 0.25f}, {1499, 0.125f}}));
  EXPECT_EQ(EchoesOf(out, 1), (Echoes{{749, 1.0f}, {1499, 0.25f}}));
}

TEST_F(ChainTest, CrossModeFeedsTheLineWithTheLongerTime) {
  // The mono sum enters the line with the shorter time, whose output feeds the other one;
  // at equal times the right line takes the input. First echoes left and right.
  const struct { double rightTime; int left, right; } cases[] = {{0.015625, 374, 374 + 749}, {0.0078125, 748, 374}};
  for (const auto& c : cases) {
    Reset();
    Line(0, 0.0078125, 0.0, 1.0);
    Line(1, c.rightTime, 0.0, 1.0);
    EXPECT_EQ(Audio_SetDelayMode(1), 1);
    const std::vector<float> out = Delay(2000, [](int n, int c) { return n == 0 && c == 0 ? 1.0f : 0.0f; });
    EXPECT_EQ(EchoesOf(out, 0).at(0), std::make_pair(c.left, 0.5f)) << c.rightTime;
    EXPECT_EQ(EchoesOf(out, 1).at(0), std::make_pair(c.right, 0.5f)) << c.rightTime;
  }
}

TEST_F(ChainTest, DelayLinesWithoutBufferOrOfAnotherKindPassTheFrameThrough) {
  DelayLine* line = engine()->delay;
  Line(0, 0.5, 0.5, 1.0);
  Audio_RetireBuffer(DelayLine_Attach(&line[1], nullptr, 0, 48000.0));
  EXPECT_EQ(Delay(1, Half), (std::vector<float>{0.0f, 0.5f}));  // all wet, nothing delayed yet; untouched
  EXPECT_EQ(Audio_SetDelayMode(1), 1);  // cross mode needs both lines: neither runs
  EXPECT_EQ(Delay(1, Half), (std::vector<float>{0.5f, 0.5f}));
  Audio_SetDelayMode(0);
  line[1].kind = 2;  // a record that is not a delay line: refused, and the frame left alone
  EXPECT_EQ(DelayLine_Init(&line[1]) + DelayLine_SetTime(&line[1], 1.0) + DelayLine_SetFeedback(&line[1], 0.1) +
                DelayLine_SetMix(&line[1], 0.1) + DelayLine_SetMode(&line[1], 0), 0);
  EXPECT_EQ(Delay(1, Half), (std::vector<float>{0.5f, 0.5f}));
  line[1].kind = 1;
}

TEST_F(ChainTest, DelayOperationsClampAndRefuse) {
  Audio_SetDelayFeedback(0, 1.0);
  Audio_SetDelayMix(0, 2.0);
  Audio_SetDelayTime(0, 0.251);
  EXPECT_EQ((std::array{Audio_GetDelayFeedback(0), Audio_GetDelayMix(0)}), (std::array{double{0.99f}, 1.0}));
  EXPECT_EQ(Audio_GetDelayMilliseconds(0), 251);
  // The length truncates the single-precision time (0.01 s is 479 samples, not 480),
  // between 1 ms and the whole 5 s buffer.
  auto length = [&](double seconds) { return Audio_SetDelayTime(1, seconds), engine()->delay[1].length.load(); };
  EXPECT_EQ((std::array{length(0.01), length(0.0), length(7.0)}), (std::array{479, 48, 240000}));
  EXPECT_EQ(Audio_SetDelayTime(2, 1.0) + Audio_SetDelayFeedback(-1, 0.1) + Audio_SetDelayMode(2), 0);

  // At a sample-rate change the lengths stay within the new buffers.
  Audio_SetDelayTime(0, 5.0);
  Audio_SetDelayTime(1, 0.5);
  engine()->sampleRate = 11025.0;
  ASSERT_TRUE(Effects_SetSampleRate(engine(), 11025.0));
  EXPECT_EQ(engine()->delay[0].bufferBytes.load(), 55125u * 4u);
  EXPECT_EQ(engine()->delay[0].length.load(), 55125);
  EXPECT_EQ(engine()->delay[1].length.load(), 5512);
  for (float sample : Delay(60000, TestSignal)) ASSERT_TRUE(std::isfinite(sample));
  // A failed allocation leaves the line unprocessed until a later change.
  Audio_SetDelayMix(1, 1.0);
  Audio_FailNextAllocations(1);
  EXPECT_FALSE(Effects_SetSampleRate(engine(), 48000.0));
  // No buffer left: passed through; right, the new line: all wet, nothing delayed yet.
  EXPECT_EQ(Delay(1, Half), (std::vector<float>{0.5f, 0.0f}));
  Audio_SetDelayTime(0, 2.0);  // the time is still kept for the next buffer
  ASSERT_TRUE(Effects_SetSampleRate(engine(), 48000.0));
  EXPECT_EQ(engine()->delay[0].length.load(), 96000);
}

TEST_F(ChainTest, DisabledDelayKeepsItsContentsForLater) {
  Line(0, 0.0078125, 0.0, 1.0);  // 375 samples
  Run(256, 256, Impulse);
  Audio_EnableDelay(0);
  for (float sample : Run(1024, 256)) ASSERT_EQ(sample, 0.0f);
  Audio_EnableDelay(1);
  // The line stood still at frame 255: the echo still lies 119 frames ahead.
  const std::vector<float> out = Run(256, 256);
  for (int n = 0; n < 256; ++n) EXPECT_EQ(out[2 * n], n == 118 ? 1.0f : 0.0f) << n;
}

TEST_F(ChainTest, GoldenOutputOfTheFullChainInEitherOrder) {
  // Regenerate only on purpose: filter with LFO, delay in cross mode, reverb over the
  // whole bus, the delay first and then the filter first.
  const struct { int frame; float left, right; } expected[2][6] = {
      {{0, 0.00068736955f, 0.0051148296f}, {95, 0.15473737f, -0.23277715f}, {255, 0.010427204f, 0.15803896f},
       {256, -0.0063222609f, 0.16091861f}, {1200, -0.056445602f, 0.18309703f}, {1535, -0.063445605f, 0.18800378f}},
      {{0, 0.000687369553f, 0.00511482917f}, {95, 0.156372696f, -0.232777148f}, {255, -0.377115786f, 0.43555671f},
       {256, -0.412597328f, 0.454156399f}, {1200, -0.239992648f, 0.40085575f}, {1535, -0.224804968f, 0.380090803f}}};
  for (int filterFirst = 0; filterFirst < 2; ++filterFirst) {
    Reset();
    for (int c = 0; c < 2; ++c)
      Audio_SetFilterFrequency(c, c ? 2500.0 : 1500.0), Audio_SetFilterResonance(c, 0.5), Audio_SetFilterLfoRate(c, 5.0),
          Audio_SetFilterLfoDepth(c, 0.5), Audio_SetDelayTime(c, c ? 0.003 : 0.002);
    Audio_EnableFilterLfo(1);
    Audio_EnableFilter(1);
    Audio_SetFilterBeforeDelay(filterFirst);
    Audio_SetDelayMode(1);
    Audio_SetReverbDry(0.5);
    Audio_EnableReverb(1);
    const std::vector<float> out = Run(1536, 256, TestSignal);
    for (const auto& s : expected[filterFirst])
      EXPECT_EQ(std::make_pair(out[2 * s.frame], out[2 * s.frame + 1]), std::make_pair(s.left, s.right))
          << s.frame << (filterFirst ? " filter first" : " delay first");
  }
}

TEST_F(ChainTest, FilterSettersClampRefuseAndReachTheUnits) {
  Audio_SetFilterFrequency(0, 30000.0);
  Audio_SetFilterFrequency(1, -5.0);
  Audio_SetFilterResonance(0, 1.5);
  Audio_SetFilterLfoRate(1, 250.0);
  Audio_SetFilterLfoDepth(0, -1.0);
  EXPECT_EQ((std::array{Audio_GetFilterFrequency(0), Audio_GetFilterFrequency(1), Audio_GetFilterLfoRate(1),
                        Audio_GetFilterLfoDepth(0)}), (std::array{24000.0, 0.0, 100.0, 0.0}));
  EXPECT_EQ(Audio_SetFilterFrequency(2, 100.0) + Audio_SetFilterResonance(-1, 0.5) + Audio_SetFilterMode(4) +
                Audio_SetFilterMode(-1), 0);
  EXPECT_EQ(Audio_SetFilterMode(2), 1);
  EXPECT_EQ(StateVariableFilter_GetParameter(&engine()->filter[1], FilterParamMode), 2);
  // The next step takes the settings to the units, resonance clamped to 1.
  Audio_UpdateFilterLfo(engine(), 256);
  const StateVariableFilter& unit = engine()->filter[0];
  EXPECT_EQ((std::array{unit.frequency, unit.f, unit.resonance, unit.inputGain}), (std::array{24000.0, 0.99, 1.0, 0.0}));
}

TEST_F(ChainTest, FilterLfoTriangleStepsOnceACallbackTakesTwoOverRateSecondsAndResetsToZero) {
  // 512 frames at 32768 Hz with rate 1: 1/64 of the way per step, exact in binary.
  engine()->sampleRate = 32768.0;
  Audio_SetFilterFrequency(0, 100.0);
  Audio_SetFilterLfoRate(0, 1.0);
  Audio_SetFilterLfoDepth(0, 0.5);
  FilterLfo& lfo = engine()->filterLfo[0];
  Run(16384, 512);  // the callback steps it even with the filter off
  EXPECT_EQ(lfo.phase.load(), 0.5);
  EXPECT_EQ(engine()->filter[0].frequency, 100.0);  // the LFO off: the set frequency
  Audio_EnableFilterLfo(1);
  Audio_UpdateFilterLfo(engine(), 0);
  EXPECT_DOUBLE_EQ(engine()->filter[0].frequency, 200.0);  // depth 1 would sweep 4 octaves
  auto step = [&](int times) { while (times--) Audio_UpdateFilterLfo(engine(), 512); };
  auto state = [&] { return std::make_pair(lfo.phase.load(), lfo.direction.load()); };
  step(32);
  EXPECT_EQ(state(), std::make_pair(1.0, 1.0));  // one second up: the top
  step(1);
  EXPECT_EQ(state(), std::make_pair(1.0, -1.0));  // clipped, turning down
  step(32);
  EXPECT_EQ(state(), std::make_pair(0.5, -1.0));  // down at the same rate
  // A reset puts the phases to zero keeping the directions: the falling LFO turns at the
  // next step.
  engine()->filterLfo[1].phase = 0.25;
  EXPECT_EQ(Audio_ResetFilterLfo(), 1);
  EXPECT_EQ(engine()->filterLfo[1].phase.load(), 0.0);
  step(1);
  EXPECT_EQ(state(), std::make_pair(0.0, 1.0));
}

}  // namespace
