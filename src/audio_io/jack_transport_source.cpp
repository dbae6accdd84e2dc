#include "audio_io/jack_transport_source.h"

#include <cmath>

namespace {
constexpr double kMinBpm = 20.0, kMaxBpm = 300.0;
}

void JackTransportFollow::Take(const JackTransportReading& r, bool have, const SyncBlock& block,
                               SyncReading* out) noexcept {
  // The transport's position belongs to the period being processed, which every client's
  // audio of that period shares: it is compared with the block's start, not with when the
  // block is heard.
  const int64_t at = block.timeNs - block.outputLatencyNs;
  const bool usable = have && r.valid && r.bpm >= kMinBpm && r.bpm <= kMaxBpm && at - r.periodTimeNs < kStaleNs;
  out->following = usable;
  out->bpm = lastBpm_;
  out->jumps = jumps_;
  if (!usable) {
    out->rolling = false;
    wasRolling_ = false;
    haveLast_ = false;
    return;
  }
  const bool rolling = r.rolling;
  if (rolling && !wasRolling_) {
    ++jumps_;  // the transport started: its position is bar 1 of the loops again
  } else if (rolling && haveLast_ && r.period != last_.period) {
    const int64_t expected = last_.frame + (r.periodFrame - last_.periodFrame);
    if (std::llabs(r.frame - expected) > 1) ++jumps_;  // relocated while rolling
  }
  wasRolling_ = rolling;
  last_ = r;
  haveLast_ = true;
  lastBpm_ = r.bpm;

  out->bpm = r.bpm;
  out->rolling = rolling;
  out->beatsPerBar = static_cast<int32_t>(std::lround(r.beatsPerBar));
  out->jumps = jumps_;
  out->beat = r.beat + (rolling ? static_cast<double>(at - r.periodTimeNs) * 1e-9 * r.bpm / 60.0 : 0.0);
}

void JackTransportSource::Read(const SyncBlock& block, SyncReading* reading) noexcept {
  JackTransportReading r;
  const bool have = client_ && client_->Transport(&r);
  follow_.Take(r, have, block, reading);
}
