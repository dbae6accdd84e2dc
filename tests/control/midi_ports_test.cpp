// The MIDI port table on the in-memory MIDI layer: opening, polling into the triggers,
// input enabling, sync and metronome output, the engine hooks, and writes from two
// threads. One test opens the real PortMidi layer, which finds no devices here.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "control/fire_action.h"
#include "control/memory_midi_backend.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"
#include "engine/audio.h"
#include "engine/metronome.h"
#include "support/scripted_dialog.h"

namespace {

std::vector<ControlCommand> Posted() {
  std::vector<ControlCommand> out;
  ControlCommand c;
  while (ControlCommands().Take(&c)) out.push_back(c);
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

TEST_F(MidiPortsTest, OpensDevicesInOrderAndDrainsStaleInput) {
  const int in = midi.AddDevice("Keys", true, false);
  midi.AddDevice("Synth", false, true);
  midi.FailOpen(midi.AddDevice("Broken", true, true));
  midi.AddDevice(std::string(80, 'x'), true, true);
  midi.Inject(in, MidiMessage(0x90, 60, 100));

  ASSERT_TRUE(OpenMidiPorts());
  EXPECT_EQ(midi.PendingInput(in), 0);
  ASSERT_EQ(MidiPorts().inputCount, 2);
  ASSERT_EQ(MidiPorts().outputCount, 2);
  EXPECT_EQ(MidiPorts().inputs[1].deviceIndex, 3);
  EXPECT_EQ(MidiPorts_InputList(), (std::vector<std::string>{"Port 1: Keys", "Port 4: " + std::string(63, 'x')}));
  const std::vector<std::string> outputs = MidiPorts_OutputNames();
  ASSERT_EQ(outputs.size(), 16u);
  EXPECT_EQ(outputs[0], "Synth");
  EXPECT_EQ(outputs[2], "None");
  CloseMidiPorts();
  EXPECT_FALSE(midi.IsOpen(in));
  EXPECT_FALSE(midi.Initialized());
  EXPECT_TRUE(dialog.shown.empty());

  midi.FailInitialize("no sequencer");
  EXPECT_FALSE(OpenMidiPorts());
  EXPECT_TRUE(dialog.Saw("no sequencer", "PortMidi Initialization Error"));
}

TEST_F(MidiPortsTest, TwentyInputsOpenOnlyTheFirstSixteen) {
  for (int i = 0; i < 20; ++i) midi.AddDevice("In " + std::to_string(i), true, false);
  const int out = midi.AddDevice("Out", false, true);
  ASSERT_TRUE(OpenMidiPorts());
  EXPECT_EQ(MidiPorts().inputCount, 16);
  EXPECT_EQ(MidiPorts().outputs[0].deviceIndex, out);
  MidiPoll();
  for (int d = 0; d < 20; ++d) EXPECT_EQ(midi.WasOpened(d) && midi.PollCount(d) > 0, d < 16) << d;
}

TEST_F(MidiPortsTest, PortMidiWithoutDevicesOpensNothingAndSendsNowhere) {
  MidiPorts_UseBackend(nullptr);
  ASSERT_TRUE(OpenMidiPorts());
  struct stat st;
  if (stat("/dev/snd/seq", &st) != 0) {  // no sequencer: no devices
    EXPECT_EQ(MidiPorts().inputCount + MidiPorts().outputCount, 0);
  }
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

  midi.Inject(pedal, MidiMessage(0x92, 60, 64));
  midi.Inject(pedal, MidiMessage(0x91, 60, 127));  // other channel
  midi.Inject(0, MidiMessage(0x92, 60, 127));      // other port
  midi.Inject(pedal, MidiMessage(0xF8, 0, 0));     // clock: ignored
  midi.Inject(pedal, MidiMessage(0x92, 60, 127));
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
  midi.Inject(1, MidiMessage(0x90, 10, 10));
  MidiPoll();
  EXPECT_EQ(midi.PendingInput(1), 1);
  Trigger note = OnPort(TriggerType::NoteOn, 1);
  note.data1.SetInput(128, 128);
  Triggers().Add(TriggerType::NoteOn, note);
  EnableAllInputs();
  MidiPoll();
  EXPECT_EQ(Posted().size(), 1u);

  Triggers().Add(TriggerType::SongStop, Trigger_Make(TriggerType::SongStop));  // port any
  RecomputeEnabledInputs();
  EXPECT_EQ(Enabled(), std::vector<bool>(5, true));
}

TEST_F(MidiPortsTest, SyncMessagesGoToTheSyncPortOnlyWhenEnabled) {
  midi.AddDevice("Out 0", false, true);
  const int sync = midi.AddDevice("Out 1", false, true);
  ASSERT_TRUE(OpenMidiPorts());
  SendStart();
  SendClock();
  EXPECT_TRUE(midi.Written(sync).empty());

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
  EXPECT_EQ(midi.Written(sync), (std::vector<uint32_t>{0xFA, 0xF8, 0xFC, 0xFB, 0xFA}));
  EXPECT_TRUE(midi.Written(0).empty());
}

TEST_F(MidiPortsTest, MetronomeNotesAndTheirClamps) {
  const int out = midi.AddDevice("Out", false, true);
  ASSERT_TRUE(OpenMidiPorts());
  SendMetronomeNote(true);  // disabled by default
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
  settings.metronome_midi_port = 1;  // no such output
  SendMetronomeNote(true);
  EXPECT_EQ(midi.Written(out), (std::vector<uint32_t>{MidiMessage(0x90, 63, 127), MidiMessage(0x90, 64, 127),
                                                      MidiMessage(0x99, 37, 90), MidiMessage(0x9F, 127, 127)}));
}

TEST_F(MidiPortsTest, EngineHooksSendClockAndMetronomeNotes) {
  const int out = midi.AddDevice("Out", false, true);
  ASSERT_TRUE(OpenMidiPorts());
  ASSERT_TRUE(Audio_Init());
  AudioEngine* e = Audio_GetEngine();
  e->latencyFrames = 0;
  MidiHooks_Install();
  ASSERT_TRUE(Audio_SetMetronomeTime(2.0, 4, true));  // 120 bpm at 48 kHz
  ASSERT_EQ(e->framesPerClock, 1000);
  Audio_SetMetronomePlayback(1);
  settings.metronome_midi_enable = 1;
  std::vector<float> in(512, 0.0f), buffer(512);
  auto run = [&](int frames) {
    for (int f = 0; f < frames; f += 256) Audio_ProcessStream(e, in.data(), buffer.data(), 256);
  };

  Audio_PlayLooping();
  run(96000);  // one measure, sync off: four notes, no clock
  EXPECT_EQ(midi.Written(out), (std::vector<uint32_t>{MidiMessage(0x90, 63, 127), MidiMessage(0x90, 64, 127),
                                                      MidiMessage(0x90, 64, 127), MidiMessage(0x90, 64, 127)}));
  bool accent = true;
  EXPECT_TRUE(MidiHooks_TakeBeat(&accent));
  EXPECT_FALSE(accent);  // the last beat was not the first of the measure
  EXPECT_FALSE(MidiHooks_TakeBeat(&accent));

  Audio_StopLooping();
  midi.ClearWritten(out);
  settings.metronome_midi_enable = 0;
  settings.send_midi_sync = 1;
  Audio_PlayLooping();
  run(24064);  // frames 0..24063: clocks at 0, 1000, ..., 24000
  EXPECT_EQ(midi.Written(out), std::vector<uint32_t>(25, 0xF8));

  MidiHooks_Remove();
  EXPECT_EQ(e->BeatCallback.load(), nullptr);
  Audio_Shutdown();
}

// The clock from the audio thread and Start/Stop from the user-interface thread share one
// port: no write may begin while another is under way.
TEST_F(MidiPortsTest, WritesFromTwoThreadsToOnePortNeverOverlap) {
  const int out = midi.AddDevice("Out", false, true);
  ASSERT_TRUE(OpenMidiPorts());
  settings.send_midi_sync = 1;
  settings.metronome_midi_enable = 1;
  constexpr int kWrites = 5000;
  std::thread audio([] {
    for (int i = 0; i < kWrites; ++i) {
      SendClock();
      SendMetronomeNote(i % 4 == 0);
    }
  });
  for (int i = 0; i < kWrites; ++i) (i % 2 ? SendStop : SendStart)();
  audio.join();
  EXPECT_EQ(midi.OverlappingWrites(), 0);
  EXPECT_EQ(midi.Written(out).size(), 3u * kWrites);
}

}  // namespace
