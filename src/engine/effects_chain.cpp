#include "engine/effects_chain.h"

// Pass-through until the DSP blocks are wired in.
void Audio_UpdateFilterLfo(AudioEngine*, unsigned long) {}
void EffectsChain_FilterFrame(AudioEngine*, float*) {}
void EffectsChain_DelayFrame(AudioEngine*, float*) {}
void EffectsChain_Reverb(AudioEngine*, float*, unsigned long) {}
