// The MIDI input watcher: on raw descriptors (rings once per read, never spins, drops a
// descriptor that fails, stops promptly), and under the ports on the in-memory layer
// (input on a watched port wakes the drain, which reads it; the watched set follows the
// enabled inputs and the clock follower).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "control/memory_midi_backend.h"
#include "control/midi_clock_in.h"
#include "control/midi_input_watch.h"
#include "control/midi_ports.h"
#include "control/open_descriptors.h"
#include "control/fire_action.h"
#include "control/trigger_set.h"

namespace {

using namespace std::chrono_literals;

// Waits up to a few seconds for `done`; a loaded machine may take long, a fault takes forever.
template <class Pred>
bool Eventually(Pred done) {
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::atomic<int> rings{0};
void Ring() { rings.fetch_add(1); }

// A pipe whose read end is watched.
struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() { EXPECT_EQ(pipe2(fd, O_CLOEXEC | O_NONBLOCK), 0); }
  ~Pipe() {
    for (int f : fd)
      if (f >= 0) close(f);
  }
  void Put() { ASSERT_EQ(write(fd[1], "x", 1), 1); }
  void Take() {
    char c;
    ASSERT_EQ(read(fd[0], &c, 1), 1);
  }
  void CloseWriter() { close(fd[1]), fd[1] = -1; }
};

class WatchTest : public ::testing::Test {
 protected:
  void SetUp() override { rings = 0; }
  Pipe a, b;
  MidiInputWatch watch;  // stopped before the pipes it watches are closed
};

TEST_F(WatchTest, RingsOncePerReadAndNeverWhileIdleOrUnread) {
  ASSERT_TRUE(watch.Watch({a.fd[0], b.fd[0], a.fd[0]}, &Ring));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(rings, 0) << "idle descriptors rang";

  b.Put();
  ASSERT_TRUE(Eventually([] { return rings == 1; }));
  EXPECT_TRUE(watch.Rang());
  // Unread, the descriptor stays readable: the watcher waits for the re-arm, not spinning.
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(rings, 1);
  EXPECT_EQ(watch.Wakes(), 1u);

  // A re-arm before everything was read rings again at once: nothing is left behind.
  watch.Rearm(false);
  ASSERT_TRUE(Eventually([] { return rings == 2; }));
  b.Take();
  watch.Rearm(true);
  EXPECT_FALSE(watch.Rang());
  watch.Rearm(false);  // a re-arm of an armed watcher is nothing
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(rings, 2);

  // Input on both at once is one ring.
  a.Put(), b.Put();
  ASSERT_TRUE(Eventually([] { return rings == 3; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(rings, 3);
  EXPECT_FALSE(watch.Lost());
}

TEST_F(WatchTest, AFailedDescriptorRingsOnceIsDroppedAndReportedLost) {
  ASSERT_TRUE(watch.Watch({a.fd[0], b.fd[0]}, &Ring));
  a.CloseWriter();  // a hang-up stays reported for as long as the descriptor is open
  ASSERT_TRUE(Eventually([] { return rings == 1; }));
  EXPECT_TRUE(watch.Lost());
  watch.Rearm(true);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(rings, 1) << "the hung-up descriptor is watched again";
  b.Put();  // the others stay watched
  ASSERT_TRUE(Eventually([] { return rings == 2; }));
}

// A layer whose reads keep failing leaves its descriptor readable: re-arming would wake
// the reader in a loop, so after a few empty reads the watch gives up and the owner polls.
TEST_F(WatchTest, AReaderThatKeepsFindingNothingOnAReadableDescriptorEndsTheWatch) {
  ASSERT_TRUE(watch.Watch({a.fd[0]}, &Ring));
  a.Put();  // never read
  for (int i = 1; i <= 4; ++i) {
    ASSERT_TRUE(Eventually([i] { return rings == i; }));
    EXPECT_FALSE(watch.Lost());
    watch.Rearm(false);
  }
  EXPECT_TRUE(watch.Lost());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(rings, 4);
}

TEST_F(WatchTest, TheSameSetKeepsTheThreadAnotherRestartsItArmedAndStopJoins) {
  ASSERT_TRUE(watch.Watch({a.fd[0]}, &Ring));
  a.Put();
  ASSERT_TRUE(Eventually([] { return rings == 1; }));
  ASSERT_TRUE(watch.Watch({a.fd[0]}, &Ring));
  EXPECT_TRUE(watch.Rang()) << "an unchanged set restarted the watch";

  // A new set starts armed: input already waiting rings at once.
  ASSERT_TRUE(watch.Watch({a.fd[0], b.fd[0]}, &Ring));
  ASSERT_TRUE(Eventually([] { return rings == 2; }));

  ASSERT_TRUE(watch.Watch({}, &Ring));
  EXPECT_FALSE(watch.Running());
  b.Put();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(rings, 2);

  // Stop ends a thread blocked in poll at once, and twice is harmless.
  ASSERT_TRUE(watch.Watch({b.fd[0]}, &Ring));
  ASSERT_TRUE(Eventually([] { return rings == 3; }));
  const auto start = std::chrono::steady_clock::now();
  watch.Stop();
  watch.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(watch.Running() || watch.Rang());
}

TEST(OpenDescriptors, FindsTheDescriptorsOpenedOnAFileSinceTheListWasTaken) {
  char path[] = "/tmp/kestrine_fds_XXXXXX";
  const int first = mkstemp(path);
  ASSERT_GE(first, 0);
  const std::set<int> before = OpenDescriptors();
  EXPECT_TRUE(before.count(first));
  EXPECT_TRUE(NewDescriptorsOf(before, path).empty()) << "one open before the list is not new";
  const int second = open(path, O_RDONLY | O_CLOEXEC);
  const int other = eventfd(0, EFD_CLOEXEC);
  EXPECT_EQ(NewDescriptorsOf(before, path), std::vector<int>{second});
  EXPECT_TRUE(NewDescriptorsOf(before, "/dev/snd/seq").empty());
  close(second), close(other), close(first);
  unlink(path);
}

// ---- Under the ports ----

void CountWake(void* counter) { static_cast<std::atomic<int>*>(counter)->fetch_add(1); }

// Runs what a trigger fires at once instead of posting it: a post would notify too, and
// the notifications counted here are the watcher's alone.
struct CountingTransport : TransportNow {
  int runs = 0;
  bool ExecuteTransportNow(uint32_t) override {
    ++runs;
    return true;
  }
};

class InputWakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wakes = 0;
    for (int i = 0; i < 3; ++i) midi.AddDevice("In " + std::to_string(i), true, false);
    ControlCommands().SetNotify(&CountWake, &wakes);
    Control_InstallTransportNow(&fired);
    MidiPorts_UseBackend(&midi);
  }
  void TearDown() override {
    MidiPorts_UseClockIn(nullptr);
    CloseMidiPorts();
    MidiPorts_UseBackend(nullptr);
    ControlCommands().SetNotify(nullptr, nullptr);
    Control_InstallTransportNow(nullptr);
    Triggers().ClearAll();
  }
  // A trigger on note 60 of input `port`, firing Track Volume of track 4.
  static void LearnNote(int port) {
    Trigger t = Trigger_Make(TriggerType::NoteOn);
    t.port.SetInput(port, ValueRange::kSingle);
    t.data1.SetInput(60, ValueRange::kSingle);
    t.action = {32813, 3};
    Triggers().Add(TriggerType::NoteOn, t);
    RecomputeEnabledInputs();
  }

  MemoryMidiBackend midi;
  std::atomic<int> wakes{0};
  CountingTransport fired;
};

TEST_F(InputWakeTest, InputOnAWatchedPortWakesTheDrainOnceAndTheDrainReadsIt) {
  ASSERT_TRUE(OpenMidiPorts());
  LearnNote(1);
  EXPECT_TRUE(MidiPorts_AnyInputPolled());
  EXPECT_FALSE(MidiPorts_PollingWanted()) << "a watched input still wants the timer";
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(wakes, 0) << "idle inputs woke the drain";

  midi.Inject(0, MidiMessage(0x90, 60, 100));  // a port no trigger uses: not watched
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(wakes, 0);

  midi.Inject(1, MidiMessage(0x90, 60, 100));
  ASSERT_TRUE(Eventually([&] { return wakes == 1; }));
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(wakes, 1) << "unread input woke the drain again before it was read";
  EXPECT_EQ(MidiPorts_InputWakes(), 1u);
  MidiPollWoken();
  EXPECT_EQ(fired.runs, 1);
  EXPECT_EQ(midi.PendingInput(1), 0);

  // Re-armed by the read: the next note wakes again; a drain the watcher did not wake
  // reads nothing.
  const int polls = midi.PollCount(1);
  MidiPollWoken();
  EXPECT_EQ(midi.PollCount(1), polls);
  midi.Inject(1, MidiMessage(0x90, 60, 1));
  ASSERT_TRUE(Eventually([&] { return wakes == 2; }));
  MidiPollWoken();
  EXPECT_EQ(fired.runs, 2);
}

TEST_F(InputWakeTest, TheWatchFollowsTheEnabledInputsAndStopsWithThePorts) {
  ASSERT_TRUE(OpenMidiPorts());  // every input enabled until the triggers are counted
  midi.Inject(2, MidiMessage(0xB0, 7, 1));
  ASSERT_TRUE(Eventually([&] { return wakes == 1; }));
  RecomputeEnabledInputs();  // no trigger: nothing watched
  EXPECT_FALSE(MidiPorts_AnyInputPolled() || MidiPorts_PollingWanted());
  MidiPoll();
  midi.Inject(2, MidiMessage(0xB0, 7, 2));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(wakes, 1);
  EnableAllInputs();  // the control dialog learning: input already waiting rings at once
  ASSERT_TRUE(Eventually([&] { return wakes == 2; }));
  MidiPoll();

  // With a clock follower every input is read, so every input is watched.
  RecomputeEnabledInputs();
  MidiClockIn clock;
  MidiPorts_UseClockIn(&clock);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(wakes, 2);
  midi.Inject(0, 0xF8);
  ASSERT_TRUE(Eventually([&] { return wakes == 3; }));
  MidiPorts_UseClockIn(nullptr);

  CloseMidiPorts();  // joins the watcher; closing again, or with nothing open, is harmless
  CloseMidiPorts();
  midi.Inject(0, 0xF8);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(wakes, 3);
  EXPECT_FALSE(MidiPorts_PollingWanted());
}

}  // namespace
