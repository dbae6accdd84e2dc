// The resonant filter: parameters, the dither cycle, response and stability.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "effects/state_variable_filter.h"

namespace {

void Tune(StateVariableFilter* f, double hz, double resonance, int mode = FilterLowPass) {
  StateVariableFilter_Init(f);
  StateVariableFilter_Configure(f, hz, resonance, 48000.0);
  StateVariableFilter_SetParameter(f, FilterParamMode, mode);
}

TEST(StateVariableFilter, ParametersReadBackAndBadModesAndForeignRecordsAreRefused) {
  StateVariableFilter f, other;
  Tune(&f, 1000.0, 0.25, FilterNotch);
  EXPECT_EQ(StateVariableFilter_SetParameter(&f, FilterParamMode, 4) + StateVariableFilter_SetParameter(&f, FilterParamMode, -1), 0);
  const double readBack[] = {FilterNotch, 1000.0, 0.25, 48000.0};
  for (int p : {FilterParamMode, FilterParamFrequency, FilterParamResonance, FilterParamSampleRate})
    EXPECT_EQ(StateVariableFilter_GetParameter(&f, p), readBack[p]) << p;
  Tune(&other, 1000.0, 0.0);
  other.kind = 1;  // the layout a delay line shares
  EXPECT_EQ(StateVariableFilter_Init(&other) + StateVariableFilter_SetParameter(&other, FilterParamFrequency, 50.0), 0);
  EXPECT_EQ(std::make_pair(other.frequency, StateVariableFilter_Process(&other, 0.5)), std::make_pair(1000.0, 0.0));
}

TEST(StateVariableFilter, NearSilenceIsReplacedByOneSharedDitherCycleThatAdvancesOnlyWhenUsed) {
  // Near-silent samples take the next step of one program-wide cycle -3e-5, -2e-5, 0,
  // 2e-5, 3e-5, 0; louder samples leave the cycle where it is. Units 0 to 2 share it;
  // units 3 to 5 are fed what each of them should have heard.
  StateVariableFilter_ResetDither();
  StateVariableFilter u[6];
  for (StateVariableFilter& f : u) Tune(&f, 3000.0, 0.0);
  const struct { int unit; double in, heard; } steps[] = {
      {0, 1e-5, -3e-5}, {1, 0.0, -2e-5}, {0, 0.25, 0.25}, {0, -1e-6, 0.0}, {1, 0.0, 2e-5}, {2, 0.0, 3e-5},
      {2, 0.0, 0.0}, {1, 1e-5, -3e-5}};  // round the cycle and on
  for (const auto& s : steps) {
    const double out = StateVariableFilter_Process(&u[s.unit], s.in);
    if (s.heard == 0.0) continue;  // a zero fed to a reference would take a step of the cycle itself
    EXPECT_EQ(out, StateVariableFilter_Process(&u[s.unit + 3], s.heard)) << s.unit << " " << s.in;
  }
}

TEST(StateVariableFilter, ResponseFollowsModeCutoffResonanceAndSampleRate) {
  // Steady peak level of a unit sine through a unit tuned to `hz` at `rate`.
  auto gain = [](double tone, double hz, double resonance, int mode, double rate) {
    StateVariableFilter f;
    Tune(&f, hz, resonance, mode);
    StateVariableFilter_SetParameter(&f, FilterParamSampleRate, rate);
    double peak = 0.0;
    for (int n = 0; n < rate; ++n) {
      const double y = StateVariableFilter_Process(&f, std::sin(2.0 * std::numbers::pi * tone * n / rate));
      if (n > rate / 2 && !(std::abs(y) <= peak)) peak = std::abs(y);  // NaN sticks
    }
    return peak;
  };
  const struct { double tone, hz, resonance; int mode; double rate, low, high; const char* what; } cases[] = {
      {100, 1000, 0, FilterLowPass, 48000, 0.9, 1.1, "low pass, below the cutoff"},
      {10000, 1000, 0, FilterLowPass, 48000, 0.0, 0.05, "low pass, above"},
      {100, 1000, 0, FilterHighPass, 48000, 0.0, 0.05, "high pass, below"},
      {10000, 1000, 0, FilterHighPass, 48000, 0.9, 1.1, "high pass, above"},
      {1000, 1000, 0, FilterNotch, 48000, 0.0, 0.1, "notch, at the cutoff"},
      {100, 1000, 0, FilterNotch, 48000, 0.9, 1.1, "notch, away from it"},
      {1000, 1000, 0, FilterBandPass, 48000, 0.3, 1.1, "band pass, at the cutoff"},
      {1000, 1000, 0, FilterLowPass, 48000, 0.45, 0.55, "no resonance: half at the cutoff"},
      {1000, 1000, 0, FilterLowPass, 96000, 0.45, 0.55, "the same at 96000 Hz"},
      {1000, 1000, 0.5, FilterLowPass, 48000, 2.0, 2.7, "resonance 0.5 raises a peak"},
      {15000, 24000, 0, FilterLowPass, 48000, 0.0, 1.5, "a cutoff beyond the tuning limit stays stable"},
      {15000, 24000, 0.95, FilterBandPass, 48000, 0.0, 1.5, "also near full resonance"},
  };
  for (const auto& c : cases) {
    const double g = gain(c.tone, c.hz, c.resonance, c.mode, c.rate);
    EXPECT_TRUE(g >= c.low && g <= c.high) << c.what << ": " << g;
  }
}

}  // namespace
