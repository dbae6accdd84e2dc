#pragma once
// The three ways a track is numbered, kept apart by type:
//   EngineSlot   0..8, the engine's slot (0 is the metronome click track);
//   StripIndex   0..7, a track strip (Track 1..8 on screen);
//   ActionTrack  0..7 a strip, 8 or more "the current track", as triggers and posted
//                commands carry it.
// Each numbering converts to the next in exactly one place (strips/track_strips.h).
struct EngineSlot {
  int value = -1;
};
struct StripIndex {
  int value = -1;
  bool Valid() const { return value >= 0 && value < 8; }
  int Number() const { return value + 1; }  // "Track %d"
};
struct ActionTrack {
  int value = 0;
};

inline constexpr int kStripCount = 8;
inline constexpr int kActionCurrentTrack = 8;
