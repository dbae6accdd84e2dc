// Paths that run on time-critical threads: trigger matching (the MIDI poll and the key
// handler) must not allocate; the engine's MIDI hooks, which run inside the stream
// callback, must not allocate, take a lock, call the MIDI layer or make any system call.
// The program's allocator and the mutex entry points are replaced here by ones that
// count per thread, and the system-call check runs the hooks in a child process under a
// filter that lets nothing else through.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <thread>

#include "control/fire_action.h"
#include "control/memory_midi_backend.h"
#include "control/midi_output.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"
#include "engine/audio.h"

namespace {
thread_local long allocations = 0;
thread_local long lockAttempts = 0;

using MutexFn = int (*)(pthread_mutex_t*);
// Looked up on first use without a function-local static, whose guard could itself
// take a lock.
MutexFn Next(std::atomic<MutexFn>& slot, const char* name) {
  MutexFn fn = slot.load(std::memory_order_acquire);
  if (!fn) {
    fn = reinterpret_cast<MutexFn>(dlsym(RTLD_NEXT, name));
    slot.store(fn, std::memory_order_release);
  }
  return fn;
}
std::atomic<MutexFn> realLock{nullptr};
std::atomic<MutexFn> realTryLock{nullptr};
}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// std::mutex, lock_guard and try_lock all come here.
extern "C" int pthread_mutex_lock(pthread_mutex_t* m) {
  ++lockAttempts;
  return Next(realLock, "pthread_mutex_lock")(m);
}
extern "C" int pthread_mutex_trylock(pthread_mutex_t* m) {
  ++lockAttempts;
  return Next(realTryLock, "pthread_mutex_trylock")(m);
}

namespace {

struct RunEverything : TransportNow {
  int runs = 0;
  bool ExecuteTransportNow(uint32_t) override { return ++runs, true; }
};

TEST(RealtimePaths, DispatchAndKeyMatchingAllocateNothing) {
  TriggerSet set;
  for (int i = 0; i < 1000; ++i) {
    Trigger t = Trigger_Make(TriggerType::ControlChange);
    t.data1.SetInput(i % 128, ValueRange::kSingle);
    t.action = {32771, 0};
    set.Add(TriggerType::ControlChange, t);
    t = Trigger_Make(TriggerType::KeyboardKey);
    t.data1.SetInput('k', 'k');
    set.Add(TriggerType::KeyboardKey, t);
  }
  RunEverything transport;
  Control_InstallTransportNow(&transport);
  const long before = allocations;
  set.DispatchMidi(0, 0, 0xB0, 7, 100);   // 8 of the 1000 match and fire
  set.DispatchMidi(0, 0, 0x90, 60, 100);  // an empty list
  const bool keyMatched = set.MatchKey('k');
  const long after = allocations;
  Control_InstallTransportNow(nullptr);
  EXPECT_EQ(after, before);
  EXPECT_TRUE(keyMatched);
  EXPECT_EQ(transport.runs, 8 + 1000);
}

// The ports open on the in-memory layer with clock and metronome notes on, and the
// hooks installed in the engine as the program installs them.
class AudioSideSends : public ::testing::Test {
 protected:
  void SetUp() override {
    out = midi.AddDevice("Out", false, true);
    settings.send_midi_sync = 1;
    settings.metronome_midi_enable = 1;
    MidiPorts_UseBackend(&midi);
    MidiPorts_UseSendSettings(&settings);
    ASSERT_TRUE(OpenMidiPorts());
    ASSERT_TRUE(Audio_Init());
    MidiHooks_Install();
    engine = Audio_GetEngine();
  }
  void TearDown() override {
    MidiHooks_Remove();
    Audio_Shutdown();
    CloseMidiPorts();
    MidiPorts_UseBackend(nullptr);
    MidiPorts_UseSendSettings(nullptr);
  }
  // What the stream callback does to the hooks: a clock, then a beat (every fourth one
  // the first of its measure).
  void RunHooks(int times) {
    const MidiClockCallbackFn clock = engine->MidiClockCallback;
    const BeatCallbackFn beat = engine->BeatCallback;
    for (int i = 0; i < times; ++i) {
      clock();
      beat(i % 4 == 0);
    }
  }

