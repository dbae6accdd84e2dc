#include "app/model/sync_follower.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio_io/jack_own_client.h"
#include "audio_io/jack_transport_source.h"
#include "audio_io/link_session.h"
#include "audio_io/link_sync_source.h"
#include "audio_io/sync_leaders.h"
#include "control/midi_clock_in.h"
#include "control/midi_ports.h"
#include "engine/audio.h"
#include "engine/sync_follow.h"
#include "engine/sync_lead.h"

namespace {

// The source's name at the head of the status line.
const char* Name(int kind) {
  switch (kind) {
    case SyncMidiClock: return "MIDI clock";
    case SyncJackTransport: return "JACK transport";
    case SyncAbletonLink: return "Ableton Link";
    default: return "";
  }
}

// The status line while the source is not followed (yet).
std::string Waiting(const SyncFollower& f) {
  switch (f.running) {
    case SyncJackTransport:
      return f.jackTransport ? "JACK transport: no timebase master, own tempo" : "JACK transport: no JACK server, own tempo";
    case SyncAbletonLink:
      return "Ableton Link: no peers, own tempo";
    default:
      return "MIDI clock: waiting";
  }
}

}  // namespace

SyncFollower::SyncFollower() = default;
SyncFollower::~SyncFollower() = default;

int SyncSource_FromWord(const std::string& word) {
  if (word == "internal") return SyncInternal;
  if (word == "midi") return SyncMidiClock;
  if (word == "jack") return SyncJackTransport;
  if (word == "link") return SyncAbletonLink;
  return -1;
}

namespace {

// Kestrine's own tempo published: the JACK timebase master, a Link peer.
void StartLeading(SyncFollower* f, AudioEngine* engine, const SyncChoice& c) {
  std::string error;
  if (c.leadJack && c.jack) {
    if (c.jack->Acquire("Kestrine", &error) && c.jack->LeadTransport(true)) {
      f->jack = c.jack;
      f->jackLeader = std::make_unique<JackTransportLeader>(c.jack);
      if (engine) SyncLead_Set(engine, 0, f->jackLeader.get());
    } else {
      c.jack->Release();
    }
  }
  if (c.leadLink) {
    LinkSession* link = c.link;
    if (!link) {
      f->ownLink = std::make_unique<LinkSession>(c.tempo);
      f->ownLink->Enable(true);
      f->ownLink->EnableStartStopSync(true);
      link = f->ownLink.get();
    }
    f->link = link;
    f->linkLeader = std::make_unique<LinkLeader>(link);
    if (engine) SyncLead_Set(engine, 1, f->linkLeader.get());
  }
}

}  // namespace

void SyncFollower_Start(SyncFollower* f, AudioEngine* engine, const SyncChoice& c) {
  SyncFollower_Stop(f, engine);
  const int kind = c.kind, startOn = c.startOn, beatsPerBar = c.beatsPerBar;
  const double tempo = c.tempo;
  JackOwnClient* jack = c.jack;
  LinkSession* link = c.link;
  if (engine) engine->sync.startOnBeat = startOn == SyncStartOnBeat ? 1 : 0;
  SyncSource* source = nullptr;
  switch (kind) {
    case SyncMidiClock:
      f->midiClock = std::make_unique<MidiClockIn>();
      MidiPorts_UseClockIn(f->midiClock.get());
      source = f->midiClock.get();
      break;
    case SyncJackTransport: {
      // No server: nothing to read; the status line says so and the own tempo stays.
      std::string error;
      if (jack && jack->Acquire("Kestrine", &error)) {
        f->jack = jack;
        f->jackTransport = std::make_unique<JackTransportSource>(jack);
        source = f->jackTransport.get();
      } else if (jack) {
        jack->Release();
      }
      break;
    }
    case SyncAbletonLink:
      // A session never fails to start: without a network it finds no peers.
      if (!link) {
        f->ownLink = std::make_unique<LinkSession>(tempo);
        f->ownLink->Enable(true);
        f->ownLink->EnableStartStopSync(true);
        link = f->ownLink.get();
      }
      f->link = link;
      f->linkSource = std::make_unique<LinkSyncSource>(link, beatsPerBar);
      source = f->linkSource.get();
      break;
    default:
      StartLeading(f, engine, c);
      return;
  }
  f->running = kind;
  if (engine && source) SyncFollow_Attach(engine, source);
  f->status = Waiting(*f);
}

void SyncFollower_Stop(SyncFollower* f, AudioEngine* engine) {
  // The engine lets go first: no callback reads a source once it is destroyed.
  if (engine) {
    SyncFollow_Detach(engine);
    SyncLead_Set(engine, 0, nullptr);
    SyncLead_Set(engine, 1, nullptr);
  }
  f->jackLeader.reset();
  f->linkLeader.reset();
  if (f->jack && f->jack->LeadsTransport()) f->jack->LeadTransport(false);
  MidiPorts_UseClockIn(nullptr);
  f->midiClock.reset();
  f->jackTransport.reset();
  if (f->jack) f->jack->Release();
  f->jack = nullptr;
  f->linkSource.reset();
  f->link = nullptr;
  f->ownLink.reset();
  f->running = SyncInternal;
  f->following = false;
  f->smoothedTempo = 0.0;
  f->shownTempo = 0.0;
  f->lastBlockFrame = 0;
  f->leadWasRunning = false;
  f->outOfRangeSeen = f->lossesSeen = 0;
  f->status.clear();
}

SyncTick SyncFollower_Tick(SyncFollower* f, const AudioEngine* engine, int beatsPerBar) {
  SyncTick tick;
  if (f->running == SyncInternal || !engine) return tick;
  if (f->linkSource) f->linkSource->SetQuantum(beatsPerBar);
  const bool wasFollowing = f->following;
  f->following = engine->sync.following != 0;
  if (wasFollowing && !f->following && !f->midiClock) f->status = Waiting(*f);
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

void SyncFollower_LeadTick(SyncFollower* f, const AudioEngine* engine) {
  if (!engine) return;
  const int32_t state = engine->state.load();
  const bool running = state != Stopped && state != Paused;
  if (f->jackLeader && f->jack && running != f->leadWasRunning) {
    if (running)
      f->jack->StartTransport();
    else
      f->jack->StopTransport();
  }
  f->leadWasRunning = running;
}

std::string SyncFollower_Status(const SyncFollower& f, double loopTempo) {
  if (f.running == SyncInternal) return {};
  if (!f.following) return f.status.empty() ? Waiting(f) : f.status;
  char text[96];
  if (loopTempo > 0 && std::fabs(loopTempo - f.shownTempo) >= 0.05)
    std::snprintf(text, sizeof text, "%s %.1f BPM (loop %.1f)", Name(f.running), f.shownTempo, loopTempo);
  else
    std::snprintf(text, sizeof text, "%s %.1f BPM", Name(f.running), f.shownTempo);
  return text;
}
