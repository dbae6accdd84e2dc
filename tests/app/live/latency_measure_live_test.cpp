// Set Latency's Measure on a JACK server of the test's own (dummy backend, 256 frames a
// period): the program's outputs patched straight back to its inputs, then through a
// client that delays by a known number of frames. The round trip found is exact to the
// frame, OK stores it, and a take of the metronome recorded through the loop has each
// click on the frame of its beat. Nothing connected, or a line drowned in noise, is told
// and keeps the old value.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/dialogs/latency_dialog.h"
#include "audio_io/audio_device.h"
#include "engine/audio.h"
#include "engine/loop_ops.h"
#include "engine/metronome.h"
#include "engine/undo.h"
#include "jack_delay_client.h"
#include "persist/config_directory.h"
#include "support/private_jack_server.h"
#include "support/scripted_dialog.h"

namespace {

constexpr int JACK = 12;

class LatencyMeasureLive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PrivateJackServer::Usable()) GTEST_SKIP() << "jackd is not installed";
    ASSERT_TRUE(server_.Start()) << "jackd does not start (JACK allows only a few servers at once)";
    char pattern[] = "/tmp/kestrine_latency_XXXXXX";
    ConfigDirectory = mkdtemp(pattern);
    AudioIo_Install();
    ASSERT_TRUE(Audio_Init());
    ASSERT_TRUE(Audio_SetHostApi(JACK));
    DeviceConfiguration_SetInputName("system");
    DeviceConfiguration_SetOutputName("system");
    ASSERT_TRUE(Audio_OpenConfiguredDevice());
    patch_ = std::make_unique<JackPatchBay>();
    ASSERT_TRUE(patch_->ok());
    period_ = patch_->Period();
    Unplug();
  }
  // Nothing but what the test patches reaches the inputs. (PortAudio connects new ports to
  // the system ports: OK reopens the stream.)
  void Unplug() {
    for (const std::string& port : patch_->Ports("^Kestrine:")) patch_->Unplug(port);
  }
  // The program's ports, numbered afresh by each stream PortAudio opens.
  std::string In(int c) const { return patch_->Ports("^Kestrine:in_").at(c); }
  std::string Out(int c) const { return patch_->Ports("^Kestrine:out_").at(c); }
  void TearDown() override {
    patch_.reset();
    if (Audio_GetEngine()) Audio_Shutdown();
    std::error_code ec;
    if (!ConfigDirectory.empty()) std::filesystem::remove_all(ConfigDirectory, ec);
    ConfigDirectory.clear();
  }

  void Loopback() {
    ASSERT_TRUE(patch_->Connect(Out(0), In(0)));
    ASSERT_TRUE(patch_->Connect(Out(1), In(1)));
  }
  void Through(const JackDelayClient& d) {
    ASSERT_TRUE(d.ok());
    for (int c = 0; c < 2; ++c) {
      const std::string n = std::to_string(c);
      ASSERT_TRUE(patch_->Connect(Out(c), d.port(("in_" + n).c_str())));
      ASSERT_TRUE(patch_->Connect(d.port(("out_" + n).c_str()), In(c)));
    }
  }

  // Set Latency, Measure, and the dialog's timer until the measurement ends.
  LatencyDialog Measure() {
    LatencyDialog d = LatencyDialog_Open();
    EXPECT_TRUE(LatencyDialog_Measure(&d));
    EXPECT_TRUE(Within(5.0, [&] { return LatencyDialog_PollMeasure(&d); }));
    return d;
  }

  static std::string DeviceConfig() {
    std::ifstream in(ConfigDirectory + "/DeviceConfig.xml");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Records the metronome through whatever is patched: a 2 s loop at 120 bpm, four beats,
  // clicking while recording, the loop itself silent so that only the clicks come back.
  // Returns the take's left channel.
  std::vector<float> RecordClicks() {
    EXPECT_TRUE(Audio_SetMetronomeTime(2.0, 4, true));
    Audio_SetMetronomeRecord(1);
    Audio_SetMetronomePlayback(0);
    Audio_SetMetronomeCountoff(0);
    const int track = Audio_CreateLoop(2.0, 1.0, 2, 0);  // passes add up: a stop mid-pass loses nothing
    EXPECT_GT(track, 0);
    Audio_SetTrackVolume(track, 0.0);
    Audio_SelectRecordTrack(track);
    EXPECT_TRUE(Audio_RecordLooping(track));
    // A pass and a half: every click of the measure has come back once.
    const uint64_t start = Audio_GetEngine()->callbacksFinished.load();
    EXPECT_TRUE(Within(10.0, [&] { return Audio_GetEngine()->callbacksFinished.load() > start + 96000 * 3 / 2 / 256; }));
    Audio_StopLooping();
    const LoopTrack& t = Audio_GetEngine()->tracks[track];
    std::vector<float> take(static_cast<size_t>(t.length));
    for (int32_t f = 0; f < t.length; ++f) take[f] = t.pBuffer.load()[2 * f];
    return take;
  }

  // Each beat of the take starts on its frame: silence just before, the click on it.
  // Not under the thread sanitizer, whose slowdown makes the clients miss cycles: a
  // missed cycle moves a click by a period, which says nothing of the latency. The
  // measured figures are checked there all the same.
  static void ExpectClicksOnTheBeats(const std::vector<float>& take) {
    ASSERT_EQ(take.size(), 96000u);
#if defined(__SANITIZE_THREAD__)
    return;
#endif
    for (int beat = 0; beat < 4; ++beat) {
      const int frame = beat * 24000;
      EXPECT_EQ(take[(frame + 96000 - 1) % 96000], 0.0f) << "beat " << beat << " starts early";
      EXPECT_GT(std::fabs(take[frame]), 0.05f) << "beat " << beat << " starts late";
    }
  }

  PrivateJackServer server_{"latency"};
  std::unique_ptr<JackPatchBay> patch_;
  int period_ = 0;
  ScriptedDialog messages;
};

