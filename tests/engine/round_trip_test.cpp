// Finding the round trip: the analysis on synthetic captures (exact delays at any gain or
// polarity, noise, silence, echoes), and the probe in the stream callback against a
// simulated loop cable.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <random>
#include <vector>

#include "engine/audio.h"
#include "engine/latency_probe.h"
#include "engine/round_trip.h"
#include "support/engine_fixture.h"

namespace {

constexpr int32_t kSignal = 4096;
constexpr int32_t kCapture = kSignal + 48000;

// A stereo capture: on `channel`, the signal `delay` frames late at `gain`, plus white
// noise of `noise` RMS on both channels.
std::vector<float> Capture(const std::vector<float>& signal, int32_t delay, double gain, double noise,
                           int channel = 0, uint32_t seed = 1) {
  std::vector<float> capture(2 * kCapture, 0.0f);
  std::mt19937 random(seed);
  std::normal_distribution<double> hiss(0.0, noise > 0 ? noise : 1.0);
  for (int32_t f = 0; f < kCapture; ++f) {
    for (int c = 0; c < 2; ++c) {
      double v = noise > 0 ? hiss(random) : 0.0;
      const int32_t i = f - delay;
      if (c == channel && i >= 0 && i < static_cast<int32_t>(signal.size())) v += gain * signal[i];
      capture[2 * f + c] = static_cast<float>(v);
    }
  }
  return capture;
}

RoundTrip Find(const std::vector<float>& signal, const std::vector<float>& capture) {
  return RoundTrip_FindStereo(signal, capture.data(), kCapture);
}

TEST(RoundTripAnalysis, FindsTheDelayToTheFrameAtAnyGainAndPolarityOnEitherChannel) {
  const std::vector<float> signal = RoundTrip_TestSignal(kSignal);
  struct Case {
    int32_t delay;
    double gain, noise;
    int channel;
  } cases[] = {
      {0, 1.0, 0.0, 0},       {1, 1.0, 0.0, 1},         {256, 0.5, 0.0, 0},    {512 + 37, -1.0, 0.0, 1},
      {12345, 0.02, 0.0, 0},  {4777, 0.25, 0.02, 0},    {48000, 1.0, 0.0, 0},  {300, -0.1, 0.004, 1},
      {2000, 4.0, 0.0, 0},  // a hot loop, far above full scale
  };
  for (const Case& c : cases) {
    const RoundTrip r = Find(signal, Capture(signal, c.delay, c.gain, c.noise, c.channel));
    EXPECT_EQ(r.result, RoundTripResult::Found) << "delay " << c.delay;
    EXPECT_EQ(r.frames, c.delay) << "gain " << c.gain << " noise " << c.noise;
  }
}

TEST(RoundTripAnalysis, TheSameDelayOnBothChannelsIsFoundAndDifferentOnesAreUnreliable) {
  const std::vector<float> signal = RoundTrip_TestSignal(kSignal);
  std::vector<float> both = Capture(signal, 700, 1.0, 0.0, 0);
  const std::vector<float> right = Capture(signal, 700, 0.5, 0.0, 1);
  for (int32_t f = 0; f < kCapture; ++f) both[2 * f + 1] = right[2 * f + 1];
  EXPECT_EQ(Find(signal, both).frames, 700);
  EXPECT_EQ(Find(signal, both).result, RoundTripResult::Found);

  const std::vector<float> other = Capture(signal, 900, 1.0, 0.0, 1);
  for (int32_t f = 0; f < kCapture; ++f) both[2 * f + 1] = other[2 * f + 1];
  EXPECT_EQ(Find(signal, both).result, RoundTripResult::Unreliable);
}

TEST(RoundTripAnalysis, SilenceHissAndBrokenSamplesMeanNothingCameBack) {
  const std::vector<float> signal = RoundTrip_TestSignal(kSignal);
  EXPECT_EQ(Find(signal, Capture(signal, 0, 0.0, 0.0)).result, RoundTripResult::NoSignal);
  EXPECT_EQ(Find(signal, Capture(signal, 0, 0.0, 0.3)).result, RoundTripResult::NoSignal);  // loud hiss only
  std::vector<float> hum(2 * kCapture);
  for (int32_t f = 0; f < kCapture; ++f) hum[2 * f] = hum[2 * f + 1] = static_cast<float>(0.5 * std::sin(f * 0.0065));
  EXPECT_EQ(Find(signal, hum).result, RoundTripResult::NoSignal);
  std::vector<float> broken(2 * kCapture, std::nanf(""));
  EXPECT_EQ(Find(signal, broken).result, RoundTripResult::NoSignal);
  EXPECT_EQ(RoundTrip_FindStereo(signal, broken.data(), kSignal - 1).result, RoundTripResult::NoSignal);
}

TEST(RoundTripAnalysis, ASignalBuriedInNoiseOrHeardTwiceIsUnreliable) {
  const std::vector<float> signal = RoundTrip_TestSignal(kSignal);
  // The signal's RMS is about 0.14: noise three times as strong leaves a trace, not a measurement.
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    const RoundTrip r = Find(signal, Capture(signal, 1000, 1.0, 0.45, 0, seed));
    EXPECT_EQ(r.result, RoundTripResult::Unreliable) << "match " << r.match;
  }
  // An echo as strong as the first arrival: which one is the loop?
  std::vector<float> echo = Capture(signal, 1000, 1.0, 0.0);
  for (int32_t i = 0; i < kSignal; ++i) echo[2 * (5000 + i)] += 0.8f * signal[i];
  EXPECT_EQ(Find(signal, echo).result, RoundTripResult::Unreliable);
  // A faint one does not matter.
  echo = Capture(signal, 1000, 1.0, 0.0);
  for (int32_t i = 0; i < kSignal; ++i) echo[2 * (5000 + i)] += 0.2f * signal[i];
  EXPECT_EQ(Find(signal, echo).result, RoundTripResult::Found);
  EXPECT_EQ(Find(signal, echo).frames, 1000);
}

