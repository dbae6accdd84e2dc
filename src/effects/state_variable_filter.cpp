#include "effects/state_variable_filter.h"

#include <cmath>
#include <numbers>

namespace {

// Near-silent input is replaced by a tiny six-step cycle so that the states never decay
// into the denormal range. One cycle for the whole program, advanced only when used.
constexpr double kDither[6] = {-3e-5, -2e-5, 0.0, 2e-5, 3e-5, 0.0};
int ditherStep = 0;

bool IsFilter(const StateVariableFilter* filter) { return filter && filter->kind == 0; }

void UpdateCoefficients(StateVariableFilter* s) {
  s->inputGain = 1.0 - s->resonance * s->resonance;
  s->f = 2.0 * std::sin(std::numbers::pi * s->frequency / (2.0 * s->sampleRate));
  if (s->f > 0.99) s->f = 0.99;
  // The damping must stay below this bound or the recursion becomes unstable.
  double limit = 2.0 / s->f - s->f * 0.5;
  if (limit > 2.0) limit = 2.0;
  s->damp = 2.0 * (1.0 - std::pow(s->resonance, 0.25));
  if (s->damp > limit) s->damp = limit;
}

}  // namespace

void StateVariableFilter_ResetDither() { ditherStep = 0; }

int StateVariableFilter_Init(StateVariableFilter* s) {
  if (!IsFilter(s)) return 0;
  s->frequency = 19000.0;
  s->resonance = 0.0;
  s->sampleRate = 48000.0;
  UpdateCoefficients(s);
  s->notch = s->low = s->high = s->band = 0.0;
  s->output.store(FilterLowPass, std::memory_order_relaxed);
  return 1;
}

int StateVariableFilter_SetParameter(StateVariableFilter* s, int parameter, double value) {
  if (!IsFilter(s)) return 0;
  switch (parameter) {
    case FilterParamMode: {
      if (!(value >= 0.0 && value <= 3.0)) return 0;
      s->output.store(static_cast<int32_t>(value), std::memory_order_relaxed);
      return 1;
    }
    case FilterParamFrequency:
      s->frequency = value;
      break;
    case FilterParamResonance:
      s->resonance = value;
      break;
    case FilterParamSampleRate:
      if (!(value > 0.0)) return 0;
      s->sampleRate = value;
      break;
    default:
      return 0;
  }
  UpdateCoefficients(s);
  return 1;
}

double StateVariableFilter_GetParameter(const StateVariableFilter* s, int parameter) {
  if (!IsFilter(s)) return 0.0;
  switch (parameter) {
    case FilterParamMode:
      return s->output.load(std::memory_order_relaxed);
    case FilterParamFrequency:
      return s->frequency;
    case FilterParamResonance:
      return s->resonance;
    case FilterParamSampleRate:
      return s->sampleRate;
    default:
      return 0.0;
  }
}

int StateVariableFilter_Configure(StateVariableFilter* s, double frequency, double resonance,
                                  double sampleRate) {
  if (!IsFilter(s) || !(sampleRate > 0.0)) return 0;
  s->frequency = frequency;
  s->resonance = resonance;
  s->sampleRate = sampleRate;
  UpdateCoefficients(s);
  return 1;
}

double StateVariableFilter_Process(StateVariableFilter* s, double x) {
  if (!IsFilter(s)) return 0.0;
  if (x > -2e-5 && x < 2e-5) {
    x = kDither[ditherStep];
    if (++ditherStep == 6) ditherStep = 0;
  }
  x *= s->inputGain;
  const int32_t mode = s->output.load(std::memory_order_relaxed);
  const double f = s->f;
  const double damp = s->damp;
  double notch = s->notch, low = s->low, high = s->high, band = s->band;
  double result = 0.0;
  // Two passes per sample double the usable cutoff range; each contributes half.
  for (int pass = 0; pass < 2; ++pass) {
    notch = x - damp * band;
    low = low + f * band;
    high = notch - low;
    band = f * high + band;
    switch (mode) {
      case FilterBandPass:
        result += 0.5 * band;
        break;
      case FilterHighPass:
        result += 0.5 * high;
        break;
      case FilterNotch:
        result += 0.5 * notch;
        break;
      default:
        result += 0.5 * low;
        break;
    }
  }
  s->notch = notch;
  s->low = low;
  s->high = high;
  s->band = band;
  return result;
}
