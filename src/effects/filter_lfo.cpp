#include "effects/filter_lfo.h"

#include <cmath>

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

void FilterLfo_Init(FilterLfo* lfo) {
  lfo->phase.store(0.0, kRelaxed);
  lfo->rate.store(0.2, kRelaxed);
  lfo->depth.store(0.1, kRelaxed);
  lfo->direction.store(1.0, kRelaxed);
  lfo->enabled.store(0, kRelaxed);
  lfo->resetPending.store(false, kRelaxed);
}

void FilterLfo_Advance(FilterLfo* lfo, unsigned long frames, double sampleRate) {
  double phase = lfo->phase.load(kRelaxed);
  if (lfo->resetPending.exchange(false, std::memory_order_acq_rel)) phase = 0.0;
  double direction = lfo->direction.load(kRelaxed);
  if (sampleRate > 0.0)
    phase += static_cast<double>(frames) / sampleRate * lfo->rate.load(kRelaxed) * direction;
  if (phase > 1.0) {
    phase = 1.0;
    direction = -1.0;
  } else if (phase < 0.0) {
    phase = 0.0;
    direction = 1.0;
  }
  lfo->phase.store(phase, kRelaxed);
  lfo->direction.store(direction, kRelaxed);
}

double FilterLfo_Cutoff(const FilterLfo* lfo, double frequency) {
  if (!lfo->enabled.load(kRelaxed)) return frequency;
  return frequency *
         std::exp2(lfo->depth.load(kRelaxed) * lfo->phase.load(kRelaxed) * 4.0);
}

void FilterLfo_RequestReset(FilterLfo* lfo) {
  lfo->phase.store(0.0, kRelaxed);
  lfo->resetPending.store(true, std::memory_order_release);
}
