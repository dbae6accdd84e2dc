#pragma once
// Loop length operations: erase, resize (multiply, divide, new loop time), nudge (set
// start point) and trim. Each prepares the new audio on the user-interface thread, keeps
// the undo history (undo.h) and hands the buffer to the callback through pNewBuffer.
#include <cstdint>

enum ResizeMode : int {
  ResizeNewLoopTime = 0,
  ResizeMultiply = 1,
  ResizeDivide = 2,
};

// Silences the whole loop, keeping its length. `undoable` 0 leaves the history alone
// (the session loader). False for an invalid or unused slot.
bool Audio_EraseLoop(int track, int undoable);

// Gives the loop a new length of `seconds` (0.1..240), in whole frames (rounded down). With `inPlace` a shorter length
// reuses the buffer (Divide hides the tail, a later Multiply brings it back); a longer
// one is built by copying the whole old buffer and repeating it. Without `inPlace` the
// first loop is copied and the rest repeats it (`repeat`) or stays silent.
bool Audio_ResizeLoop(int track, double seconds, bool inPlace, uint8_t resync, int mode, bool repeat);

// The user's Multiply and Divide: exactly twice and half the loop's frames, with resync.
// Multiply works in place (a tail hidden by Divide comes back) unless `newBuffer` is set
// ("Max Time" mode), which builds a new buffer holding the loop twice. Divide works in
// place and refuses a half shorter than the shortest loop.
bool Audio_MultiplyLoop(int track, bool newBuffer);
bool Audio_DivideLoop(int track);

// Rotates the loop so that frame `frames` becomes its start (Set Start Point).
bool Audio_NudgeLoop(int track, int32_t frames);

// Cuts the loop down to its edit range, which then becomes the whole loop.
bool Audio_TrimLoop(int track);
