// Leading with Kestrine's own tempo: its position at each block, handed to the leaders.
#include "engine/sync_lead.h"

#include "engine/audio.h"
#include "engine/sync_follow.h"
#include "engine/transport.h"

void SyncLead_Set(AudioEngine* e, int slot, SyncLeader* leader) {
  if (!e || slot < 0 || slot >= kSyncLeaders) return;
  SyncLead& l = e->lead;
  SyncLeader* old = l.leaders[slot].exchange(leader);
  int count = 0;
  for (auto& p : l.leaders) count += p.load() ? 1 : 0;
  l.attached.store(count);
  if (old && old != leader) Audio_WaitForCallbackCycle();
}

void SyncLead_Publish(AudioEngine* e, unsigned long frames) {
  SyncLead& l = e->lead;
  const double sampleRate = e->sampleRate;
  const int32_t state = e->state.load();
  const bool rolling = state != Stopped && state != Paused;
  if (state == Stopped) l.counter = 0;

  const int32_t beats = e->metronomeBeats;
  const int32_t perBar = beats > 0 ? beats : 4;
  const int32_t measure = e->framesPerMeasure;
  // The click loop's measure is exact; a beat of it is the tempo Kestrine plays at.
  const double framesPerBeat = beats > 0 && measure > 0 ? static_cast<double>(measure) / beats : e->framesPerBeat.load();
  SyncLeadReading r;
  r.beatsPerBar = perBar;
  r.bpm = framesPerBeat > 0 ? sampleRate * 60.0 / framesPerBeat : 120.0;
  r.beat = framesPerBeat > 0 ? static_cast<double>(l.counter) / framesPerBeat : 0.0;
  r.rolling = rolling;
  r.started = rolling && !l.wasRolling && l.counter == 0;

  SyncBlock block;
  block.outputLatencyNs = e->sync.outputLatencyNs;
  block.timeNs = SyncFollow_BlockTime(e->sync, l.frame, frames, sampleRate, &l.lastTimeNs, &l.lastFrames) +
                 block.outputLatencyNs;
  block.frame = l.frame;
  block.frames = static_cast<uint32_t>(frames);
  block.sampleRate = sampleRate;
  for (auto& p : l.leaders)
    if (SyncLeader* leader = p.load(std::memory_order_acquire)) leader->Publish(block, r);

  l.wasRolling = rolling;
  if (rolling) l.counter += frames;
  l.frame += frames;
}