  MemoryMidiBackend midi;
  int out = 0;
  MidiSendSettings settings;
  AudioEngine* engine = nullptr;
};

TEST_F(AudioSideSends, NeitherAllocateNorLockNorWriteThemselves) {
  const long allocationsBefore = allocations, locksBefore = lockAttempts;
  RunHooks(100);
  const long allocationsAfter = allocations, locksAfter = lockAttempts;
  ASSERT_TRUE(MidiOutput_Flush());
  EXPECT_EQ(allocationsAfter, allocationsBefore);
  EXPECT_EQ(locksAfter, locksBefore);
  const std::vector<MemoryMidiBackend::WriteRecord> log = midi.WriteLog(out);
  ASSERT_EQ(log.size(), 200u);
  for (size_t i = 0; i < log.size(); ++i) {
    const uint32_t note = MidiMessage(0x90, i % 8 == 1 ? 63 : 64, 127);  // the accent's own note
    ASSERT_EQ(log[i].message, i % 2 ? note : 0xF8u) << i;
    ASSERT_NE(log[i].thread, std::this_thread::get_id());
  }
  bool accent = true;
  EXPECT_TRUE(MidiHooks_TakeBeat(&accent));  // the beat lights learn of the last beat
  EXPECT_FALSE(accent);
  // The counters do see what they count: a user-interface send takes its queue's lock.
  SendStart();
  EXPECT_GT(lockAttempts, locksAfter);
}

int syscallReport = -1;  // the child's pipe to the parent

void ReportSystemCall(int, siginfo_t* info, void*) {
  const int number = info->si_syscall;
  syscall(SYS_write, syscallReport, &number, sizeof number);
  syscall(SYS_exit_group, 3);
}

constexpr int kNoSystemCall = -1;
constexpr int kNoFilter = -2;    // the filter cannot be installed here
constexpr int kEndedOtherwise = -3;

// Runs `body` in a child process whose only permitted system calls are exiting and
// writing to the report pipe; any other call is trapped, its number reported, and the
// child ends. Returns that number, or one of the codes above.
template <class Body>
int FirstSystemCall(Body body) {
  int fds[2];
  if (pipe(fds) != 0) return kNoFilter;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    syscallReport = fds[1];
    struct sigaction action = {};
    action.sa_sigaction = ReportSystemCall;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSYS, &action, nullptr);
    const unsigned fd = static_cast<unsigned>(fds[1]);
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit_group, 5, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit, 4, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_write, 0, 2),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, fd, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog filter = {static_cast<unsigned short>(sizeof program / sizeof program[0]), program};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
      _exit(2);
    }
    body();
    // Straight to the kernel: a sanitizer's exit handling would make calls of its own.
    syscall(SYS_exit_group, 0);
  }
  close(fds[1]);
  int status = 0;
  waitpid(child, &status, 0);
  int number = kEndedOtherwise;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) number = kNoSystemCall;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 2) number = kNoFilter;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3 && read(fds[0], &number, sizeof number) != sizeof number)
    number = kEndedOtherwise;
  close(fds[0]);
  return number;
}

TEST_F(AudioSideSends, MakeNoSystemCall) {
  // The filter does catch a system call: the clock read below is not one (vDSO).
  const int sleep = FirstSystemCall([] { usleep(1); });
  if (sleep == kNoFilter) GTEST_SKIP() << "system-call filters are not available here";
  EXPECT_EQ(sleep, SYS_clock_nanosleep);

  EXPECT_EQ(FirstSystemCall([this] { RunHooks(100); }), kNoSystemCall);
}

}  // namespace