// The callback with the probe armed, its output fed back to its input `delay` frames
// later, as a cable or a JACK connection would.
class LatencyProbeCallback : public EngineTest {
 protected:
  // Runs callbacks of `block` frames until the probe is done (or `limit` frames).
  void Loop(int32_t delay, unsigned long block, long limit) {
    std::deque<float> line(2 * static_cast<size_t>(delay), 0.0f);
    std::vector<float> in(2 * block), out(2 * block);
    for (long done = 0; done < limit && !LatencyProbe_Done(&engine()->latencyProbe); done += block) {
      for (unsigned long i = 0; i < 2 * block; ++i) in[i] = line[i];
      Audio_ProcessStream(engine(), in.data(), out.data(), block);
      line.erase(line.begin(), line.begin() + 2 * block);
      line.insert(line.end(), out.begin(), out.end());
      played.insert(played.end(), out.begin(), out.end());
    }
  }
  std::vector<float> played;
};

TEST_F(LatencyProbeCallback, ThePlayedSignalComesBackAtTheLoopsDelayAndNothingElseSounds) {
  const int slot = MakeLoop(1000, 2, [](int f, int) { return f % 2 ? 0.5f : -0.5f; });
  ASSERT_GE(slot, 1);
  Audio_PlayLooping();
  const std::vector<float> signal = RoundTrip_TestSignal(kSignal);
  for (auto [delay, block] : {std::pair{256 + 37, 256ul}, {1024, 1024ul}, {700, 600ul}}) {
    played.clear();
    LatencyProbe_Arm(&engine()->latencyProbe, signal, kCapture);
    Loop(delay, block, 4L * kCapture);
    ASSERT_TRUE(LatencyProbe_Done(&engine()->latencyProbe));
    const RoundTrip r = RoundTrip_FindStereo(signal, engine()->latencyProbe.capture.data(), kCapture);
    EXPECT_EQ(r.result, RoundTripResult::Found);
    EXPECT_EQ(r.frames, delay) << "blocks of " << block;
    // While it ran, the outputs carried the signal and then silence, on both sides alike.
    for (int32_t f = 0; f < kCapture; ++f) {
      const float expected = f < kSignal ? signal[f] : 0.0f;
      ASSERT_EQ(played[2 * f], expected) << f;
      ASSERT_EQ(played[2 * f + 1], expected) << f;
    }
    // And the loop plays again after it.
    std::vector<float> in(2 * block, 0.0f), out(2 * block);
    Audio_ProcessStream(engine(), in.data(), out.data(), block);
    EXPECT_EQ(std::fabs(out[0]), 0.5f);
  }
}

TEST_F(LatencyProbeCallback, ACancelledMeasurementLeavesTheOutputAloneAndCanBeArmedAgain) {
  const std::vector<float> signal = RoundTrip_TestSignal(kSignal);
  LatencyProbe_Arm(&engine()->latencyProbe, signal, kCapture);
  Loop(300, 256, 2048);
  EXPECT_FALSE(LatencyProbe_Done(&engine()->latencyProbe));
  LatencyProbe_Cancel(&engine()->latencyProbe);
  played.clear();
  Loop(300, 256, 256);
  EXPECT_EQ(played[0], 0.0f);  // the engine's own (silent) output, not the signal
  EXPECT_EQ(played[2 * 100], 0.0f);
  LatencyProbe_Arm(&engine()->latencyProbe, signal, kCapture);
  Loop(300, 256, 4L * kCapture);
  ASSERT_TRUE(LatencyProbe_Done(&engine()->latencyProbe));
  EXPECT_EQ(RoundTrip_FindStereo(signal, engine()->latencyProbe.capture.data(), kCapture).frames, 300);
}

}  // namespace
