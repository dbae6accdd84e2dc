// The effects blocks as the stream callback runs them on the effects bus (audio thread).
#include "engine/effects_chain.h"

#include "engine/audio.h"

void Audio_UpdateFilterLfo(AudioEngine* e, unsigned long frames) {
  const double sampleRate = e->sampleRate;
  for (int c = 0; c < 2; ++c) {
    FilterLfo& lfo = e->filterLfo[c];
    FilterLfo_Advance(&lfo, frames, sampleRate);
    // Runs whether or not the filter is enabled, so the unit always holds the current
    // cutoff. The cutoff may rise above half the sample rate; the coefficient update
    // limits it.
    const double cutoff = FilterLfo_Cutoff(&lfo, e->filterFrequency[c]);
    StateVariableFilter_Configure(&e->filter[c], cutoff, e->filterResonance[c], sampleRate);
  }
}

void EffectsChain_FilterFrame(AudioEngine* e, float* frame) {
  frame[0] = static_cast<float>(StateVariableFilter_Process(&e->filter[0], frame[0]));
  frame[1] = static_cast<float>(StateVariableFilter_Process(&e->filter[1], frame[1]));
}

void EffectsChain_DelayFrame(AudioEngine* e, float* frame) {
  DelayLine_ProcessStereo(&e->delay[0], &e->delay[1], frame);
}

void EffectsChain_Reverb(AudioEngine* e, float* bus, unsigned long frames) {
  ReverbModel_Process(&e->reverb, bus, bus + 1, bus, bus + 1, frames, 2);
}
