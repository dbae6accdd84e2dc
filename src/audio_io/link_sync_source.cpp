#include "audio_io/link_sync_source.h"

#include <cmath>

namespace {
constexpr double kMinBpm = 20.0, kMaxBpm = 300.0;
}

void LinkFollow::Take(const LinkReading& r, int quantum, SyncReading* out) noexcept {
  const bool usable = r.peers > 0 && r.bpm >= kMinBpm && r.bpm <= kMaxBpm;
  out->following = usable;
  out->bpm = lastBpm_;
  out->jumps = jumps_;
  if (!usable) {
    out->rolling = false;
    wasPlaying_ = false;
    return;
  }
  if (r.playing && !wasPlaying_) ++jumps_;
  wasPlaying_ = r.playing;
  lastBpm_ = r.bpm;
  // Link's timeline always runs: its phase is there whether or not the session plays.
  out->rolling = true;
  out->bpm = r.bpm;
  out->beatsPerBar = quantum;
  out->jumps = jumps_;
  // Playing, the session's start is bar 1 (a start falls on a bar line of the quantum);
  // otherwise any bar line of the session is.
  const double start = r.playing ? std::round(r.startBeat / quantum) * quantum : 0.0;
  out->beat = r.beat - start;
}

void LinkSyncSource::Read(const SyncBlock& block, SyncReading* reading) noexcept {
  const int quantum = quantum_.load(std::memory_order_relaxed);
  if (--untilOffset_ < 0) {
    offsetMicros_ = link_->MicrosAtSteadyNs(block.timeNs) - block.timeNs / 1000;
    untilOffset_ = kOffsetEvery - 1;
  }
  const LinkReading r = link_->Read(block.timeNs / 1000 + offsetMicros_, quantum);
  follow_.Take(r, quantum, reading);
}
