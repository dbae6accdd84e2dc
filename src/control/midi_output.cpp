#include "control/midi_output.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/spsc_queue.h"

namespace {

static_assert(std::atomic<uint64_t>::is_always_lock_free && std::atomic<int64_t>::is_always_lock_free,
              "the audio side relies on lock-free 64-bit counters");

SpscQueue<MidiOutMessage, kMidiAudioQueueCapacity> audioQueue;
SpscQueue<MidiOutMessage, kMidiUiQueueCapacity> uiQueue;

// Numbers handed out to queued messages, shared by both queues. A message that happens
// after another in the program takes a later number, whichever thread queued it.
std::atomic<uint64_t> nextSequence{0};
// Every number below this one has been written (or was discarded as left over).
std::atomic<uint64_t> writtenThrough{0};
// Set while a writer runs; producers queue nothing otherwise, and the writer ends once
// it is cleared.
std::atomic<bool> running{false};

std::atomic<uint64_t> writtenCount{0};
std::atomic<uint64_t> droppedCount{0};
std::atomic<int64_t> maxDelay{0};
std::atomic<int64_t> totalDelay{0};

// Taken by user-interface producers (there may be more than one such thread) and by the
// writer to sleep; never by the audio thread.
std::mutex uiLock;
std::condition_variable wake;
bool uiPending = false;  // under uiLock: something was queued since the writer looked
std::thread writer;

int64_t Now() {
  // steady_clock reads the clock through the vDSO on Linux: no system call.
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The output streams by position, and which of them place messages in time themselves.
struct Streams {
  std::array<MidiStream, kMidiOutputStreams> stream{};
  std::array<bool, kMidiOutputStreams> timed{};
  bool Timed(int32_t port) const { return port >= 0 && port < kMidiOutputStreams && timed[static_cast<size_t>(port)]; }
};

void Write(MidiBackend* backend, const Streams& streams, const MidiOutMessage& m) {
  if (m.port >= 0 && m.port < kMidiOutputStreams && streams.stream[static_cast<size_t>(m.port)]) {
    if (streams.Timed(m.port)) {
      backend->WriteAt(streams.stream[static_cast<size_t>(m.port)], m.message, m.dueAt);
    } else {
      backend->Write(streams.stream[static_cast<size_t>(m.port)], m.message);
    }
  }
  // Only the writer updates the statistics, so plain read-modify-write is enough. A
  // message handed early to a stream that places it in time counts as on time.
  const int64_t delay = std::max<int64_t>(0, Now() - std::max(m.queuedAt, m.dueAt));
  if (delay > maxDelay.load(std::memory_order_relaxed)) maxDelay.store(delay, std::memory_order_relaxed);
  totalDelay.store(totalDelay.load(std::memory_order_relaxed) + delay, std::memory_order_relaxed);
  writtenCount.store(writtenCount.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

// The writer thread: merges the two queues by number. Each queue is in number order, so
// the next number is at the head of one of them, or its producer has taken the number
// and is about to push it (a few instructions), which the writer waits out.
//
// Waking: the audio side does not signal the writer. Notifying a sleeping thread (a
// condition variable, or std::atomic::notify_one) makes a futex system call whenever the
// writer sleeps, and a condition variable also takes its lock. Instead the writer polls
// every millisecond while it has nothing to do: audio messages wait at most that long,
// which is small against a clock period (8 ms at 300 beats per minute and 24 clocks per
// beat) and against the buffer's own 5 ms at 256 frames; the cost is a thousand cheap
// wake-ups a second while the ports are open. User-interface sends do notify, so Start
// and Stop go out at once, and stopping the writer never waits out a poll.
void WriterLoop(MidiBackend* backend, Streams streams, uint64_t next) {
  // Clock bytes are only as steady as this thread's wake-ups: take the lowest real-time
  // priority where the system grants it (below any audio thread), else stay as is.
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);

  MidiOutMessage fromAudio, fromUi;
  bool haveAudio = false, haveUi = false;
  while (running.load(std::memory_order_acquire)) {
    if (!haveAudio) haveAudio = audioQueue.pop(fromAudio);
    if (!haveUi) haveUi = uiQueue.pop(fromUi);
    // Numbers below `next` were taken before this writer started: left over, not written.
    if (haveAudio && fromAudio.sequence < next) {
      haveAudio = false;
      continue;
    }
    if (haveUi && fromUi.sequence < next) {
      haveUi = false;
      continue;
    }
    if (haveAudio && fromAudio.sequence == next) {
      // A clock waits for the time of its frame; what follows it in the order waits too.
      // A stream that places messages in time takes it at once with its due time.
      const int64_t early = streams.Timed(fromAudio.port) ? 0 : fromAudio.dueAt - Now();
      if (early > 0) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(std::min<int64_t>(early, 1'000'000)));
        continue;
      }
      Write(backend, streams, fromAudio);
      haveAudio = false;
    } else if (haveUi && fromUi.sequence == next) {
      Write(backend, streams, fromUi);
      haveUi = false;
    } else if (haveAudio || haveUi || nextSequence.load(std::memory_order_acquire) != next) {
      // `next` is taken but not pushed yet. Sleep rather than yield: with real-time
      // priority a yield would keep a preempted user-interface producer off this core.
      std::this_thread::sleep_for(std::chrono::microseconds(20));
      continue;
    } else {
      std::unique_lock<std::mutex> lock(uiLock);
      if (!uiPending && running.load(std::memory_order_relaxed)) {
        wake.wait_for(lock, std::chrono::milliseconds(1));
      }
      uiPending = false;
      continue;
    }
    writtenThrough.store(++next, std::memory_order_release);
  }
}

}  // namespace

