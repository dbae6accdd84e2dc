// The effects chain as the stream callback runs it: stage order, the reverb on the whole
// bus, the delay keeping its contents while disabled, and a golden run of the full chain.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "effects/reverb_model.h"
#include "effects/state_variable_filter.h"
#include "effects_fixture.h"
#include "engine/effects_chain.h"

namespace {

class ChainTest : public EffectsEngineTest {
 protected:
  void SetUp() override {
    EffectsEngineTest::SetUp();
    // Live input straight onto the bus (wet 1, dry 0); the transport stays stopped, so
    // the chain runs on every buffer.
    Audio_SetLatentInput(1);
    Audio_SetLatentInputUseLoopEffectsMix(0);
    Audio_SetLatentInputEffectsMix(1.0);
  }
};

float Impulse(int n, int) { return n == 0 ? 1.0f : 0.0f; }
float Silence(int, int) { return 0.0f; }

// 700 Hz band pass at resonance 0.8, delays of 3 and 4 ms with feedback 0.7, mix 0.6.
void Configure() {
  for (int c = 0; c < 2; ++c) {
    Audio_SetFilterFrequency(c, 700.0);
    Audio_SetFilterResonance(c, 0.8);
    Audio_SetDelayTime(c, c ? 0.004 : 0.003);
    Audio_SetDelayFeedback(c, 0.7);
    Audio_SetDelayMix(c, 0.6);
  }
  Audio_SetFilterMode(FilterBandPass);
  Audio_EnableFilter(1);
}

TEST_F(ChainTest, FilterAndDelayRunInTheChosenOrder) {
  // The callback's output against the two stages applied frame by frame to a fresh engine.
  auto replay = [this](bool filterFirst) {
    Reset();
    Configure();
    Audio_UpdateFilterLfo(engine(), 0);  // the units take the settings
    std::vector<float> out(2 * 2048);
    for (int n = 0; n < 2048; ++n) {
      float* frame = &out[2 * n];
      frame[0] = TestSignal(n, 0), frame[1] = TestSignal(n, 1);
      if (filterFirst) EffectsChain_FilterFrame(engine(), frame);
      EffectsChain_DelayFrame(engine(), frame);
      if (!filterFirst) EffectsChain_FilterFrame(engine(), frame);
    }
    return out;
  };
  for (const bool filterFirst : {true, false}) {
    SCOPED_TRACE(filterFirst ? "filter first" : "delay first");
    Reset();
    Configure();
    Audio_SetFilterBeforeDelay(filterFirst);
    const std::vector<float> out = Run(2048, 256, TestSignal);
    EXPECT_EQ(out, replay(filterFirst));
    EXPECT_NE(out, replay(!filterFirst));
  }
}

TEST_F(ChainTest, ReverbRunsOnTheWholeBusWhenEnabled) {
  Audio_EnableDelay(0);
  Audio_SetReverbDry(0.5);
  std::vector<float> out = Run(3000, 256, TestSignal);
  for (int n = 0; n < 3000; ++n) ASSERT_EQ(out[2 * n], TestSignal(n, 0)) << "disabled: bus as it is";

  Audio_EnableReverb(1);
  out = Run(3000, 256, TestSignal);
  auto reference = std::make_unique<ReverbModel>();
  ReverbModel_Init(reference.get());
  ReverbModel_SetDry(reference.get(), 0.5f);
  std::vector<float> bus(6000);
  for (int n = 0; n < 3000; ++n) bus[2 * n] = TestSignal(n + 3000, 0), bus[2 * n + 1] = TestSignal(n + 3000, 1);
  ReverbModel_Process(reference.get(), &bus[0], &bus[1], &bus[0], &bus[1], 3000, 2);
  EXPECT_EQ(out, bus);
}

TEST_F(ChainTest, DisabledDelayKeepsItsContentsForLater) {
  Audio_SetDelayTime(0, 0.0078125);  // 375 samples
  Audio_SetDelayMix(0, 1.0);
  Audio_SetDelayFeedback(0, 0.0);
  Run(256, 256, Impulse);
  Audio_EnableDelay(0);
  std::vector<float> out = Run(1024, 256, Silence);
  for (float sample : out) ASSERT_EQ(sample, 0.0f);
  Audio_EnableDelay(1);
  // The line stood still at frame 255: the echo still lies 119 frames ahead.
  out = Run(256, 256, Silence);
  for (int n = 0; n < 256; ++n) EXPECT_EQ(out[2 * n], n == 118 ? 1.0f : 0.0f) << n;
}

TEST_F(ChainTest, LfoStepsOncePerCallbackEvenWithTheFilterOff) {
  for (int c = 0; c < 2; ++c) {
    Audio_SetFilterFrequency(c, 100.0);
    Audio_SetFilterLfoRate(c, 1.0);
    Audio_SetFilterLfoDepth(c, c ? 0.5 : 1.0);
  }
  Run(4800, 256, Silence);  // 19 callbacks of 256 frames and one of 192
  EXPECT_NEAR(engine()->filterLfo[0].phase.load(), 0.1, 1e-12);
  EXPECT_EQ(engine()->filter[0].frequency, 100.0);  // the LFO off: the set frequency
  Audio_EnableFilterLfo(1);
  Audio_UpdateFilterLfo(engine(), 0);
  EXPECT_DOUBLE_EQ(engine()->filter[0].frequency, 100.0 * std::exp2(0.4));  // depth 1: 4 octaves at phase 1
  EXPECT_DOUBLE_EQ(engine()->filter[1].frequency, 100.0 * std::exp2(0.2));  // depth 0.5: 2 octaves
}

TEST_F(ChainTest, GoldenOutputOfTheFullChain) {
  // Regenerate only on purpose: filter with LFO, delay in cross mode, reverb.
  for (int c = 0; c < 2; ++c) {
    Audio_SetFilterFrequency(c, c ? 2500.0 : 1500.0);
    Audio_SetFilterResonance(c, 0.5);
    Audio_SetFilterLfoRate(c, 5.0);
    Audio_SetFilterLfoDepth(c, 0.5);
  }
  Audio_EnableFilterLfo(1);
  Audio_EnableFilter(1);
  Audio_SetDelayTime(0, 0.002);
  Audio_SetDelayTime(1, 0.003);
  Audio_SetDelayMode(1);
  Audio_SetReverbDry(0.5);
  Audio_EnableReverb(1);
  const std::vector<float> out = Run(1536, 256, TestSignal);
  const struct {
    int frame;
    float left, right;
  } expected[] = {
      {0, 0.00068736955f, 0.0051148296f},   {1, 0.0057523516f, 0.042364933f},
      {95, 0.15473737f, -0.23277715f},      {96, 0.21142703f, -0.42216462f},
      {255, 0.010427204f, 0.15803896f},     {256, -0.0063222609f, 0.16091861f},
      {1200, -0.056445602f, 0.18309703f},   {1535, -0.063445605f, 0.18800378f},
  };
  for (const auto& s : expected) {
    EXPECT_FLOAT_EQ(out[2 * s.frame], s.left) << s.frame;
    EXPECT_FLOAT_EQ(out[2 * s.frame + 1], s.right) << s.frame;
  }
}

}  // namespace
