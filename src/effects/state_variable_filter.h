#pragma once
// A resonant state-variable filter (Chamberlin form, run twice per sample) with four
// outputs: low-pass, band-pass, high-pass and notch. One unit per stereo channel.
//
// Threads: the coefficients and states belong to the audio thread (the LFO step sets
// frequency and resonance there once per callback); only the output selection is changed
// by the user-interface thread while the stream runs.
#include <atomic>
#include <cstdint>

enum FilterMode : int32_t {
  FilterLowPass = 0,
  FilterBandPass = 1,
  FilterHighPass = 2,
  FilterNotch = 3,
};

enum FilterParameter : int32_t {
  FilterParamMode = 0,
  FilterParamFrequency = 1,
  FilterParamResonance = 2,
  FilterParamSampleRate = 3,
};

struct StateVariableFilter {
  int32_t kind = 0;  // 0 marks a filter record; every operation refuses any other tag
  double frequency = 19000.0;
  double sampleRate = 48000.0;
  double resonance = 0.0;
  double f = 0.0;          // tuning coefficient
  double damp = 0.0;       // damping coefficient
  double inputGain = 1.0;  // 1 - resonance^2
  double notch = 0.0;
  double low = 0.0;
  double high = 0.0;
  double band = 0.0;
  std::atomic<int32_t> output{FilterLowPass};  // which state is the output (relaxed)
};

// Frequency 19000 Hz, resonance 0, 48000 Hz, states cleared, low-pass. Returns 0 on a
// record that is not a filter.
int StateVariableFilter_Init(StateVariableFilter* filter);
// Sets a FilterParameter; a mode outside 0..3 is refused (0). Frequency, resonance and
// sample rate recompute the coefficients.
int StateVariableFilter_SetParameter(StateVariableFilter* filter, int parameter, double value);
double StateVariableFilter_GetParameter(const StateVariableFilter* filter, int parameter);
// Frequency, resonance and sample rate at once, with one coefficient update.
int StateVariableFilter_Configure(StateVariableFilter* filter, double frequency, double resonance,
                                  double sampleRate);
// One sample through the filter.
double StateVariableFilter_Process(StateVariableFilter* filter, double x);

// Restarts the dither cycle all filter units share (tests: reproducible output).
void StateVariableFilter_ResetDither();
