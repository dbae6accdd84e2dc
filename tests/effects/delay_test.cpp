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

// A stereo pair on buffers owned by the test.
struct Pair {
  DelayLine left, right;
  std::vector<float> bufferLeft, bufferRight;

  explicit Pair(double sampleRate) {
    const uint32_t samples = DelayLine_BufferSamples(sampleRate);
    bufferLeft.assign(samples, 0.0f);
    bufferRight.assign(samples, 0.0f);
    DelayLine_Init(&left);
    DelayLine_Init(&right);
    DelayLine_Attach(&left, bufferLeft.data(), samples, sampleRate);
    DelayLine_Attach(&right, bufferRight.data(), samples, sampleRate);
  }
  void Set(double timeL, double timeR, double feedbackL, double feedbackR, double mixL, double mixR) {
    DelayLine_SetTime(&left, timeL);
    DelayLine_SetTime(&right, timeR);
    DelayLine_SetFeedback(&left, feedbackL);
    DelayLine_SetFeedback(&right, feedbackR);
    DelayLine_SetMix(&left, mixL);
    DelayLine_SetMix(&right, mixR);
  }
  void Frame(float l, float r, float* out) {
    out[0] = l;
    out[1] = r;
    DelayLine_ProcessStereo(&left, &right, out);
  }
};

TEST(DelayLine, AnImpulseComesBackAsWrittenAndRepeatsEveryLength) {
  Pair pair(48000.0);
  pair.Set(0.0078125, 0.015625, 0.5, 0.25, 1.0, 1.0);  // 375 and 750 samples
  std::vector<int> echoes[2];
  std::vector<float> levels[2];
  for (int n = 0; n < 1600; ++n) {
    float out[2];
    pair.Frame(n == 0 ? 1.0f : 0.0f, n == 0 ? 1.0f : 0.0f, out);
    for (int c = 0; c < 2; ++c)
      if (out[c] != 0.0f) echoes[c].push_back(n), levels[c].push_back(out[c]);
  }
  // The read position is the sample written length - 1 frames ago; the scaled sample is
  // read again a full length later.
  EXPECT_EQ(echoes[0], (std::vector<int>{374, 749, 1124, 1499}));
  EXPECT_EQ(levels[0], (std::vector<float>{1.0f, 0.5f, 0.25f, 0.125f}));
  EXPECT_EQ(echoes[1], (std::vector<int>{749, 1499}));
  EXPECT_EQ(levels[1], (std::vector<float>{1.0f, 0.25f}));
  // The length truncates the single-precision time: 0.01 s is 479 samples, not 480.
  DelayLine_SetTime(&pair.left, 0.01);
  EXPECT_EQ(pair.left.length.load(), 479);
}

TEST(DelayLine, DryPartPassesAtOnceWithTheEqualPowerLaw) {
  Pair pair(48000.0);
  DelayLine_SetMix(&pair.left, 0.36);
  float out[2];
  pair.Frame(0.5f, 0.25f, out);
  EXPECT_FLOAT_EQ(out[0], 0.5f * 0.8f);
  EXPECT_FLOAT_EQ(out[1], 0.25f * std::sqrt(0.5f));
}

TEST(DelayLine, CrossModeFeedsTheLineWithTheLongerTime) {
  // The mono sum enters the line with the shorter time, whose output feeds the other one;
  // at equal times the right line takes the input. First echo frames, left and right.
  const struct {
    double rightTime;
    int first[2];
  } cases[] = {{0.015625, {374, 374 + 749}}, {0.0078125, {374 + 374, 374}}};
  for (const auto& c : cases) {
    Pair pair(48000.0);
    DelayLine_SetMode(&pair.left, 1);
    pair.Set(0.0078125, c.rightTime, 0.0, 0.0, 1.0, 1.0);  // 375 samples; 750 or equal
    int first[2] = {-1, -1};
    for (int n = 0; n < 2000; ++n) {
      float out[2];
      pair.Frame(n == 0 ? 1.0f : 0.0f, 0.0f, out);
      for (int ch = 0; ch < 2; ++ch)
        if (out[ch] != 0.0f && first[ch] < 0) {
          first[ch] = n;
          EXPECT_EQ(out[ch], 0.5f);
        }
    }
    EXPECT_EQ(first[0], c.first[0]) << c.rightTime;
    EXPECT_EQ(first[1], c.first[1]) << c.rightTime;
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
  Pair pair(960.0);
  pair.Set(0.005, 0.008, 0.6, 0.3, 0.7, 0.4);
  DelayLine_SetMode(&pair.left, 1);
  for (int n = 0; n < 12; ++n) {
    float out[2];
    pair.Frame(TestSignal(n, 0), TestSignal(n, 1), out);
    EXPECT_FLOAT_EQ(out[0], expected[n][0]) << n;
    EXPECT_FLOAT_EQ(out[1], expected[n][1]) << n;
  }
}

TEST(DelayLine, ALineWithoutBufferPassesItsChannelThrough) {
  Pair pair(48000.0);
  DelayLine_Attach(&pair.right, nullptr, 0, 48000.0);
  DelayLine_SetMix(&pair.left, 1.0);
  DelayLine_SetMix(&pair.right, 1.0);
  float out[2];
  pair.Frame(0.5f, 0.5f, out);
  EXPECT_EQ(out[0], 0.0f);  // all wet, nothing delayed yet
  EXPECT_EQ(out[1], 0.5f);  // untouched
  DelayLine_SetMode(&pair.left, 1);  // cross mode needs both lines: neither runs
  pair.Frame(0.5f, 0.25f, out);
  EXPECT_EQ(out[0], 0.5f);
  EXPECT_EQ(out[1], 0.25f);
}

// ---- Engine operations and the sample-rate change ----

using DelayEngineTest = EffectsEngineTest;

TEST_F(DelayEngineTest, OperationsClampAndRefuse) {
  EXPECT_EQ(engine()->delay[0].length.load(), 24000);  // 0.5 s at the start
  EXPECT_EQ(engine()->delay[0].bufferBytes.load(), 240000u * 4u);
  Audio_SetDelayFeedback(0, 1.0);
  EXPECT_DOUBLE_EQ(Audio_GetDelayFeedback(0), 0.99f);
  Audio_SetDelayTime(1, 7.0);
  EXPECT_EQ(engine()->delay[1].length.load(), 240000);  // 5 s
  Audio_SetDelayTime(0, 0.251);
  EXPECT_EQ(Audio_GetDelayMilliseconds(0), 251);
  Audio_SetDelayTime(1, 0.0);
  EXPECT_EQ(engine()->delay[1].length.load(), 48);  // 1 ms
  Audio_SetDelayMix(0, 2.0);
  EXPECT_EQ(Audio_GetDelayMix(0), 1.0);
  EXPECT_EQ(Audio_SetDelayTime(2, 1.0), 0);
  EXPECT_EQ(Audio_SetDelayFeedback(-1, 0.1), 0);
  EXPECT_EQ(Audio_SetDelayMode(2), 0);
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
