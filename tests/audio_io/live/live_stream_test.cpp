// The real duplex stream against a running JACK server (the dummy backend in CI): open
// the "system" device by its configured name, check that callbacks run, record the
// program's own output fed back into its input, reopen at other latencies, refuse an
// unknown device name.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio_io/audio_device.h"
#include "engine/audio.h"
#include "engine/buffers.h"
#include "support/scripted_dialog.h"

namespace {

constexpr int JACK = 12;

bool Shell(const char* command) { return std::system(command) == 0; }

void WaitFor(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

class LiveStream : public ::testing::Test {
 protected:
  void SetUp() override {
    // CI always starts the server: there a missing one is a failure, not a skip.
    const char* ci = std::getenv("CI");
    const bool mustRun = ci && *ci && std::string(ci) != "false";
    if (!Shell("jack_lsp >/dev/null 2>&1")) {
      if (mustRun) FAIL() << "no JACK server is running on the CI machine";
      GTEST_SKIP() << "no JACK server is running: start jackd --no-realtime -d dummy -r 48000 -p 256";
    }
    AudioIo_Install();
    ASSERT_TRUE(Audio_Init());
    ASSERT_TRUE(Audio_SetHostApi(JACK)) << "PortAudio finds no JACK host API";
    DeviceConfiguration* config = Audio_GetDeviceConfiguration();
    DeviceConfiguration_SetInputName("system");
    DeviceConfiguration_SetOutputName("system");
    config->sampleRate = 48000.0;
    config->latency = 0.08;
  }
  void TearDown() override {
    if (Audio_GetEngine()) Audio_Shutdown();
  }

  // True when callbacks keep coming: the engine counts them.
  static bool CallbacksAdvance() {
    AudioEngine* e = Audio_GetEngine();
    const uint64_t before = e->callbacksFinished.load();
    WaitFor(0.2);
    return e->callbacksFinished.load() > before + 10;
  }

  ScriptedDialog messages;
};

TEST_F(LiveStream, OpensTheConfiguredSystemDeviceAndSurvivesShutdownWhilePlaying) {
  ASSERT_TRUE(Audio_OpenConfiguredDevice());
  EXPECT_EQ(Audio_GetEngine()->latencyFrames, 3840);
  const int track = Audio_CreateLoop(1.0, 0.9, 2, 0);
  Audio_PlayLooping();
  ASSERT_EQ(Audio_GetTransportState(), Playing);
  const int32_t start = Audio_GetLoopPosition(track);
  EXPECT_TRUE(CallbacksAdvance());
  EXPECT_NE(Audio_GetLoopPosition(track), start);

  Audio_Shutdown();  // with the stream running
  EXPECT_EQ(Audio_GetEngine(), nullptr);
  ASSERT_TRUE(Audio_Init());  // a fresh start opens the device again
  ASSERT_TRUE(Audio_SetHostApi(JACK));
  DeviceConfiguration_SetInputName("system");
  DeviceConfiguration_SetOutputName("system");
  EXPECT_TRUE(Audio_OpenConfiguredDevice());
  EXPECT_TRUE(CallbacksAdvance());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LiveStream, RecordsItsOwnOutputFedBackIntoItsInput) {
  ASSERT_TRUE(Audio_OpenConfiguredDevice());
  ASSERT_TRUE(Shell("jack_connect PortAudio:out_0 PortAudio:in_0 && "
                    "jack_connect PortAudio:out_1 PortAudio:in_1"))
      << "cannot connect the loopback ports";
  // A known signal to play: deterministic noise, different per channel.
  const int source = Audio_CreateLoop(2.0, 0.9, 2, 0);
  const int target = Audio_CreateLoop(2.0, 0.0, 2, 0);
  AudioEngine* e = Audio_GetEngine();
  const int32_t length = e->tracks[source].length;
  const size_t samples = 2 * static_cast<size_t>(length);
  float* signal = Audio_AllocBuffer(samples * sizeof(float), false);
  uint32_t seed = 12345;
  for (size_t i = 0; i < samples; ++i) {
    seed = seed * 1664525u + 1013904223u;
    signal[i] = static_cast<float>(static_cast<int32_t>(seed >> 8) - (1 << 23)) / (1 << 25);
  }
  Audio_PublishBuffer(source, signal, static_cast<uint32_t>(samples * sizeof(float)),
                      static_cast<uint32_t>(length), 2, false, 0);
  ASSERT_TRUE(Audio_WaitForSwap(source));
  Audio_SetTrackVolume(target, 0.0);  // what is recorded must not be heard again

  ASSERT_TRUE(Audio_RecordLooping(target));
  WaitFor(1.2);
  Audio_StopLooping();
  ASSERT_TRUE(Audio_WaitForSwap(target));

  // The take holds the signal shifted by whatever the round trip left after the
  // latency compensation; find that shift, then compare sample by sample.
  const float* take = e->tracks[target].pBuffer;
  auto at = [&](int32_t f, int shift, int c) { return signal[2 * (((f + shift) % length + length) % length) + c]; };
  const int32_t from = 12000, to = 36000;  // well inside the 1.2 s recorded
  int best = 0;
  double bestScore = -1;
  for (int shift = -8192; shift <= 8192; ++shift) {
    double score = 0;
    for (int32_t f = from; f < to; f += 97) score += take[2 * f] * at(f, shift, 0);
    if (score > bestScore) bestScore = score, best = shift;
  }
  double worst = 0, energy = 0;
  for (int32_t f = from; f < to; ++f)
    for (int c = 0; c < 2; ++c) {
      worst = std::max(worst, static_cast<double>(std::fabs(take[2 * f + c] - at(f, best, c))));
      energy += take[2 * f + c] * take[2 * f + c];
    }
  EXPECT_GT(energy, 100.0) << "the take is silent: nothing came back through the loopback";
  EXPECT_LT(worst, 1e-6) << "recorded signal differs from what was played (shift " << best << ")";
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LiveStream, ReopensAtOtherLatenciesWithinTheLimitsAndClosingStopsTheTransport) {
  ASSERT_TRUE(Audio_OpenConfiguredDevice());
  AudioEngine* e = Audio_GetEngine();
  Audio_SetLatency(20.0);
  EXPECT_EQ(e->latencyFrames, 960);
  EXPECT_TRUE(CallbacksAdvance());
  Audio_SetLatency(2000.0);
  EXPECT_EQ(e->latency, 1.0);
  Audio_SetLatency(0.0);
  EXPECT_EQ(e->latency, static_cast<double>(0.1f) * 0.001);
  EXPECT_TRUE(CallbacksAdvance());

  const int track = Audio_CreateLoop(1.0, 0.9, 2, 0);
  Audio_PlayLooping();
  EXPECT_TRUE(Audio_CloseStream());
  EXPECT_EQ(Audio_GetTransportState(), Stopped);
  EXPECT_FALSE(Audio_IsStreamOpen());
  EXPECT_FALSE(e->callbackRunning.load());
  EXPECT_EQ(Audio_GetLoopPosition(track), 0);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LiveStream, AnUnknownDeviceNameOpensNothing) {
  DeviceConfiguration_SetInputName("no such device");
  EXPECT_FALSE(Audio_OpenConfiguredDevice());
  EXPECT_FALSE(Audio_IsStreamOpen());
  EXPECT_TRUE(messages.shown.empty());
  // The same name on another host API is not looked for.
  DeviceConfiguration_SetInputName("system");
  ASSERT_TRUE(Audio_SetHostApi(8));
  EXPECT_FALSE(Audio_OpenConfiguredDevice());
}

}  // namespace
