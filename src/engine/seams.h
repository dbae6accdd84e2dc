#pragma once
// Click-free seams: short crossfades wherever a track's sound would otherwise jump. A
// track whose gain changes (mute, solo, volume) glides to the new gain; a track that
// starts sounding fades in; a head that jumps, changes rate or stops leaves a tail that
// keeps playing (and recording) from where it was while fading out; the input fades in
// where recording starts and out where it ends, so the take recorded past the loop end
// (or past an insert pass) fades into the loop start.
//
// Everything here is fixed-size state inside the engine record: the callback never
// needs memory of its own for a seam, and nothing is reserved per loop.
#include <cstdint>

inline constexpr int MAX_SEAM_MILLISECONDS = 50;

// A head fading out after its track moved on. Audio thread only.
struct SeamTail {
  float* buffer = nullptr;  // plays only while this is still the slot's buffer
  int32_t capacity = 0;     // frames that buffer holds (the tail may run past the loop end)
  int32_t channels = 2;
  double exact = 0.0;
  int32_t position = 0;
  int32_t lastPosition = 0;
  double rate = 1.0;
  int32_t length = 0;  // the loop's length then: the write point wraps inside it
  int32_t begin = 0;   // the head wraps inside [begin, end)
  int32_t end = 0;
  double gain[2] = {0.0, 0.0};
  double wet = 0.0;
  double dry = 1.0;
  bool sends = false;
  double recordLevel = 0.0;  // the input's level when the tail began: 0 when it only plays
  double feedback = 1.0;
  int64_t latencyFrames = 0;
  int32_t left = 0;  // frames of the fade still to play
  int32_t total = 0;
};

// Where and how the callback left a track at the end of its last piece, and the fades
// under way. Audio thread only.
struct TrackSeam {
  bool sounding = false;  // its head played (audibly or not) in the last piece
  float* buffer = nullptr;
  int32_t capacity = 0;
  int32_t channels = 2;
  double exact = 0.0;
  int32_t position = 0;
  int32_t lastPosition = 0;
  double rate = 1.0;
  int32_t length = 0;
  int32_t begin = 0;
  int32_t end = 0;
  double wet = 0.0;
  double dry = 1.0;
  bool sends = false;
  double feedback = 1.0;
  int64_t latencyFrames = 0;

  double target[2] = {0.0, 0.0};  // the gains the track asked for
  double gain[2] = {0.0, 0.0};    // the gains it plays at now
  int32_t rampLeft = 0;           // frames until `gain` reaches `target`
  double rampStep[2] = {0.0, 0.0};  // added to `gain` each frame until then
  double recordLevel = 0.0;       // 0..1: how much input lands, how far the feedback fades
  SeamTail tail;
};

// Sets the crossfade length (0..MAX_SEAM_MILLISECONDS; 0 renders exactly as without
// seams). User-interface thread.
void Audio_SetSeamCrossfade(int milliseconds);
int Audio_GetSeamCrossfade();

// Waits until no fade is still writing input into a loop (a punch-out's last frames), so
// that a snapshot of the take sees them. Returns at once without a running stream; false
// after a generous timeout. User-interface thread.
bool Audio_WaitForSeamRecording();
