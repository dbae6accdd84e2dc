// MIDI through JACK on a server of the test's own: a test client stands for a drum machine, sending notes,
// controllers and clock at exact frames into Kestrine:midi_in and reading Kestrine:midi_out back with frames.
// The ports sit beside another layer's devices in the port table, and triggers fire from them as from any port.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "control/combined_midi_backend.h"
#include "control/jack_midi_backend.h"
#include "control/memory_midi_backend.h"
#include "control/midi_output.h"
#include "control/midi_ports.h"
#include "control/posted_commands.h"
#include "control/trigger_set.h"
#include "support/jack_test_client.h"
#include "support/private_jack_server.h"
#include "support/scripted_dialog.h"

namespace {

constexpr int kPeriod = 256;

class JackMidiLive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PrivateJackServer::Usable()) GTEST_SKIP() << "jackd is not installed";
    // No server yet: the JACK layer offers nothing and fails nothing.
    ASSERT_TRUE(jackMidi_.Initialize(nullptr));
    EXPECT_EQ(jackMidi_.CountDevices(), 0);
    EXPECT_FALSE(jackMidi_.Unavailable().empty());
    jackMidi_.Terminate();

    ASSERT_TRUE(server_.Start()) << "jackd does not start";
    alsa_.AddDevice("Synth", true, true);
    MidiPorts_UseBackend(&both_);
    ASSERT_TRUE(OpenMidiPorts());
    ASSERT_TRUE(client_.IsOpen());
    // A sender and a listener of their own: one client on both sides would close a loop in the graph, which
    // JACK breaks with a period's delay.
    tester_ = std::make_unique<JackTestClient>("tester");
    listener_ = std::make_unique<JackTestClient>("listener");
    ASSERT_TRUE(tester_->Ok() && listener_->Ok());
    ASSERT_TRUE(tester_->Connect("tester:out", "Kestrine:midi_in"));
    ASSERT_TRUE(tester_->Connect("Kestrine:midi_out", "listener:in"));
  }
  void TearDown() override {
    CloseMidiPorts();
    MidiPorts_UseBackend(nullptr);
    Triggers().ClearAll();
    ControlCommands().Clear();
    tester_.reset(), listener_.reset();
  }
  // Everything Kestrine's input holds within `seconds`, read as the input polling does, with its time.
  struct Got {
    uint32_t message;
    MidiEventTime time;
  };
  std::vector<Got> ReadInput(size_t expected, double seconds = 2.0) {
    std::vector<Got> got;
    MidiStream in = MidiPorts().inputs[1].stream.load();
    Within(seconds, [&] {
      Got g{};
      while (both_.Poll(in) > 0 && both_.ReadTimed(in, &g.message, &g.time)) got.push_back(g);
      return got.size() >= expected;
    });
    return got;
  }

  PrivateJackServer server_{"midi"};
  JackOwnClient client_;
  JackMidiBackend jackMidi_{&client_};
  MemoryMidiBackend alsa_;
  CombinedMidiBackend both_{{&alsa_, &jackMidi_}};
  std::unique_ptr<JackTestClient> tester_, listener_;
  ScriptedDialog dialog_;
};

TEST_F(JackMidiLive, PortsAreListedBesideTheOtherLayersAndShowInThePatchbay) {
  EXPECT_EQ(MidiPorts_InputList(), (std::vector<std::string>{"Port 1: Synth", "Port 2: Kestrine:midi_in"}));
  EXPECT_EQ(MidiPorts_OutputNames()[1], "Kestrine:midi_out");
  const std::vector<std::string> ports = server_.Ports();
  for (const char* port : {"Kestrine:midi_in", "Kestrine:midi_out"})
    EXPECT_NE(std::find(ports.begin(), ports.end(), port), ports.end()) << port;
  // A second program of the name gets the nearest free one, and its ports follow it.
  JackOwnClient second;
  std::string error;
  ASSERT_TRUE(second.Open("Kestrine", &error)) << error;
  EXPECT_NE(second.Name(), "Kestrine");
  EXPECT_EQ(second.Name().rfind("Kestrine", 0), 0u) << second.Name();
  EXPECT_EQ(second.InputPortName(), second.Name() + ":midi_in");
}

// Each event arrives with the very frame it was sent at, and its time agrees with that frame; system
// exclusive is not carried (counted) and what follows it still is.
TEST_F(JackMidiLive, ReceivedEventsCarryTheFrameTheyWereSentAt) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the thread sanitizer slows the clients past their periods: no frame can be kept";
#endif
  const int64_t base = tester_->FrameNow() + 48000 / 2;
  const struct {
    int64_t frame;
    std::vector<uint8_t> bytes;
  } sent[] = {{base + 3, {0x91, 60, 100}},
              {base + 100, {0xB0, 7, 64}},
              {base + 2 * kPeriod, {0xF8}},
              {base + 2 * kPeriod + 255, {0xF8}},
              {base + 3 * kPeriod + 1, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}},
              {base + 777, {0xF8}},
              {base + 5000, {0xC2, 5}}};
  for (const auto& s : sent) tester_->SendAt(s.frame, s.bytes);
  const std::vector<Got> got = ReadInput(6);
  ASSERT_EQ(got.size(), 6u);
  const uint32_t messages[] = {MidiMessage(0x91, 60, 100), MidiMessage(0xB0, 7, 64), 0xF8, 0xF8, 0xF8,
                               MidiMessage(0xC2, 5, 0)};
  const int64_t frames[] = {base + 3, base + 100, base + 512, base + 767, base + 777, base + 5000};
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].message, messages[i]) << i;
    EXPECT_EQ(got[i].time.frame, frames[i]) << i;
    // Time follows frame as JACK maps one to the other: in order, and near 48 frames a millisecond (the dummy
    // server's periods run long against the system clock under load, and its mapping follows them).
    const double ms = (got[i].time.timeNs - got[0].time.timeNs) / 1e6;
    if (i > 0) {
      EXPECT_GT(got[i].time.timeNs, got[i - 1].time.timeNs) << i;
    }
    EXPECT_NEAR(ms, (frames[i] - frames[0]) / 48.0, 0.05 * ms + 0.01) << i;
  }
  EXPECT_EQ(client_.MidiInDropped(), 1u);
}

