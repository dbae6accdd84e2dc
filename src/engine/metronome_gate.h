#pragma once
// The metronome inside the stream callback: whether the click track sounds in this
// buffer, and the pass counting and beat hook on its new frames.
#include <cstdint>

struct AudioEngine;
struct LoopTrack;

// Recomputes the metronome track's `active` at the start of a buffer (transport running).
void Metronome_UpdateActive(AudioEngine* engine, LoopTrack* track, int32_t state);

// Bookkeeping for a new frame of the metronome track at `position`. Returns false when
// the metronome has just stopped: it is silent for the rest of the buffer.
bool Metronome_NewFrame(AudioEngine* engine, LoopTrack* track, int32_t position, int32_t state);

// True while a count-off holds the other tracks still (recording with the metronome on).
bool Metronome_CountoffRunning(const AudioEngine* engine, int32_t state);
