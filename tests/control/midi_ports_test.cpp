// The MIDI ports on the in-memory MIDI layer: opening, polling, sync and metronome output across threads,
// and the engine's MIDI hooks, which run in the stream callback and so must not allocate, lock or call out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "control/first_system_call.h"
#include "control/memory_midi_backend.h"
#include "control/midi_output.h"
#include "control/midi_ports.h"
#include "control/posted_commands.h"
#include "control/trigger_set.h"
#include "engine/audio.h"
#include "engine/metronome.h"
#include "support/scripted_dialog.h"

// Counted per thread by the program's replaced allocator and mutex entry points.
extern thread_local long allocations, lockAttempts;

namespace {

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
  }
  void TearDown() override {
    if (Audio_GetEngine()) MidiHooks_Remove(), Audio_Shutdown();
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
  // Opens the ports and the engine with its MIDI hooks, sync and metronome notes on.
  void InstallHooks() {
    settings.send_midi_sync = settings.metronome_midi_enable = 1;
    ASSERT_TRUE(OpenMidiPorts());
    ASSERT_TRUE(Audio_Init());
    MidiHooks_Install();
  }
  // A hundred clocks and beats as the stream callback sends them; every fourth beat is an accent.
  static void RunHooks() {
    const MidiClockCallbackFn clock = Audio_GetEngine()->MidiClockCallback;
    const BeatCallbackFn beat = Audio_GetEngine()->BeatCallback;
    for (int i = 0; i < 100; ++i) clock(static_cast<uint32_t>(i % 8) * 32), beat(i % 4 == 0);
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
  EXPECT_TRUE(MidiPorts().outputCount == 2 && MidiPorts().inputs[1].deviceIndex == 3);
  EXPECT_EQ(MidiPorts_InputList()[1], "Port 4: " + std::string(63, 'x'));
  EXPECT_EQ(MidiPorts_InputList()[2], "Port 5: In 0");
  EXPECT_EQ(MidiPorts_OutputNames(), (std::vector<std::string>{"Synth", std::string(63, 'x'), "None", "None", "None",
      "None", "None", "None", "None", "None", "None", "None", "None", "None", "None", "None"}));
  MidiPoll();
  for (int d = 4; d < 24; ++d) EXPECT_EQ(midi.WasOpened(d) && midi.PollCount(d) > 0, d < 18) << d;
  CloseMidiPorts();
  EXPECT_FALSE(midi.IsOpen(in) || midi.Initialized());
  EXPECT_TRUE(dialog.shown.empty());

  midi.FailInitialize("no sequencer");
  EXPECT_FALSE(OpenMidiPorts());
  EXPECT_TRUE(dialog.Saw("no sequencer", "PortMidi Initialization Error"));
}

// Only ports that triggers use are read; a disabled input's messages wait until it is enabled again.
TEST_F(MidiPortsTest, PollReadsTheEnabledInputsIntoTriggerCommands) {
  for (int i = 0; i < 5; ++i) midi.AddDevice("In " + std::to_string(i), true, false);
  ASSERT_TRUE(OpenMidiPorts());
  Triggers().Add(TriggerType::KeyboardKey, Trigger_Make(TriggerType::KeyboardKey));
  RecomputeEnabledInputs();
  EXPECT_EQ(Enabled(), std::vector<bool>(5, false));  // keyboard triggers use no port
  Triggers().Add(TriggerType::ControlChange, OnPort(TriggerType::ControlChange, 3));
  RecomputeEnabledInputs();
  EXPECT_EQ(Enabled(), (std::vector<bool>{false, false, false, true, false}));
  for (uint32_t m : {MidiMessage(0x92, 60, 64), MidiMessage(0x91, 60, 127) /* other channel */,
                     MidiMessage(0xF8, 0, 0) /* clock: ignored */, MidiMessage(0x92, 60, 127)})
    midi.Inject(1, m);
  midi.Inject(0, MidiMessage(0x92, 60, 127));  // other port
  MidiPoll();
  EXPECT_EQ(midi.PendingInput(1), 4);
  Trigger t = OnPort(TriggerType::NoteOn, 1);
  t.channel.SetInput(2, ValueRange::kSingle);
  t.data1.SetInput(60, ValueRange::kSingle);
  t.action = {32813, 3};  // Track Volume, track 4
  Triggers().Add(TriggerType::NoteOn, t);
  EnableAllInputs();
  MidiPoll();
  EXPECT_EQ(Posted(), (Commands{{32813, 33025, 3}, {32813, 65534, 3}}));
  Triggers().Add(TriggerType::SongStop, Trigger_Make(TriggerType::SongStop));  // port any
  RecomputeEnabledInputs();
  EXPECT_EQ(Enabled(), std::vector<bool>(5, true));
}

TEST_F(MidiPortsTest, SyncAndMetronomeNotesGoToTheirPortsOnlyWhenEnabled) {
  midi.AddDevice("Out 0", false, true);
  const int sync = midi.AddDevice("Out 1", false, true);
  ASSERT_TRUE(OpenMidiPorts());
  SendStart(), SendClock(), SendMetronomeNote(true);  // all off by default
  settings.send_midi_sync = settings.midi_sync_port = 1;
  SendStart();
  SendClock();
  SendStop();
  SendContinue();
  SendStart();
  for (int port : {2, 16, -1}) settings.midi_sync_port = port, SendStart();  // unused, out of range
  settings.metronome_midi_enable = 1;
  SendMetronomeNote(true), SendMetronomeNote(false);
  settings.metronome_midi_channel = 9, settings.metronome_midi_beat_note = 37, settings.metronome_midi_beat_volume = 90;
  SendMetronomeNote(false);
  // Out-of-range settings are clamped instead of forming another message.
  settings.metronome_midi_channel = 17, settings.metronome_midi_accent_note = 200;
  SendMetronomeNote(true);
  settings.metronome_midi_port = 2;  // no such output
  SendMetronomeNote(true);
  ASSERT_TRUE(MidiOutput_Flush());
  EXPECT_EQ(midi.Written(sync), (std::vector<uint32_t>{0xFA, 0xF8, 0xFC, 0xFB, 0xFA}));
  EXPECT_EQ(midi.Written(0), (std::vector<uint32_t>{MidiMessage(0x90, 63, 127), MidiMessage(0x90, 64, 127),
                                                    MidiMessage(0x99, 37, 90), MidiMessage(0x9F, 127, 127)}));
}

TEST_F(MidiPortsTest, AudioSideHooksNeitherAllocateNorLockNorWriteThemselves) {
  const int out = midi.AddDevice("Out", false, true);
  InstallHooks();
  const long allocationsBefore = allocations, locksBefore = lockAttempts;
  RunHooks();
  const long allocationsAfter = allocations, locksAfter = lockAttempts;
  ASSERT_TRUE(MidiOutput_Flush());
  EXPECT_EQ(allocationsAfter, allocationsBefore);
  EXPECT_EQ(locksAfter, locksBefore);
  const std::vector<MemoryMidiBackend::WriteRecord> log = midi.WriteLog(out);
  ASSERT_EQ(log.size(), 200u);
  for (size_t i = 0; i < log.size(); ++i) {
    ASSERT_EQ(log[i].message, i % 2 ? MidiMessage(0x90, i % 8 == 1 ? 63 : 64, 127) : 0xF8u) << i;  // accent: 63
    ASSERT_NE(log[i].thread, std::this_thread::get_id());
  }
  bool accent = true;  // the beat lights learn of the last beat, once
  EXPECT_TRUE(MidiHooks_TakeBeat(&accent) && !accent && !MidiHooks_TakeBeat(&accent));
  SendStart();  // the counters do see what they count: a user-interface send takes its queue's lock
  EXPECT_GT(lockAttempts, locksAfter);
  MidiHooks_Remove();
  EXPECT_EQ(Audio_GetEngine()->BeatCallback.load(), nullptr);
}

TEST_F(MidiPortsTest, AudioSideHooksMakeNoSystemCall) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer's runtime makes system calls of its own inside the calls it intercepts, "
                  "so the filter's self-check cannot hold; the hooks are checked in the plain and ASan builds";
#endif
  // The filter does catch a system call: the clock read below is not one (vDSO).
  const int sleep = FirstSystemCall([] { usleep(1); });
  if (sleep == kNoFilter) GTEST_SKIP() << "system-call filters are not available here";
  EXPECT_EQ(sleep, SYS_clock_nanosleep);
  midi.AddDevice("Out", false, true);
  InstallHooks();
  EXPECT_EQ(FirstSystemCall(RunHooks), kNoSystemCall);
}

