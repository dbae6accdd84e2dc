// The MIDI port table on the in-memory MIDI layer: opening, polling into the triggers,
// input enabling, sync and metronome output, and the order of output sent from the audio
// and user-interface threads. One test opens the real PortMidi layer, which finds no
// devices here.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "control/fire_action.h"
#include "control/memory_midi_backend.h"
#include "control/midi_output.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"
#include "engine/audio.h"
#include "engine/metronome.h"
#include "support/scripted_dialog.h"

namespace {

std::vector<ControlCommand> Posted() {
  std::vector<ControlCommand> out;
  for (ControlCommand c; ControlCommands().Take(&c);) out.push_back(c);
  return out;
}

Trigger OnPort(TriggerType type, int port) {
  Trigger t = Trigger_Make(type);
  t.port.SetInput(port, ValueRange::kSingle);
  return t;
}

class MidiPortsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MidiPorts_UseBackend(&midi);
    MidiPorts_UseSendSettings(&settings);
    Triggers().ClearAll();
    ControlCommands().Clear();
  }
  void TearDown() override {
    midi.HoldWrites(false);
    CloseMidiPorts();
    MidiPorts_UseBackend(nullptr);
    MidiPorts_UseSendSettings(nullptr);
    Triggers().ClearAll();
    ControlCommands().Clear();
  }
  std::vector<bool> Enabled() const {
    std::vector<bool> on;
    for (int i = 0; i < MidiPorts().inputCount; ++i) on.push_back(MidiPorts().inputs[i].enabled);
    return on;
  }

  MemoryMidiBackend midi;
  MidiSendSettings settings;
  ScriptedDialog dialog;
};

TEST_F(MidiPortsTest, OpensTheFirstSixteenDevicesInOrderAndDrainsStaleInput) {
  const int in = midi.AddDevice("Keys", true, false);
  midi.AddDevice("Synth", false, true);
  midi.FailOpen(midi.AddDevice("Broken", true, true));
  midi.AddDevice(std::string(80, 'x'), true, true);
  for (int i = 0; i < 20; ++i) midi.AddDevice("In " + std::to_string(i), true, false);
  midi.Inject(in, MidiMessage(0x90, 60, 100));

  ASSERT_TRUE(OpenMidiPorts());
  EXPECT_EQ(midi.PendingInput(in), 0);
  ASSERT_EQ(MidiPorts().inputCount, 16);
  ASSERT_EQ(MidiPorts().outputCount, 2);
  EXPECT_EQ(MidiPorts().inputs[1].deviceIndex, 3);
  EXPECT_EQ(MidiPorts_InputList()[1], "Port 4: " + std::string(63, 'x'));
  EXPECT_EQ(MidiPorts_InputList()[2], "Port 5: In 0");
  const std::vector<std::string> outputs = MidiPorts_OutputNames();
  ASSERT_EQ(outputs.size(), 16u);
  EXPECT_EQ(outputs[0], "Synth");
  EXPECT_EQ(outputs[2], "None");
  MidiPoll();
  for (int d = 4; d < 24; ++d) EXPECT_EQ(midi.WasOpened(d) && midi.PollCount(d) > 0, d < 18) << d;
  CloseMidiPorts();
  EXPECT_FALSE(midi.IsOpen(in));
  EXPECT_FALSE(midi.Initialized());
  EXPECT_TRUE(dialog.shown.empty());

  midi.FailInitialize("no sequencer");
  EXPECT_FALSE(OpenMidiPorts());
  EXPECT_TRUE(dialog.Saw("no sequencer", "PortMidi Initialization Error"));
}

TEST_F(MidiPortsTest, PortMidiWithoutDevicesOpensAndSendsNowhereQuietly) {
  MidiPorts_UseBackend(nullptr);
  ASSERT_TRUE(OpenMidiPorts());
  settings.send_midi_sync = 1;
  settings.metronome_midi_enable = 1;
  SendStart();
  SendMetronomeNote(true);
  MidiPoll();
  CloseMidiPorts();
  EXPECT_TRUE(dialog.shown.empty());
}

