#include "app/model/sync_follower.h"

#include <cmath>
#include <cstdio>

#include "control/midi_clock_in.h"
#include "control/midi_ports.h"
#include "engine/audio.h"
#include "engine/sync_follow.h"

SyncFollower::SyncFollower() = default;
SyncFollower::~SyncFollower() = default;

int SyncSource_FromWord(const std::string& word) {
  if (word == "internal") return SyncInternal;
  if (word == "midi") return SyncMidiClock;
  if (word == "jack") return SyncJackTransport;
  if (word == "link") return SyncAbletonLink;
  return -1;
}

std::string SyncFollower_Start(SyncFollower* f, AudioEngine* engine, int kind, int startOn) {
  SyncFollower_Stop(f, engine);
  if (engine) engine->sync.startOnBeat = startOn == SyncStartOnBeat ? 1 : 0;
  switch (kind) {
    case SyncMidiClock:
      f->midiClock = std::make_unique<MidiClockIn>();
      MidiPorts_UseClockIn(f->midiClock.get());
      if (engine) SyncFollow_Attach(engine, f->midiClock.get());
      f->running = SyncMidiClock;
      f->status = "MIDI clock: waiting";
      return {};
    case SyncJackTransport:
    case SyncAbletonLink: {
      std::string text = std::string("Following ") + kSyncSourceNames[kind] +
                         " is not available in this build.\nKestrine keeps its own tempo (Internal).";
      return text;
    }
    default:
      return {};
  }
}

void SyncFollower_Stop(SyncFollower* f, AudioEngine* engine) {
  if (engine) SyncFollow_Detach(engine);
  MidiPorts_UseClockIn(nullptr);
  f->midiClock.reset();
  f->running = SyncInternal;
  f->following = false;
  f->smoothedTempo = 0.0;
  f->shownTempo = 0.0;
  f->lastBlockFrame = 0;
  f->outOfRangeSeen = f->lossesSeen = 0;
  f->status.clear();
}

SyncTick SyncFollower_Tick(SyncFollower* f, const AudioEngine* engine) {
  SyncTick tick;
  if (f->running == SyncInternal || !engine) return tick;
  f->following = engine->sync.following != 0;
  if (f->midiClock) {
    const uint32_t outOfRange = f->midiClock->OutOfRangeEpisodes();
    if (outOfRange != f->outOfRangeSeen) {
      f->outOfRangeSeen = outOfRange;
      char text[96];
      std::snprintf(text, sizeof text, "MIDI clock at %.0f BPM ignored (20-300 BPM followed)", f->midiClock->OutOfRangeBpm());
      f->status = text;
    }
    const uint32_t losses = f->midiClock->Losses();
    if (losses != f->lossesSeen) {
      f->lossesSeen = losses;
      f->status = "MIDI clock lost: playing on at the last tempo";
    }
  }
  const uint64_t frame = engine->sync.blockFrame;
  const double seconds =
      engine->sampleRate > 0 && frame > f->lastBlockFrame ? (frame - f->lastBlockFrame) / engine->sampleRate : 0.0;
  f->lastBlockFrame = frame;
  if (!f->following) return tick;
  const double bpm = engine->sync.bpm;
  // About half a second of smoothing: the panel settles on a steady clock's mean tempo.
  const double gain = std::min(1.0, seconds / 0.5);
  f->smoothedTempo = f->smoothedTempo > 0 ? f->smoothedTempo + (bpm - f->smoothedTempo) * gain : bpm;
  const double rounded = std::round(f->smoothedTempo * 10.0) / 10.0;
  // A new tenth is shown once the tempo is well past the halfway mark to it: a tempo that
  // hovers between two tenths does not flicker, and a steady one settles on its own tenth.
  if (rounded != f->shownTempo && (f->shownTempo <= 0 || std::fabs(f->smoothedTempo - f->shownTempo) > 0.075)) {
    f->shownTempo = rounded;
    tick.tempoChanged = true;
    tick.tempo = rounded;
  }
  return tick;
}

std::string SyncFollower_Status(const SyncFollower& f, double loopTempo) {
  if (f.running == SyncInternal) return {};
  if (!f.following) return f.status.empty() ? std::string("MIDI clock: waiting") : f.status;
  char text[96];
  if (loopTempo > 0 && std::fabs(loopTempo - f.shownTempo) >= 0.05)
    std::snprintf(text, sizeof text, "MIDI clock %.1f BPM (loop %.1f)", f.shownTempo, loopTempo);
  else
    std::snprintf(text, sizeof text, "MIDI clock %.1f BPM", f.shownTempo);
  return text;
}
