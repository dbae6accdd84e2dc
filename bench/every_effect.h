#pragma once
// The busy effects chain the benchmarks and the soak run measure: filter with LFO, delay
// and reverb all on, with settings that keep every stage working.
#include "engine/audio.h"
#include "engine/effects_ops.h"

inline void Bench_SwitchOnEveryEffect() {
  for (int c = 0; c < 2; ++c) {
    Audio_SetFilterFrequency(c, 1200.0);
    Audio_SetFilterResonance(c, 0.6);
    Audio_SetFilterLfoRate(c, 0.5);
    Audio_SetFilterLfoDepth(c, 0.5);
    Audio_SetDelayTime(c, c ? 0.375 : 0.25);
    Audio_SetDelayFeedback(c, 0.6);
    Audio_SetDelayMix(c, 0.5);
  }
  Audio_EnableFilter(1);
  Audio_EnableFilterLfo(1);
  Audio_EnableDelay(1);
  Audio_SetReverbRoomSize(0.8);
  Audio_SetReverbWet(0.3);
  Audio_SetReverbDry(0.3);
  Audio_EnableReverb(1);
}