// An audio thread runs the callback with the hooks while this one plays, pauses and stops: each Start or
// Continue goes out before its clocks, each Stop after them, all from the one output thread, none overlapping.
TEST_F(MidiPortsTest, StartClocksAndStopFromTwoThreadsArriveInOrder) {
  const int out = midi.AddDevice("Out", false, true);
  InstallHooks();
  AudioEngine* e = Audio_GetEngine();
  e->latencyFrames = 0;
  ASSERT_TRUE(Audio_SetMetronomeTime(2.0, 4, true));  // a clock every 1000 frames
  Audio_SetMetronomePlayback(1);
  const uint64_t droppedBefore = MidiOutput_Stats().dropped;
  std::atomic<bool> done{false};
  std::thread::id audioThread;
  std::thread audio([&] {
    audioThread = std::this_thread::get_id();
    std::vector<float> in(512, 0.0f), buffer(512);
    for (; !done.load(); std::this_thread::yield()) Audio_ProcessStream(e, in.data(), buffer.data(), 256);
  });
  // Waits for `n` more callbacks: with n = 2, one that began after the call has ended.
  auto awaitCallbacks = [&](uint64_t n) {
    const uint64_t target = e->callbacksFinished.load() + n;
    while (e->callbacksFinished.load() < target) std::this_thread::yield();
  };

  // Until the second round is under way the device takes no bytes, so both queues fill
  // side by side and only their merge decides the order; after that, bytes go out live.
  midi.HoldWrites(true);
  Audio_PlayLooping();  // Start, from the engine's transport-start hook
  awaitCallbacks(12);  // 3072 frames: at least three clocks
  Audio_PauseLooping(), awaitCallbacks(2), SendStop();
  Audio_PlayLooping(), awaitCallbacks(12);  // Continue
  midi.HoldWrites(false), awaitCallbacks(12);
  Audio_StopLooping(), awaitCallbacks(2), SendStop();
  done = true;
  audio.join();
  MidiHooks_Remove(), Audio_Shutdown();
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
  EXPECT_TRUE(*writers.begin() != audioThread && *writers.begin() != std::this_thread::get_id());
  EXPECT_TRUE(midi.OverlappingWrites() == 0 && MidiOutput_Stats().dropped == droppedBefore);
}

