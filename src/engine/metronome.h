#pragma once
// The metronome: the click loop in slot 0 (one measure of clicks, mono), its level,
// pan and switches, and the two click samples it is built from.
//
// All of these run on the user-interface thread. A rebuilt click loop reaches the
// callback through the slot's pending buffer like any other loop.
#include <cstdint>

// Rebuilds the click loop for a measure of `seconds` holding `beats` beats. Without
// `force` nothing is rebuilt when the measure size and beat count are unchanged.
// False for a measure outside 0.1..240 s or when memory is short (the old clicks stay).
bool Audio_SetMetronomeTime(double seconds, int beats, bool force);

void Audio_SetMetronomeVolume(double v);
void Audio_SetMetronomePan(double p);
void Audio_SetMetronomeRecord(int on);
void Audio_SetMetronomePlayback(int on);
// Passes of the metronome and measures of count-off, clamped to 0..kMetronomeMeasuresMax:
// a count-off of years would hold a recording back for good.
inline constexpr int kMetronomeMeasuresMax = 999;
// MIDI timing clock ticks a beat.
inline constexpr int kClocksPerBeat = 24;
void Audio_SetMetronomeMax(int n);
void Audio_SetMetronomeCountoff(int n);
void Audio_SetContinuousMetronome(int on);

double Audio_GetMetronomeVolume();
double Audio_GetMetronomePan();
int Audio_GetMetronomeRecord();
int Audio_GetMetronomePlayback();
int Audio_GetMetronomeMax();
int Audio_GetMetronomeCountoff();
int Audio_GetContinuousMetronome();
int32_t Audio_GetFramesPerBeat();

enum ClickSample : int { ClickBeat = 0, ClickAccent = 1 };

// Takes over a loaded click sample (from Audio_AllocBuffer; the engine owns it from
// now on and frees the sample it replaces). `bytes` is the buffer's size, `frames` its
// length in frames, `channels` 1 or 2. The click loop keeps its old clicks until the
// caller rebuilds it with Audio_SetMetronomeTime(..., true). False (and the buffer
// freed) for an invalid sample.
bool Audio_SetClickSample(ClickSample which, float* buffer, uint32_t bytes, uint32_t frames,
                          uint32_t channels);
// Drops a click sample: the metronome falls back to synthetic clicks at its next rebuild.
void Audio_ClearClickSample(ClickSample which);
