// The real duplex stream on a JACK server of the test's own (dummy backend), and losing that server
// mid-performance: nothing may hang, nothing loaded or recorded may be lost, and a new server with a reopen
// brings the callbacks back. JACK frees a killed server's entry only when one of its name starts again.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "support/scripted_dialog.h"

namespace {

const char* const kStopped = "The audio device stopped. Choose a device in Options->Select Audio Devices.";

template <class F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  return f(), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <class F>
bool Within(double seconds, F&& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class DeviceLoss : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v jackd >/dev/null 2>&1") != 0) {
      if (const char* ci = std::getenv("CI"); ci && *ci && std::string(ci) != "false") FAIL() << "jackd is not installed on CI";
      GTEST_SKIP() << "jackd is not installed";
    }
    serverName_ = "kestrine-loss-" + std::to_string(::getpid());
    wav_ = (std::filesystem::temp_directory_path() / (serverName_ + ".wav")).string();
    ::setenv("JACK_DEFAULT_SERVER", serverName_.c_str(), 1);
    ASSERT_TRUE(StartServer()) << "jackd does not start (JACK allows only a few servers at once)";
    AudioIo_Install();
    ASSERT_TRUE(Audio_Init());
    ASSERT_TRUE(Audio_SetHostApi(12 /* JACK */)) << "PortAudio finds no JACK host API";
    DeviceConfiguration_SetInputName("system"), DeviceConfiguration_SetOutputName("system");
  }

  void TearDown() override {
    if (Audio_GetEngine()) Audio_Shutdown();
    StopServer(SIGTERM);
    std::error_code ec;
    // The semaphore of PortAudio's client, which a lost client never removes.
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ec))
      if (entry.path().filename().string().find("_" + serverName_ + "_") != std::string::npos)
        std::filesystem::remove(entry.path(), ec);
    std::filesystem::remove(wav_, ec), std::filesystem::remove(wav_ + ".copy", ec);
  }


  bool StartServer() {
    server_ = ::fork();
    if (server_ == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1), ::dup2(null, 2);
      ::execlp("jackd", "jackd", "-n", serverName_.c_str(), "--no-realtime", "-d", "dummy", "-r", "48000", "-p",
               "256", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (server_ < 0) return false;
    bool exited = false;
    const bool up = Within(10.0, [&] {
      exited = ::waitpid(server_, nullptr, WNOHANG) == server_;
      return exited || std::system("jack_lsp >/dev/null 2>&1") == 0;
    });
    if (exited) server_ = -1;
    return up && !exited;
  }

  // SIGKILL: the server crashes; SIGTERM: it shuts down in order.
  void StopServer(int signal) {
    if (server_ <= 0) return;
    ::kill(server_, signal);
    ::waitpid(server_, nullptr, 0);
    server_ = -1;
  }

  static bool CallbacksAdvance() {
    const uint64_t before = Audio_GetEngine()->callbacksFinished.load();
    return Within(2.0, [&] { return Audio_GetEngine()->callbacksFinished.load() > before + 10; });
  }

  // Whether a track holds the test's loop file: saved again, it is the same file.
  bool Holds(int track) const {
    const std::string copy = wav_ + ".copy";
    return Audio_SaveLoop(track, copy.c_str(), false) == copy && ReadBytes(copy) == ReadBytes(wav_);
  }

  std::string serverName_, wav_;
  pid_t server_ = -1;
  ScriptedDialog messages;
};

TEST_F(DeviceLoss, KillingTheServerFreezesNothingAndANewServerBringsSoundBack) {
  ASSERT_TRUE(Audio_OpenConfiguredDevice());
  AudioEngine* e = Audio_GetEngine();
  EXPECT_EQ(e->latencyFrames, 3840);  // 80 ms at 48 kHz
  WavLayout ramp;  // half a second
  for (int i = 0; i < 48000; ++i) ramp.samples.push_back(static_cast<int16_t>(i * 7));
  ASSERT_TRUE(WriteBytes(wav_, WavBytes(ramp)));
  const int target = Audio_CreateLoop(1.0, 0.0, 2, 0);
  Audio_SelectRecordTrack(target);
  ASSERT_TRUE(Audio_RecordLooping(target));
  ASSERT_TRUE(CallbacksAdvance());

  StopServer(SIGKILL);
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

  ASSERT_TRUE(StartServer());
  messages.shown.clear();
  EXPECT_TRUE(Audio_OpenConfiguredDevice());
  Audio_SetLatency(20.0);  // reopens
  EXPECT_EQ(e->latencyFrames, 960);
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
  StopServer(SIGTERM);
  EXPECT_TRUE(!GetParam() || Within(1.0, [] { return Audio_PollChanges(), !Audio_IsStreamOpen(); }));
  EXPECT_LT(Seconds([] { Audio_Shutdown(); }), 1.0);
  EXPECT_EQ(messages.shown.size(), GetParam() ? 1u : 0u);
  for (const auto& m : messages.shown) EXPECT_EQ(m.text, kStopped);
}
INSTANTIATE_TEST_SUITE_P(PolledOrNot, LostServerShutdown, ::testing::Bool());

}  // namespace