void MidiOutput_Start(MidiBackend* backend, const MidiStream (&streams)[kMidiOutputStreams]) {
  MidiOutput_Stop();
  // No writer runs: this thread is the queues' consumer until the writer starts.
  MidiOutMessage stale;
  while (audioQueue.pop(stale)) {
  }
  while (uiQueue.pop(stale)) {
  }
  Streams copy;
  for (size_t i = 0; i < kMidiOutputStreams; ++i) {
    copy.stream[i] = streams[i];
    copy.timed[i] = streams[i] && backend->PlacesInTime(streams[i]);
  }
  const uint64_t first = nextSequence.load();
  writtenThrough.store(first, std::memory_order_release);
  {
    std::lock_guard<std::mutex> guard(uiLock);
    uiPending = false;
    running.store(true, std::memory_order_release);
  }
  writer = std::thread(WriterLoop, backend, copy, first);
}

void MidiOutput_Stop() {
  if (!writer.joinable()) return;
  MidiOutput_Flush();
  {
    std::lock_guard<std::mutex> guard(uiLock);
    running.store(false, std::memory_order_release);
  }
  wake.notify_one();
  writer.join();
}

namespace {
// A message with the next number of the one order both queues share.
MidiOutMessage Numbered(int32_t port, uint32_t message, int64_t delayNs) {
  MidiOutMessage m;
  m.sequence = nextSequence.fetch_add(1);
  m.queuedAt = Now();
  m.dueAt = m.queuedAt + delayNs;
  m.port = port;
  m.message = message;
  return m;
}
}  // namespace

bool MidiOutput_QueueFromAudio(int32_t port, uint32_t message, int64_t delayNs) {
  if (!running.load(std::memory_order_acquire)) return false;
  // This is the queue's only producer: once there is room, the push below cannot fail,
  // so no number is ever taken for a message that is then not queued.
  if (!audioQueue.has_room(1)) {
    droppedCount.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  audioQueue.push(Numbered(port, message, kMidiScheduleAheadNs + std::max<int64_t>(0, delayNs)));
  return true;
}

bool MidiOutput_Queue(int32_t port, uint32_t message) {
  {
    std::lock_guard<std::mutex> guard(uiLock);
    if (!running.load(std::memory_order_relaxed)) return false;
    if (!uiQueue.has_room(1)) {
      droppedCount.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    uiQueue.push(Numbered(port, message, 0));
    uiPending = true;
  }
  wake.notify_one();
  return true;
}

bool MidiOutput_Flush(std::chrono::milliseconds timeout) {
  if (!running.load(std::memory_order_acquire)) return false;
  const uint64_t target = nextSequence.load();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (writtenThrough.load(std::memory_order_acquire) < target) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

MidiOutputStats MidiOutput_Stats() {
  MidiOutputStats s;
  s.written = writtenCount.load(std::memory_order_relaxed);
  s.dropped = droppedCount.load(std::memory_order_relaxed);
  s.maxDelayNs = maxDelay.load(std::memory_order_relaxed);
  s.totalDelayNs = totalDelay.load(std::memory_order_relaxed);
  return s;
}
