#pragma once
// Kestrine leading with its own tempo (Internal): as the JACK transport's timebase master,
// and as a peer of an Ableton Link session. Each takes the engine's position once per
// callback (sync_lead.h) and hands it on wait-free.
#include "audio_io/jack_own_client.h"
#include "audio_io/link_session.h"
#include "engine/sync_lead.h"

class JackTransportLeader final : public SyncLeader {
 public:
  // The client outlives the leader and is the timebase master meanwhile.
  explicit JackTransportLeader(JackOwnClient* client) : client_(client) {}
  // Audio thread only: the bars and beats of the period being processed, fed to the
  // timebase callback (a sequence-numbered record).
  void Publish(const SyncBlock& block, const SyncLeadReading& lead) noexcept override;

 private:
  JackOwnClient* client_;
};

class LinkLeader final : public SyncLeader {
 public:
  // The session outlives the leader.
  explicit LinkLeader(LinkSession* link) : link_(link) {}
  // Audio thread only: Kestrine's tempo proposed to the session (nothing sent while it is
  // unchanged); Kestrine's start starts the session's transport with bar 1 asked for at
  // that moment, its stop stops it; Link's real-time capture and commit only.
  void Publish(const SyncBlock& block, const SyncLeadReading& lead) noexcept override;

 private:
  LinkSession* link_;
  double lastBpm_ = 0;     // audio thread only
  bool rolling_ = false;  // audio thread only: Kestrine's transport ran in the last block
};
