#pragma once
// The eight track strips as one part of the application: each strip's record beside the
// engine's track (its slot, switches, name, directory, volume position, empty flag), the
// record track, the global half-speed and reverse switches, the feedback knob and the
// panel's name fields. The three track numberings convert here.
//
// User-interface thread only.
#include <cstddef>
#include <string>

#include "app/model/track_numbers.h"

struct LoopStrip {
  int slot = -1;
  bool mute = true;
  bool solo = false;
  bool reverse = false;
  bool slow = false;
  std::string name;       // without extension, at most kMaxNameBytes
  std::string directory;  // of the track's WAV file, at most 259 characters
  int volume = 127;       // 0..127
  int pan = 63;           // 0..127
  int effectsMix = 0;     // 0..127
  bool effects = false;
  int submix = 0;         // 0 A, 1 B
  bool empty = true;
};

struct TrackStrips {
  LoopStrip strips[kStripCount];
  int current = 0;  // strip index 0..7 (the record track)
  bool globalReverse = false;
  bool globalSlow = false;
  int feedback = 114;  // record feedback knob 0..127
  // The name fields as typed; a name field differing from its strip's name is taken when
  // the session is saved (LoopStrip_TakeNameField).
  std::string nameFields[kStripCount];
};

// ActionTrack -> StripIndex: 8 or more means the current strip.
StripIndex TrackStrips_StripOfAction(const TrackStrips* tracks, ActionTrack track);
// StripIndex -> EngineSlot: the slot the strip drives (-1 for an invalid strip).
EngineSlot TrackStrips_SlotOfStrip(const TrackStrips* tracks, StripIndex strip);
// EngineSlot -> StripIndex: the strip driving the slot (-1 for the metronome or none).
StripIndex TrackStrips_StripOfSlot(const TrackStrips* tracks, EngineSlot slot);
// The engine slot of the record track.
inline int TrackStrips_CurrentSlot(const TrackStrips* tracks) { return tracks->strips[tracks->current].slot; }
