#pragma once
// Wakes the user-interface thread when MIDI input arrives, so that nothing polls silent
// inputs on a timer. A thread of its own blocks in poll() on the descriptors the MIDI
// layers give for the watched inputs. When one turns readable it calls the wake function
// once, then waits only for Rearm, which the reader gives after it has read what was
// waiting: a descriptor that stays readable costs one wake per read, never a spin.
//
// A descriptor that reports an error or hang-up is dropped from the watch and Lost()
// turns true, so that the owner falls back to polling instead of missing input. So is
// the whole watch when the reader keeps finding nothing while a descriptor stays
// readable (a layer whose reads fail): re-arming it would wake the reader in a loop.
//
// Threads: Watch, Stop and the destructor on the thread that owns the MIDI ports (the
// user-interface thread), and Rearm too, since it writes to a descriptor Stop closes.
// Rang, Lost and Wakes from any thread. The wake function runs on the watcher's own
// thread and must not block for long.
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

class MidiInputWatch {
 public:
  using WakeFn = void (*)();

  MidiInputWatch() = default;
  ~MidiInputWatch();
  MidiInputWatch(const MidiInputWatch&) = delete;
  MidiInputWatch& operator=(const MidiInputWatch&) = delete;

  // Watches these descriptors (a descriptor given twice is watched once) and calls `wake`
  // when one turns readable. A set equal to the one watched keeps the thread as it is;
  // another set restarts it, armed; an empty set stops it. False when the thread could
  // not be started: nothing is watched and the caller must poll.
  bool Watch(std::vector<int> descriptors, WakeFn wake);
  // Ends the thread and waits for it. Nothing is watched afterwards.
  void Stop();
  // The reader has read what the wake announced (`readSomething`: at least one event):
  // watch the descriptors again. Costs nothing (no system call) when the watcher has not
  // rung.
  void Rearm(bool readSomething);

  bool Running() const { return thread_.joinable(); }
  // The watcher has rung and not been re-armed since.
  bool Rang() const { return rang_.load(std::memory_order_acquire); }
  // Some descriptor failed and is no longer watched.
  bool Lost() const { return lost_.load(std::memory_order_acquire); }
  // Times the wake function was called since the watch started.
  uint64_t Wakes() const { return wakes_.load(std::memory_order_relaxed); }

 private:
  void Run(int control, std::vector<int> descriptors, WakeFn wake);
  void Signal();
  bool AnyReadable() const;

  // Rings in a row after which a reader that found nothing, with a descriptor still
  // readable, is taken to be stuck.
  static constexpr int kStuckRings = 4;

  std::thread thread_;          // owner's thread
  std::vector<int> watched_;    // owner's thread: the set the running thread watches
  WakeFn wake_ = nullptr;       // owner's thread
  int control_ = -1;            // eventfd: re-arm and stop; made and closed by the owner
  int emptyRings_ = 0;          // owner's thread: rings in a row whose read found nothing
  std::atomic<bool> stop_{false};
  std::atomic<bool> rang_{false};
  std::atomic<bool> lost_{false};
  std::atomic<uint64_t> wakes_{0};
};
