#pragma once
// Following a MIDI clock: timing clock (0xF8, 24 a beat), Start (0xFA), Continue (0xFB),
// Stop (0xFC) and Song Position Pointer (0xF2) from the MIDI input path, turned into the
// tempo and beat position the engine follows.
//
// The input path stamps each message with its arrival time and hands it over through a
// fixed-size single-producer queue; the audio thread drains the queue when it reads the
// source and does all the arithmetic there, so nothing is shared but the queue and a few
// counters.
//
// Tempo comes from a least-squares line through the arrival times of the last beat of
// ticks: the line's slope is the tick period, its value at the newest tick that tick's
// time with the arrival jitter (0.5-2 ms on a USB interface) averaged out. A fit over one
// beat follows a tempo change within that beat and settles in the next.
#include <atomic>
#include <cstdint>

#include "engine/spsc_queue.h"
#include "engine/sync_source.h"

class MidiClockIn final : public SyncSource {
 public:
  static constexpr int kTicksPerBeat = 24;
  // Ticks the tempo line is fitted over: one beat.
  static constexpr int kWindow = 24;
  // Ticks needed before the tempo is trusted.
  static constexpr int kLockTicks = 24;
  // Beats without a tick after which the clock counts as gone.
  static constexpr double kSilentBeats = 2.0;
  static constexpr double kMinBpm = 20.0;
  static constexpr double kMaxBpm = 300.0;

  // MIDI input path (one thread at a time). Takes a real-time or Song Position message
  // (status in bits 0..7, data in 8..23, as the port layer packs it) that arrived at
  // `timeNs` on the steady clock; other messages are ignored. False when the message is
  // not one of the clock's.
  bool Receive(uint32_t message, int64_t timeNs) noexcept;
  // True for the messages Receive takes.
  static bool IsClockMessage(uint32_t message) noexcept;

  // Audio thread only.
  void Read(const SyncBlock& block, SyncReading* reading) noexcept override;

  // Any thread: counters for the user interface and tests.
  // Times a tempo outside 20..300 BPM began to arrive (each episode counted once).
  uint32_t OutOfRangeEpisodes() const noexcept { return outOfRange_.load(std::memory_order_relaxed); }
  // The last out-of-range tempo, for the message.
  double OutOfRangeBpm() const noexcept { return outOfRangeBpm_.load(std::memory_order_relaxed); }
  // Times a followed clock went silent for two beats.
  uint32_t Losses() const noexcept { return losses_.load(std::memory_order_relaxed); }
  // Messages dropped because the audio thread had not drained the queue.
  uint32_t Dropped() const noexcept { return dropped_.load(std::memory_order_relaxed); }

 private:
  struct Event {
    uint32_t message;
    int64_t timeNs;
  };
  void Take(const Event& event) noexcept;
  void Tick(int64_t timeNs) noexcept;
  void Refit() noexcept;
  void Forget() noexcept;

  SpscQueue<Event, 1024> queue_;
  std::atomic<uint32_t> dropped_{0};
  std::atomic<uint32_t> outOfRange_{0};
  std::atomic<double> outOfRangeBpm_{0.0};
  std::atomic<uint32_t> losses_{0};

  // ---- Audio thread only ----
  int64_t times_[kWindow] = {};  // arrival times of the last ticks, a ring
  int count_ = 0;                // ticks in the ring (up to kWindow)
  int newest_ = -1;              // ring index of the newest tick
  // The fitted line's time of the newest tick, in seconds after its arrival (the jitter
  // the fit took out).
  double fitOffset_ = 0.0;
  double period_ = 0.0;          // fitted seconds a tick; 0 before the first fit
  int ticksSeen_ = 0;            // ticks since the clock (re)appeared, up to kLockTicks
  bool inRange_ = true;
  bool rolling_ = false;
  bool armed_ = false;           // Start or Continue seen: the next tick starts the song
  bool jumpPending_ = false;     // the next tick comes from a Start or a jump
  int64_t nextSongTick_ = 0;     // the song position of the next tick
  int64_t songTick_ = 0;         // the song position of the newest tick
  uint32_t jumps_ = 0;
  bool followed_ = false;
  double lastBpm_ = 120.0;  // the last tempo followed: kept when the clock goes
};
