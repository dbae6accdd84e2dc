#pragma once
// The callback's body below Audio_ProcessStream, for the sync follower that splits a
// block where a bar begins. Audio thread only.
struct AudioEngine;

// Renders `frames` frames (any number; cut into pieces of at most MAX_FRAMES) whose first
// frame is frame `offset` of the callback's buffer (the MIDI clock hook counts from there).
void Audio_ProcessFrames(AudioEngine* engine, const float* input, float* output, unsigned long frames,
                         unsigned long offset);
