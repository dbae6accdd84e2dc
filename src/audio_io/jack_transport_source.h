#pragma once
// The JACK transport as a tempo source the engine follows: the reading the program's own
// JACK client took in the most recent JACK period, carried to the callback's first frame.
//
// A server without a timebase master publishes no bars and beats: nothing is followed and
// Kestrine keeps its own tempo. A relocation while rolling, and every start of the
// transport, count as a jump (the loops are put back on the source's bar at once).
#include <cstdint>

#include "audio_io/jack_own_client.h"
#include "engine/sync_source.h"

// What the source makes of one period's reading; apart from the client so that it can be
// driven with readings of any kind. Audio thread only.
class JackTransportFollow {
 public:
  // `have`: a reading was taken (else nothing is followed).
  void Take(const JackTransportReading& reading, bool have, const SyncBlock& block, SyncReading* out) noexcept;

  // A reading older than this is of a server that stopped running periods.
  static constexpr int64_t kStaleNs = 500'000'000;

 private:
  JackTransportReading last_{};
  bool haveLast_ = false;
  bool wasRolling_ = false;
  uint32_t jumps_ = 0;
  double lastBpm_ = 120.0;
};

class JackTransportSource final : public SyncSource {
 public:
  // The client is the program's own; it outlives the source.
  explicit JackTransportSource(const JackOwnClient* client) : client_(client) {}
  // Audio thread only: one wait-free read of the client's record.
  void Read(const SyncBlock& block, SyncReading* reading) noexcept override;

 private:
  const JackOwnClient* client_;
  JackTransportFollow follow_;  // audio thread only
};
