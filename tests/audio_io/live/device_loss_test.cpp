// The real duplex stream on a JACK server of the test's own (dummy backend), and losing that server
// mid-performance: nothing may hang, nothing loaded or recorded may be lost, and a new server with a reopen
// brings the callbacks back. The client is "Kestrine" before and after the loss, as a patchbay shows it.
// JACK frees a killed server's entry only when one of its name starts again.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "audio_io/audio_device.h"
#include "audio_io/loop_files.h"
#include "audio_io/wav_bytes.h"
#include "engine/audio.h"
#include "engine/loop_ops.h"
#include "engine/metronome.h"
#include "engine/undo.h"
#include "support/private_jack_server.h"
#include "support/scripted_dialog.h"

namespace {

const char* const kStopped = "The audio device stopped. Choose a device in Options->Select Audio Devices.";

template <class F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  return f(), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class DeviceLoss : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PrivateJackServer::Usable()) GTEST_SKIP() << "jackd is not installed";
    wav_ = (std::filesystem::temp_directory_path() / (server_.name() + ".wav")).string();
    ASSERT_TRUE(server_.Start()) << "jackd does not start (JACK allows only a few servers at once)";
    AudioIo_Install();
    ASSERT_TRUE(Audio_Init());
    ASSERT_TRUE(Audio_SetHostApi(12 /* JACK */)) << "PortAudio finds no JACK host API";
    DeviceConfiguration_SetInputName("system"), DeviceConfiguration_SetOutputName("system");
  }

  void TearDown() override {
    if (Audio_GetEngine()) Audio_Shutdown();
    std::error_code ec;
    std::filesystem::remove(wav_, ec), std::filesystem::remove(wav_ + ".copy", ec);
  }

  // The program's client and its four ports, under the program's name.
  bool KestrinePorts() const {
    const std::vector<std::string> ports = server_.Ports();
    for (const char* port : {"Kestrine:in_0", "Kestrine:in_1", "Kestrine:out_0", "Kestrine:out_1"})
      if (std::find(ports.begin(), ports.end(), port) == ports.end()) return false;
    return true;
  }

  static bool CallbacksAdvance() {
    const uint64_t before = Audio_GetEngine()->callbacksFinished.load();
    return Within(2.0, [&] { return Audio_GetEngine()->callbacksFinished.load() > before + 10; });
  }

  // Whether a track holds the test's loop file: saved again, it is the same file.
  bool Holds(int track) const {
    const std::string copy = wav_ + ".copy";
    return Audio_SaveLoop(track, copy.c_str(), false) == copy && ReadByteVector(copy) == ReadByteVector(wav_);
  }

  PrivateJackServer server_{"loss"};
  std::string wav_;
  ScriptedDialog messages;
};

TEST_F(DeviceLoss, KillingTheServerFreezesNothingAndANewServerBringsSoundBack) {
  ASSERT_TRUE(Audio_OpenConfiguredDevice());
  EXPECT_TRUE(KestrinePorts());
  AudioEngine* e = Audio_GetEngine();
  // Never measured: recording is moved back by the round trip the device reports.
  EXPECT_GT(e->latencyFrames, 0);
  EXPECT_EQ(e->latencyFrames, Audio_GetReportedLatencyFrames());
  WavLayout ramp;  // half a second
  for (int i = 0; i < 48000; ++i) ramp.samples.push_back(static_cast<int16_t>(i * 7));
  ASSERT_TRUE(WriteBytes(wav_, WavBytes(ramp)));
  const int target = Audio_CreateLoop(1.0, 0.0, 2, 0);
  Audio_SelectRecordTrack(target);
  ASSERT_TRUE(Audio_RecordLooping(target));
  ASSERT_TRUE(CallbacksAdvance());

  server_.Stop(SIGKILL);
  // Noticed without waiting for the user-interface timer: buffers are now swapped in on that side.
  EXPECT_TRUE(Within(1.0, [&] { return !e->callbackRunning.load(); }));

  const int loaded = Audio_CreateLoop(1.0, 0.0, 2, 0);
  EXPECT_LT(Seconds([&] { EXPECT_EQ(Audio_LoadLoop(loaded, wav_.c_str(), 0, false, false, false), wav_); }), 1.0);
  EXPECT_TRUE(Holds(loaded)) << "the loaded loop is in place at once";

  Audio_SelectRecordTrack(loaded);
  ASSERT_TRUE(Audio_EraseLoop(loaded, 1));
  EXPECT_LT(Seconds([&] { EXPECT_EQ(Audio_Undo(), loaded); }), 1.0);
  EXPECT_TRUE(Holds(loaded));
  EXPECT_LT(Seconds([] { EXPECT_TRUE(Audio_SetMetronomeTime(2.0, 4, true)); }), 1.0);

  EXPECT_LT(Seconds([] { Audio_PlayLooping(); }), 1.0);
  EXPECT_EQ(Audio_GetTransportState(), Stopped) << "the take in progress ended with the stream";
  EXPECT_TRUE(e->tracks[target].inUse);
  EXPECT_FALSE(Audio_IsStreamOpen());
  Audio_PollChanges();
  Audio_PlayLooping();  // no stream: the ordinary report that it cannot start
  ASSERT_GE(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, kStopped);
  EXPECT_EQ(std::count_if(messages.shown.begin(), messages.shown.end(), [](auto& m) { return m.text == kStopped; }), 1)
      << "the loss is told once";

  ASSERT_TRUE(server_.Start());
  messages.shown.clear();
  EXPECT_TRUE(Audio_OpenConfiguredDevice());
  EXPECT_TRUE(KestrinePorts()) << "PortAudio started afresh names its client again";
  Audio_SetLatency(20.0);  // reopens
  EXPECT_EQ(Audio_GetLatency(), 0.02);
  EXPECT_EQ(e->latencyFrames, Audio_GetReportedLatencyFrames());
  EXPECT_TRUE(CallbacksAdvance());
  Audio_PlayLooping();
  EXPECT_EQ(Audio_GetTransportState(), Playing);
  EXPECT_TRUE(Holds(loaded));
  EXPECT_TRUE(Audio_CloseStream());  // closing stops the transport
  EXPECT_EQ(Audio_GetTransportState(), Stopped);
  EXPECT_TRUE(messages.shown.empty());
}

// The poll notices a lost server and tells once; shutdown returns at once, polled or not.
class LostServerShutdown : public DeviceLoss, public ::testing::WithParamInterface<bool> {};

TEST_P(LostServerShutdown, ReturnsAtOnce) {
  ASSERT_TRUE(Audio_OpenConfiguredDevice());
  ASSERT_TRUE(CallbacksAdvance());
  server_.Stop(SIGTERM);
  EXPECT_TRUE(!GetParam() || Within(1.0, [] { return Audio_PollChanges(), !Audio_IsStreamOpen(); }));
  EXPECT_LT(Seconds([] { Audio_Shutdown(); }), 1.0);
  EXPECT_EQ(messages.shown.size(), GetParam() ? 1u : 0u);
  for (const auto& m : messages.shown) EXPECT_EQ(m.text, kStopped);
}
INSTANTIATE_TEST_SUITE_P(PolledOrNot, LostServerShutdown, ::testing::Bool());

}  // namespace