// Straight back into the program: JACK carries a connection from a client back to itself
// one period later, and PortAudio's JACK host API hands the callback the buffers one
// period apart from the server's cycle: two periods in all.
TEST_F(LatencyMeasureLive, APatchedLoopbackIsMeasuredToTheFrameAndRecordingLinesUpWithTheClick) {
  ASSERT_EQ(period_, 256);
  const int32_t reported = Audio_GetLatencyFrames();
  EXPECT_EQ(reported, Audio_GetReportedLatencyFrames()) << "never measured: the device's own figures";
  EXPECT_GT(reported, 0);
  Loopback();
  LatencyDialog d = Measure();
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(d.proposedFrames, 2 * period_);
  EXPECT_EQ(Audio_GetLatencyFrames(), reported) << "nothing changes before OK";
  ASSERT_TRUE(LatencyDialog_Ok(&d));
  EXPECT_EQ(Audio_GetLatencyFrames(), 2 * period_);
  EXPECT_NE(DeviceConfig().find("<measured_latency_frames>512</measured_latency_frames>"), std::string::npos);
  Unplug();
  Loopback();
  ExpectClicksOnTheBeats(RecordClicks());
}

// Through a client that adds a known delay (not a whole number of periods): the same
// loop plus exactly that delay.
TEST_F(LatencyMeasureLive, ALoopThroughADelayingClientIsMeasuredToTheFrameAndRecordingLinesUpWithTheClick) {
  Loopback();
  const int32_t direct = Measure().proposedFrames;
  ASSERT_GT(direct, 0);
  Unplug();
  JackDelayClient delay("delay", 1001, 0.0f);
  Through(delay);
  LatencyDialog d = Measure();
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(d.proposedFrames, direct + 1001);
  ASSERT_TRUE(LatencyDialog_Ok(&d));
  EXPECT_EQ(Audio_GetLatencyFrames(), direct + 1001);
  Unplug();
  Through(delay);
  ExpectClicksOnTheBeats(RecordClicks());
}

TEST_F(LatencyMeasureLive, NothingConnectedOrANoisyLineIsToldAndKeepsTheOldValue) {
  Audio_SetMeasuredLatency(777);
  LatencyDialog d = Measure();
  EXPECT_TRUE(messages.Saw("No test signal came back", "Set Latency"));
  EXPECT_EQ(d.proposedFrames, -1);

  JackDelayClient noisy("noisy", 300, 0.7f);
  Through(noisy);
  messages.shown.clear();
  d = Measure();
  EXPECT_TRUE(messages.Saw("Measurement unreliable", "Set Latency"));
  EXPECT_EQ(d.proposedFrames, -1);
  ASSERT_TRUE(LatencyDialog_Ok(&d));
  EXPECT_EQ(Audio_GetLatencyFrames(), 777);
}

}  // namespace
