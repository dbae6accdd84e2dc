#pragma once
// The effects blocks as the stream callback runs them on the effects bus. The callback
// decides when each stage runs (enable flags, order, skip rules); these do the DSP.
struct AudioEngine;

// Advances both filter LFOs by one callback piece of `frames` frames.
void Audio_UpdateFilterLfo(AudioEngine* engine, unsigned long frames);
// One stereo bus frame through filter 0 (left) and filter 1 (right), in place.
void EffectsChain_FilterFrame(AudioEngine* engine, float* frame);
// One stereo bus frame through the stereo delay (lines 0 and 1), in place.
void EffectsChain_DelayFrame(AudioEngine* engine, float* frame);
// The reverb over the whole interleaved stereo bus, in place.
void EffectsChain_Reverb(AudioEngine* engine, float* bus, unsigned long frames);