// A clock goes out as much later than the one on its buffer's first frame as its frame
// lies; never before, and the order holds: a Stop queued after it waits for it.
TEST_F(MidiPortsTest, ClocksGoOutAtTheTimeOfTheirFrame) {
  const int out = midi.AddDevice("Out", false, true);
  InstallHooks();
  Audio_GetEngine()->sampleRate = 48000.0;
  const MidiClockCallbackFn clock = Audio_GetEngine()->MidiClockCallback;
  const auto queued = std::chrono::steady_clock::now();
  clock(0);
  clock(4800);  // 100 ms into the buffer
  SendStop();
  ASSERT_TRUE(MidiOutput_Flush());
  const std::vector<MemoryMidiBackend::WriteRecord> log = midi.WriteLog(out);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(log[0].message == 0xF8 && log[1].message == 0xF8 && log[2].message == 0xFC);
  EXPECT_GE(log[1].time - queued, std::chrono::milliseconds(100));
  EXPECT_GE(log[2].time, log[1].time);
  MidiHooks_Remove(), Audio_Shutdown();
}

// A device that stops taking bytes holds up only the output thread: the audio side fills
// its queue, then drops and counts the rest; the queue goes out in order once it takes bytes.
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
  std::vector<uint32_t> expected(kMidiAudioQueueCapacity + 2, 0xF8);
  expected.front() = 0xFA, expected.back() = 0xFC;
  EXPECT_EQ(midi.Written(out), expected);
}

}  // namespace
