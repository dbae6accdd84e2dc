#include "audio_io/sync_leaders.h"

void JackTransportLeader::Publish(const SyncBlock& block, const SyncLeadReading& lead) noexcept {
  // The transport's position belongs to the period being processed, not to when it is heard.
  client_->FeedTransport(lead.bpm, lead.beatsPerBar, lead.beat, block.timeNs - block.outputLatencyNs);
}

void LinkLeader::Publish(const SyncBlock& block, const SyncLeadReading& lead) noexcept {
  const bool changed = rolling_ != lead.rolling || lead.started;  // started, resumed or stopped
  rolling_ = lead.rolling;
  if (lead.bpm == lastBpm_ && !changed) return;  // nothing to tell: no clock read
  const int64_t host = link_->MicrosAtSteadyNs(block.timeNs);
  if (lead.bpm != lastBpm_) {
    link_->CommitTempoFromAudio(lead.bpm, host);
    lastBpm_ = lead.bpm;
  }
  if (changed) link_->SetPlayingFromAudio(lead.rolling, lead.started, host, lead.beatsPerBar);
}
