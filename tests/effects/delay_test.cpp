// The stereo delay: echo timing, cross mode, feedback and mix laws, clamps, and the
// buffer swap at a sample-rate change.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "effects/delay_line.h"
#include "engine/buffers.h"
#include "engine/effects_chain.h"
#include "effects_fixture.h"

namespace {

// A stereo pair on buffers owned by the test: times, feedbacks and mixes left and right.
struct Pair {
  DelayLine line[2];
  std::vector<float> buffer[2];

  Pair(double rate, double timeL, double timeR, double fbL, double fbR, double mixL, double mixR) {
    const double time[2] = {timeL, timeR}, feedback[2] = {fbL, fbR}, mix[2] = {mixL, mixR};
    for (int c = 0; c < 2; ++c) {
      buffer[c].assign(DelayLine_BufferSamples(rate), 0.0f);
      DelayLine_Init(&line[c]);
      DelayLine_Attach(&line[c], buffer[c].data(), static_cast<uint32_t>(buffer[c].size()), rate);
      DelayLine_SetTime(&line[c], time[c]);
      DelayLine_SetFeedback(&line[c], feedback[c]);
      DelayLine_SetMix(&line[c], mix[c]);
    }
  }
  // Runs an input whose frame n is (l(n), r(n)); returns the output, interleaved.
  std::vector<float> Run(int frames, float (*input)(int, int)) {
    std::vector<float> out(2 * frames);
    for (int n = 0; n < frames; ++n) {
      out[2 * n] = input(n, 0), out[2 * n + 1] = input(n, 1);
      DelayLine_ProcessStereo(&line[0], &line[1], &out[2 * n]);
    }
    return out;
  }
};

float Impulse(int n, int) { return n == 0 ? 1.0f : 0.0f; }
float LeftImpulse(int n, int c) { return n == 0 && c == 0 ? 1.0f : 0.0f; }
// The frames where channel c sounds, and what it sounds there.
std::vector<std::pair<int, float>> Echoes(const std::vector<float>& out, int c) {
  std::vector<std::pair<int, float>> echoes;
  for (size_t n = 0; 2 * n < out.size(); ++n)
    if (out[2 * n + c] != 0.0f) echoes.emplace_back(static_cast<int>(n), out[2 * n + c]);
  return echoes;
}

TEST(DelayLine, AnImpulseComesBackAsWrittenAndRepeatsEveryLength) {
  Pair pair(48000.0, 0.0078125, 0.015625, 0.5, 0.25, 1.0, 1.0);  // 375 and 750 samples
  const std::vector<float> out = pair.Run(1600, Impulse);
  // The read position is the sample written length - 1 frames ago; the scaled sample is
  // read again a full length later.
  using E = std::vector<std::pair<int, float>>;
  EXPECT_EQ(Echoes(out, 0), (E{{374, 1.0f}, {749, 0.5f}, {1124, 0.25f}, {1499, 0.125f}}));
  EXPECT_EQ(Echoes(out, 1), (E{{749, 1.0f}, {1499, 0.25f}}));
  // The length truncates the single-precision time: 0.01 s is 479 samples, not 480.
  DelayLine_SetTime(&pair.line[0], 0.01);
  EXPECT_EQ(pair.line[0].length.load(), 479);
  // The dry part passes at once with the equal-power law: mix 0.36 leaves 0.8, 0.5 sqrt(0.5).
  Pair dry(48000.0, 0.5, 0.5, 0.5, 0.5, 0.36, 0.5);
  const std::vector<float> first = dry.Run(1, [](int, int c) { return c ? 0.25f : 0.5f; });
  EXPECT_FLOAT_EQ(first[0], 0.5f * 0.8f);
  EXPECT_FLOAT_EQ(first[1], 0.25f * std::sqrt(0.5f));
}

TEST(DelayLine, CrossModeFeedsTheLineWithTheLongerTime) {
  // The mono sum enters the line with the shorter time, whose output feeds the other one;
  // at equal times the right line takes the input. First echoes left and right.
  const struct {
    double rightTime;
    int left, right;
  } cases[] = {{0.015625, 374, 374 + 749}, {0.0078125, 374 + 374, 374}};
  for (const auto& c : cases) {
    Pair pair(48000.0, 0.0078125, c.rightTime, 0.0, 0.0, 1.0, 1.0);
    DelayLine_SetMode(&pair.line[0], 1);
    const std::vector<float> out = pair.Run(2000, LeftImpulse);
    EXPECT_EQ(Echoes(out, 0).front(), std::make_pair(c.left, 0.5f)) << c.rightTime;
    EXPECT_EQ(Echoes(out, 1).front(), std::make_pair(c.right, 0.5f)) << c.rightTime;
  }
}

TEST(DelayLine, GoldenOutputInCrossMode) {
  // Regenerate only on purpose. Lengths 4 (left) and 7 (right) at 960 Hz. Cross mode, as
  // the normal mode's timing, feedback and mix are pinned exactly above.
  const float expected[12][2] = {
      {0.136930645f, 0.519549489f}, {0.0809315443f, 0.373184502f}, {0.154633716f, 0.387133211f},
      {0.599694252f, 0.366500467f}, {0.518604517f, 0.313129336f}, {0.600354552f, 0.231787264f},
      {0.62847662f, 0.129740357f}, {0.737389386f, 0.209753305f}, {0.518803716f, -0.0989706516f},
      {0.390805453f, 0.0859574825f}, {0.437062711f, -0.050356254f}, {0.0446325652f, -0.0776436031f}};
  Pair pair(960.0, 0.005, 0.008, 0.6, 0.3, 0.7, 0.4);
  DelayLine_SetMode(&pair.line[0], 1);
  const std::vector<float> out = pair.Run(12, TestSignal);
  for (int n = 0; n < 12; ++n) {
    EXPECT_FLOAT_EQ(out[2 * n], expected[n][0]) << n;
    EXPECT_FLOAT_EQ(out[2 * n + 1], expected[n][1]) << n;
  }
}

TEST(DelayLine, LinesWithoutBufferOrOfAnotherKindPassTheFrameThrough) {
  Pair pair(48000.0, 0.5, 0.5, 0.5, 0.5, 1.0, 1.0);
  DelayLine_Attach(&pair.line[1], nullptr, 0, 48000.0);
  auto half = [](int, int) { return 0.5f; };
  EXPECT_EQ(pair.Run(1, half), (std::vector<float>{0.0f, 0.5f}));  // all wet, nothing delayed yet; untouched
  EXPECT_EQ(DelayLine_SetMode(&pair.line[0], 1), 1);  // cross mode needs both lines: neither runs
  EXPECT_EQ(pair.Run(1, half), (std::vector<float>{0.5f, 0.5f}));
  Pair other(48000.0, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5);
  EXPECT_EQ(DelayLine_SetMix(&other.line[0], 1.0) + DelayLine_SetFeedback(&other.line[0], 0.5), 2);
  other.line[1].kind = 2;  // a record that is not a delay line: the frame is left alone
  EXPECT_EQ(other.Run(1, half), (std::vector<float>{0.5f, 0.5f}));
  EXPECT_EQ(DelayLine_SetTime(&other.line[1], 1.0), 0);
}

// ---- Engine operations and the sample-rate change ----

using DelayEngineTest = EffectsEngineTest;

TEST_F(DelayEngineTest, OperationsClampAndRefuse) {
  DelayLine* line = engine()->delay;
  EXPECT_EQ(line[0].length.load(), 24000);  // 0.5 s at the start
  EXPECT_EQ(line[0].bufferBytes.load(), 240000u * 4u);
  Audio_SetDelayFeedback(0, 1.0);
  EXPECT_DOUBLE_EQ(Audio_GetDelayFeedback(0), 0.99f);
  Audio_SetDelayTime(1, 7.0);
  EXPECT_EQ(line[1].length.load(), 240000);  // 5 s
  Audio_SetDelayTime(0, 0.251);
  EXPECT_EQ(Audio_GetDelayMilliseconds(0), 251);
  Audio_SetDelayTime(1, 0.0);
  EXPECT_EQ(line[1].length.load(), 48);  // 1 ms
  Audio_SetDelayMix(0, 2.0);
  EXPECT_EQ(Audio_GetDelayMix(0), 1.0);
  EXPECT_EQ(Audio_SetDelayTime(2, 1.0) + Audio_SetDelayFeedback(-1, 0.1) + Audio_SetDelayMode(2), 0);
}

TEST_F(DelayEngineTest, SampleRateChangeKeepsTheLengthWithinTheNewBuffer) {
  Audio_SetDelayTime(0, 5.0);
  Audio_SetDelayTime(1, 0.5);
  engine()->sampleRate = 11025.0;
  ASSERT_TRUE(Effects_SetSampleRate(engine(), 11025.0));
  EXPECT_EQ(engine()->delay[0].bufferBytes.load(), 55125u * 4u);
  EXPECT_EQ(engine()->delay[0].length.load(), 55125);
  EXPECT_EQ(engine()->delay[1].length.load(), 5512);
  // Five seconds of frames run through the lines without leaving their buffers.
  for (int n = 0; n < 60000; ++n) {
    float frame[2] = {TestSignal(n, 0), TestSignal(n, 1)};
    EffectsChain_DelayFrame(engine(), frame);
    ASSERT_TRUE(std::isfinite(frame[0]) && std::isfinite(frame[1]));
  }

  // A failed allocation leaves the line unprocessed until a later change.
  Audio_SetDelayMix(0, 1.0);
  Audio_SetDelayMix(1, 1.0);
  Audio_FailNextAllocations(1);
  EXPECT_FALSE(Effects_SetSampleRate(engine(), 48000.0));
  float frame[2] = {0.5f, 0.5f};
  EffectsChain_DelayFrame(engine(), frame);
  EXPECT_EQ(frame[0], 0.5f);  // no buffer: passed through
  EXPECT_EQ(frame[1], 0.0f);  // the new line: all wet, nothing delayed yet
  Audio_SetDelayTime(0, 2.0);  // the time is still kept for the next buffer
  ASSERT_TRUE(Effects_SetSampleRate(engine(), 48000.0));
  EXPECT_EQ(engine()->delay[0].length.load(), 96000);
}

TEST_F(DelayEngineTest, BuffersSwapSafelyUnderARunningCallback) {
  // The callback runs on its own thread while the user-interface side swaps buffers of
  // very different sizes; the old ones are freed only once no callback can use them.
  // (Out-of-bounds use is what the sanitizer build catches here.)
  Audio_SetDelayTime(0, 5.0);
  Audio_SetDelayTime(1, 4.9);
  Audio_SetLatentInput(1);
  Audio_SetLatentInputUseLoopEffectsMix(0);
  Audio_SetLatentInputEffectsMix(1.0);
  Audio_SetCallbackRunning(true);
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    std::vector<float> in(512, 0.25f), out(512);
    while (!stop.load()) Audio_ProcessStream(engine(), in.data(), out.data(), 256);
  });
  for (int i = 0; i < 40; ++i) {
    const double rate = i % 2 ? 11025.0 : 96000.0;
    engine()->sampleRate = rate;
    ASSERT_TRUE(Effects_SetSampleRate(engine(), rate));
    Audio_CollectGarbage();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  stop = true;
  audio.join();
  Audio_SetCallbackRunning(false);
  Audio_CollectGarbage();
  EXPECT_TRUE(engine()->retiredBuffers.empty());
}

}  // namespace