TEST_F(MidiPortsTest, InjectedNoteTravelsThroughPollMatchingAndFireIntoACommand) {
  midi.AddDevice("Pedal A", true, false);
  const int pedal = midi.AddDevice("Pedal B", true, false);
  Trigger t = OnPort(TriggerType::NoteOn, pedal);
  t.channel.SetInput(2, ValueRange::kSingle);
  t.data1.SetInput(60, ValueRange::kSingle);
  t.action = {32813, 3};  // Track Volume, track 4
  Triggers().Add(TriggerType::NoteOn, t);
  ASSERT_TRUE(OpenMidiPorts());
  for (uint32_t m : {MidiMessage(0x92, 60, 64), MidiMessage(0x91, 60, 127) /* other channel */,
                     MidiMessage(0xF8, 0, 0) /* clock: ignored */, MidiMessage(0x92, 60, 127)})
    midi.Inject(pedal, m);
  midi.Inject(0, MidiMessage(0x92, 60, 127));  // other port
  MidiPoll();
  EXPECT_EQ(Posted(), (std::vector<ControlCommand>{{32813, 33025, 3}, {32813, 65534, 3}}));
}

TEST_F(MidiPortsTest, RecomputeEnablesOnlyThePortsTriggersUse) {
  for (int i = 0; i < 5; ++i) midi.AddDevice("In " + std::to_string(i), true, false);
  ASSERT_TRUE(OpenMidiPorts());
  Triggers().Add(TriggerType::KeyboardKey, Trigger_Make(TriggerType::KeyboardKey));
  RecomputeEnabledInputs();
  EXPECT_EQ(Enabled(), std::vector<bool>(5, false));  // keyboard triggers use no port
  Triggers().Add(TriggerType::ControlChange, OnPort(TriggerType::ControlChange, 3));
  RecomputeEnabledInputs();
  EXPECT_EQ(Enabled(), (std::vector<bool>{false, false, false, true, false}));

  // A disabled input is not read: its events wait until it is enabled again.
  midi.Inject(1, MidiMessage(0x90, 0, 10));
  MidiPoll();
  EXPECT_EQ(midi.PendingInput(1), 1);
  Triggers().Add(TriggerType::NoteOn, OnPort(TriggerType::NoteOn, 1));
  EnableAllInputs();
  MidiPoll();
  EXPECT_EQ(Posted().size(), 1u);

  Triggers().Add(TriggerType::SongStop, Trigger_Make(TriggerType::SongStop));  // port any
  RecomputeEnabledInputs();
  EXPECT_EQ(Enabled(), std::vector<bool>(5, true));
}

TEST_F(MidiPortsTest, SyncAndMetronomeNotesGoToTheirPortsOnlyWhenEnabled) {
  midi.AddDevice("Out 0", false, true);
  const int sync = midi.AddDevice("Out 1", false, true);
  ASSERT_TRUE(OpenMidiPorts());
  SendStart();
  SendClock();
  SendMetronomeNote(true);
  settings.send_midi_sync = 1;
  settings.midi_sync_port = 1;
  SendSyncForPlay(Stopped);         // Start
  SendClock();
  SendStop();
  SendSyncForPlay(Paused);          // Continue
  SendSyncForPlay(Recording);       // nothing: the transport already runs
  SendSyncForRecordStart(Playing);  // nothing
  SendSyncForRecordStart(Stopped);  // Start
  for (int port : {2, 16, -1}) {    // an unused entry and out of range
    settings.midi_sync_port = port;
    SendStart();
  }
  settings.metronome_midi_enable = 1;
  SendMetronomeNote(true);
  SendMetronomeNote(false);
  settings.metronome_midi_channel = 9;
  settings.metronome_midi_beat_note = 37;
  settings.metronome_midi_beat_volume = 90;
  SendMetronomeNote(false);
  // Out-of-range settings are clamped instead of forming another message.
  settings.metronome_midi_channel = 17;
  settings.metronome_midi_accent_note = 200;
  SendMetronomeNote(true);
  settings.metronome_midi_port = 2;  // no such output
  SendMetronomeNote(true);
  ASSERT_TRUE(MidiOutput_Flush());
  EXPECT_EQ(midi.Written(sync), (std::vector<uint32_t>{0xFA, 0xF8, 0xFC, 0xFB, 0xFA}));
  EXPECT_EQ(midi.Written(0), (std::vector<uint32_t>{MidiMessage(0x90, 63, 127), MidiMessage(0x90, 64, 127),
                                                    MidiMessage(0x99, 37, 90), MidiMessage(0x9F, 127, 127)}));
}