TEST_F(JackMidiLive, TriggersFireFromTheJackPortWhichIsPolledWhileSomethingCanReachIt) {
  Trigger t = Trigger_Make(TriggerType::NoteOn);
  t.port.SetInput(1, ValueRange::kSingle);  // the JACK input's device number, after the other layer's
  t.data1.SetInput(60, ValueRange::kSingle);
  t.action = {32813, 3};
  Triggers().Add(TriggerType::NoteOn, t);
  RecomputeEnabledInputs();
  EXPECT_FALSE(MidiPorts().inputs[0].enabled);
  EXPECT_TRUE(MidiPorts().inputs[1].enabled);
  tester_->SendAt(tester_->FrameNow() + 4 * kPeriod, {0x90, 60, 127});
  Commands posted;
  EXPECT_TRUE(Within(2.0, [&] {
    MidiPoll();
    for (const ControlCommand& c : Posted()) posted.push_back(c);
    return !posted.empty();
  }));
  EXPECT_EQ(posted, (Commands{{32813, 65534, 3}}));

  // The port cannot wake the window: it is polled on the timer, but only while something
  // is connected to it or what it received is still unread.
  EXPECT_TRUE(MidiPorts_PollingWanted());
  const int64_t due = tester_->FrameNow() + 4 * kPeriod;
  tester_->SendAt(due, {0x90, 60, 127});
  ASSERT_TRUE(Within(2.0, [&] { return tester_->FrameNow() > due + 8 * kPeriod; }));
  ASSERT_TRUE(tester_->Disconnect("tester:out", "Kestrine:midi_in"));
  EXPECT_TRUE(MidiPorts_PollingWanted()) << "a note is still unread";
  MidiPoll();
  EXPECT_EQ(Posted().size(), 1u);
  EXPECT_FALSE(MidiPorts_PollingWanted());
  ASSERT_TRUE(tester_->Connect("tester:out", "Kestrine:midi_in"));
  EXPECT_TRUE(MidiPorts_PollingWanted());
}

// Clock out given as frames lands on exactly those frames. Clock the audio side queues by time goes through the
// output writer, which hands it over at once (the JACK port places it): every tick arrives, in order, none
// dropped. Where it lands in frames depends on JACK's clock mapping, which on a loaded dummy server wanders by
// percent; the spacing's spread is recorded, not asserted.
TEST_F(JackMidiLive, ClockOutLeavesAtItsFrame) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the thread sanitizer slows the clients past their periods: no frame can be kept";
#endif
  const int64_t base = client_.FrameNow() + 48000 / 2;  // well ahead, even for a starved test thread
  std::vector<int64_t> frames;
  for (int k = 0; k < 24; ++k) frames.push_back(base + k * 997);
  for (int64_t f : frames) ASSERT_TRUE(client_.QueueMidiAtFrame(0xF8, f));
  ASSERT_TRUE(Within(3.0, [&] { return listener_->Received().size() >= frames.size(); }));
  for (size_t k = 0; k < frames.size(); ++k) {
    EXPECT_EQ(listener_->Received()[k].frame, frames[k]) << k;
    EXPECT_EQ(listener_->Received()[k].message, 0xF8u);
    EXPECT_EQ(listener_->Received()[k].size, 1u);
  }

  const size_t before = listener_->Received().size();
  const int kTicks = 96;
  for (int k = 0; k < kTicks; ++k)
    ASSERT_TRUE(MidiOutput_QueueFromAudio(1, k % 24 ? 0xF8 : MidiMessage(0xF2, k / 24, 0),
                                          static_cast<int64_t>(k * 1000 * 1e9 / 48000)));
  ASSERT_TRUE(Within(5.0, [&] { return listener_->Received().size() >= before + kTicks; }));
  const std::vector<JackTestClient::Event>& got = listener_->Received();
  ASSERT_EQ(got.size(), before + kTicks);
  std::vector<int64_t> spacings;
  for (size_t k = before; k < got.size(); ++k) {
    const int tick = static_cast<int>(k - before);
    EXPECT_EQ(got[k].message, tick % 24 ? 0xF8u : MidiMessage(0xF2, tick / 24, 0)) << tick;
    EXPECT_EQ(got[k].size, tick % 24 ? 1u : 3u) << tick;
    if (k > before) {
      EXPECT_GE(got[k].frame, got[k - 1].frame) << tick;
      spacings.push_back(got[k].frame - got[k - 1].frame);
    }
  }
  std::sort(spacings.begin(), spacings.end());
  const int64_t median = spacings[spacings.size() / 2];
  const int64_t spread = std::max(median - spacings.front(), spacings.back() - median);
  RecordProperty("clock_out_spacing_median_frames", std::to_string(median));
  RecordProperty("clock_out_spacing_spread_frames", std::to_string(spread));
  std::printf("clock out by time, 1000 frames apart: median spacing %lld frames, spread +-%lld\n",
              static_cast<long long>(median), static_cast<long long>(spread));
  EXPECT_EQ(client_.MidiOutDropped(), 0u);
}

}  // namespace
