#pragma once
// The triangle LFO that sweeps a filter's cutoff upward in octaves. One per channel.
//
// Threads: rate, depth and enabled are set by the user-interface thread; phase and
// direction are stepped by the audio thread once per callback. A phase reset from the
// user-interface side is requested through `resetPending` so the audio thread cannot
// overwrite it with a phase it computed from the old value. All fields are atomics used
// with relaxed ordering (a stale value lasts one callback at most).
#include <atomic>
#include <cstdint>

struct FilterLfo {
  std::atomic<double> phase{0.0};  // 0..1
  std::atomic<double> rate{0.2};   // triangle half-cycles per second
  std::atomic<double> depth{0.1};  // 0..1, four octaves at 1
  std::atomic<double> direction{1.0};
  std::atomic<uint32_t> enabled{0};
  std::atomic<bool> resetPending{false};
};

// Phase 0, rate 0.2, depth 0.1, rising, disabled.
void FilterLfo_Init(FilterLfo* lfo);
// Advances the triangle by `frames` frames at `sampleRate` (audio thread).
void FilterLfo_Advance(FilterLfo* lfo, unsigned long frames, double sampleRate);
// The cutoff for a set frequency at the current phase: raised by up to four octaves
// while enabled, else the set frequency.
double FilterLfo_Cutoff(const FilterLfo* lfo, double frequency);
// Puts the phase back to 0 (direction unchanged).
void FilterLfo_RequestReset(FilterLfo* lfo);