// A real audio thread runs the engine's callback with the hooks installed (clock and
// metronome notes on the sync port) while this thread, as the user interface, plays,
// pauses, continues and stops. On the wire each Start or Continue comes before the
// clocks it started and each Stop after the last of them; every byte is written by the
// one output thread, never by the audio thread or this one, and no two writes overlap.
TEST_F(MidiPortsTest, StartClocksAndStopFromTwoThreadsArriveInOrder) {
  const int out = midi.AddDevice("Out", false, true);
  ASSERT_TRUE(OpenMidiPorts());
  ASSERT_TRUE(Audio_Init());
  AudioEngine* e = Audio_GetEngine();
  e->latencyFrames = 0;
  MidiHooks_Install();
  ASSERT_TRUE(Audio_SetMetronomeTime(2.0, 4, true));  // a clock every 1000 frames
  Audio_SetMetronomePlayback(1);
  settings.send_midi_sync = 1;
  settings.metronome_midi_enable = 1;
  const uint64_t droppedBefore = MidiOutput_Stats().dropped;

  std::atomic<bool> done{false};
  std::thread::id audioThread;
  std::thread audio([&] {
    audioThread = std::this_thread::get_id();
    std::vector<float> in(512, 0.0f), buffer(512);
    for (; !done.load(); std::this_thread::yield()) Audio_ProcessStream(e, in.data(), buffer.data(), 256);
  });
  // Waits until `n` callbacks have finished since the call: with n = 2, one that began
  // after the call has run to its end.
  auto awaitCallbacks = [&](uint64_t n) {
    const uint64_t target = e->callbacksFinished.load() + n;
    while (e->callbacksFinished.load() < target) std::this_thread::yield();
  };

  // Until the second round is under way the device takes no bytes, so both queues fill
  // side by side and only their merge decides the order; after that, bytes go out live.
  midi.HoldWrites(true);
  SendSyncForPlay(Stopped);  // Start
  Audio_PlayLooping();
  awaitCallbacks(12);  // 3072 frames: at least three clocks
  Audio_PauseLooping();
  awaitCallbacks(2);
  SendStop();
  SendSyncForPlay(Paused);  // Continue
  Audio_PlayLooping();
  awaitCallbacks(12);
  midi.HoldWrites(false);
  awaitCallbacks(12);
  Audio_StopLooping();
  awaitCallbacks(2);
  SendStop();
  done = true;
  audio.join();
  MidiHooks_Remove();
  EXPECT_EQ(e->BeatCallback.load(), nullptr);
  Audio_Shutdown();
  CloseMidiPorts();  // no flush: closing writes what is still queued

  std::string wire;
  std::set<std::thread::id> writers;
  for (const MemoryMidiBackend::WriteRecord& r : midi.WriteLog(out)) {
    const uint32_t status = r.message & 0xFF;
    wire += status == 0xFA ? 'S' : status == 0xFB ? 'C' : status == 0xFC ? 'E' : status == 0xF8 ? 'c' : 'n';
    writers.insert(r.thread);
  }
  EXPECT_TRUE(std::regex_match(wire, std::regex("S[cn]*c[cn]*EC[cn]*c[cn]*E"))) << wire;
  EXPECT_NE(wire.find('n'), std::string::npos) << "metronome notes go out beside the clocks";
  ASSERT_EQ(writers.size(), 1u);
  EXPECT_NE(*writers.begin(), audioThread);
  EXPECT_NE(*writers.begin(), std::this_thread::get_id());
  EXPECT_EQ(midi.OverlappingWrites(), 0);
  EXPECT_EQ(MidiOutput_Stats().dropped, droppedBefore);
}

// A device that stops taking bytes holds up only the output thread: the audio side
// keeps returning at once, fills its queue, then drops and counts what does not fit.
// What was queued still goes out in order once the device takes bytes again.
TEST_F(MidiPortsTest, AFullQueueDropsAndCountsInsteadOfWaiting) {
  const int out = midi.AddDevice("Out", false, true);
  ASSERT_TRUE(OpenMidiPorts());
  settings.send_midi_sync = 1;
  const uint64_t droppedBefore = MidiOutput_Stats().dropped;
  midi.HoldWrites(true);
  SendStart();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (midi.WritesBegun() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_EQ(midi.WritesBegun(), 1);  // the writer is held inside the Start

  for (size_t i = 0; i < kMidiAudioQueueCapacity + 10; ++i) SendClock();
  SendStop();
  EXPECT_EQ(MidiOutput_Stats().dropped - droppedBefore, 10u);
  midi.HoldWrites(false);
  ASSERT_TRUE(MidiOutput_Flush());
  std::vector<uint32_t> expected{0xFA};
  expected.insert(expected.end(), kMidiAudioQueueCapacity, 0xF8);
  expected.push_back(0xFC);
  EXPECT_EQ(midi.Written(out), expected);
}

}  // namespace
