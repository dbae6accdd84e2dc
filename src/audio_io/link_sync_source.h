#pragma once
// An Ableton Link session as a tempo source the engine follows: the session's tempo and
// its beat phase at a quantum of the beats per measure, from Link's real-time capture of
// the session state at the moment the block is heard.
//
// Alone in a session (no peers) nothing is followed: Kestrine keeps its own tempo. With
// start/stop sync, the session starting to play is a jump: the beat it started on is bar 1
// of the loops from then on.
#include <atomic>
#include <cstdint>

#include "audio_io/link_session.h"
#include "engine/sync_source.h"

// What the source makes of one capture; apart from the session so that it can be driven
// with readings of any kind. Audio thread only.
class LinkFollow {
 public:
  void Take(const LinkReading& reading, int quantum, SyncReading* out) noexcept;

 private:
  bool wasPlaying_ = false;
  uint32_t jumps_ = 0;
  double lastBpm_ = 120.0;
};

class LinkSyncSource final : public SyncSource {
 public:
  // The session outlives the source.
  LinkSyncSource(const LinkSession* link, int beatsPerBar) : link_(link), quantum_(beatsPerBar > 0 ? beatsPerBar : 4) {}
  // User-interface thread: the bar the phase is taken at (the beats per measure).
  void SetQuantum(int beatsPerBar) {
    if (beatsPerBar > 0) quantum_.store(beatsPerBar, std::memory_order_relaxed);
  }
  // Audio thread only: two clock reads and Link's real-time capture.
  void Read(const SyncBlock& block, SyncReading* reading) noexcept override;

 private:
  const LinkSession* link_;
  std::atomic<int> quantum_;
  // Audio thread only. Link's clock minus the steady clock, in microseconds: both run on
  // the monotonic clock, apart only by the system's slow slewing, so it is read again only
  // every kOffsetEvery callbacks (a clock pair costs about as much as Link's capture).
  static constexpr int kOffsetEvery = 16;
  LinkFollow follow_;
  int64_t offsetMicros_ = 0;
  int untilOffset_ = 0;
};
