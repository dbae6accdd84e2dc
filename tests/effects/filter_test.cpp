// The resonant filter and its LFO: response, stability, the dither cycle, the engine setters.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

#include "effects/filter_lfo.h"
#include "effects/state_variable_filter.h"
#include "engine/effects_chain.h"
#include "effects_fixture.h"

namespace {

void Tune(StateVariableFilter* f, double hz, double resonance, int mode = FilterLowPass) {
  StateVariableFilter_Init(f);
  StateVariableFilter_Configure(f, hz, resonance, 48000.0);
  StateVariableFilter_SetParameter(f, FilterParamMode, mode);
}

TEST(StateVariableFilter, ParametersReadBackAndBadModesAndForeignRecordsAreRefused) {
  StateVariableFilter f, other;
  Tune(&f, 1000.0, 0.25, FilterNotch);
  EXPECT_EQ(StateVariableFilter_SetParameter(&f, FilterParamMode, 4), 0);
  EXPECT_EQ(StateVariableFilter_SetParameter(&f, FilterParamMode, -1), 0);
  const double readBack[] = {FilterNotch, 1000.0, 0.25, 48000.0};
  for (int p : {FilterParamMode, FilterParamFrequency, FilterParamResonance, FilterParamSampleRate})
    EXPECT_EQ(StateVariableFilter_GetParameter(&f, p), readBack[p]) << p;
  Tune(&other, 1000.0, 0.0);
  other.kind = 1;  // the layout a delay line shares
  EXPECT_EQ(StateVariableFilter_Init(&other), 0);
  EXPECT_EQ(StateVariableFilter_SetParameter(&other, FilterParamFrequency, 50.0), 0);
  EXPECT_EQ(other.frequency, 1000.0);
  EXPECT_EQ(StateVariableFilter_Process(&other, 0.5), 0.0);
}

TEST(StateVariableFilter, DitherCycleIsSharedAdvancesOnlyWhenUsedAndSilenceNeverGivesZeros) {
  // Near-silent samples take the next step of one program-wide cycle -3e-5, -2e-5, 0,
  // 2e-5, 3e-5, 0; louder samples leave the cycle where it is. Units 0 to 2 share it;
  // units 3 to 5 are fed what each of them should have heard.
  StateVariableFilter_ResetDither();
  StateVariableFilter u[6];
  for (StateVariableFilter& f : u) Tune(&f, 3000.0, 0.0);
  const struct { int unit; double in, heard; } steps[] = {
      {0, 1e-5, -3e-5}, {1, 0.0, -2e-5}, {0, 0.25, 0.25}, {0, -1e-6, 0.0}, {1, 0.0, 2e-5}, {2, 0.0, 3e-5}};
  for (const auto& s : steps) {
    const double out = StateVariableFilter_Process(&u[s.unit], s.in);
    // A zero fed to a reference would take a step of the cycle itself.
    if (s.heard != 0.0) {
      EXPECT_EQ(out, StateVariableFilter_Process(&u[s.unit + 3], s.heard)) << s.unit << " " << s.in;
    }
  }
  StateVariableFilter_ResetDither();
  for (int mode = 0; mode < 4; ++mode) {
    StateVariableFilter f;
    Tune(&f, 1000.0, 0.2, mode);
    for (int n = 0; n < 4800; ++n) ASSERT_NE(StateVariableFilter_Process(&f, 0.0), 0.0) << mode << " " << n;
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
      {1000, 1000, 0, FilterLowPass, 48000, 0.45, 0.55, "no resonance: half at the cutoff"},
      {1000, 1000, 0, FilterLowPass, 96000, 0.45, 0.55, "the same at 96000 Hz"},
      {1000, 1000, 0.5, FilterLowPass, 48000, 2.0, 2.7, "resonance 0.5 raises a peak"},
      {15000, 24000, 0, FilterLowPass, 48000, 0.0, 1.5, "a cutoff beyond the tuning limit stays stable"},
      {15000, 24000, 0.95, FilterBandPass, 48000, 0.0, 1.5, "also near full resonance"},
  };
  for (const auto& c : cases) {
    const double g = gain(c.tone, c.hz, c.resonance, c.mode, c.rate);
    EXPECT_GE(g, c.low) << c.what;
    EXPECT_LE(g, c.high) << c.what;
  }
}

using FilterEngineTest = EffectsEngineTest;

TEST_F(FilterEngineTest, SettersClampRefuseAndReachTheUnits) {
  Audio_SetFilterFrequency(0, 30000.0);
  Audio_SetFilterFrequency(1, -5.0);
  Audio_SetFilterResonance(0, 1.5);
  Audio_SetFilterLfoRate(1, 250.0);
  Audio_SetFilterLfoDepth(0, -1.0);
  EXPECT_EQ((std::array{Audio_GetFilterFrequency(0), Audio_GetFilterFrequency(1), Audio_GetFilterLfoRate(1),
                        Audio_GetFilterLfoDepth(0)}), (std::array{24000.0, 0.0, 100.0, 0.0}));
  EXPECT_EQ(Audio_SetFilterFrequency(2, 100.0) + Audio_SetFilterResonance(-1, 0.5) + Audio_SetFilterMode(4) +
                Audio_SetFilterMode(-1), 0);
  EXPECT_EQ(Audio_SetFilterMode(2), 1);
  EXPECT_EQ(StateVariableFilter_GetParameter(&engine()->filter[1], FilterParamMode), 2);
  // The next step takes the settings to the units, resonance clamped to 1.
  Audio_UpdateFilterLfo(engine(), 256);
  const StateVariableFilter& unit = engine()->filter[0];
  EXPECT_EQ((std::array{unit.frequency, unit.f, unit.resonance, unit.inputGain}), (std::array{24000.0, 0.99, 1.0, 0.0}));
}

TEST_F(FilterEngineTest, LfoTriangleStepsOnceACallbackTakesTwoOverRateSecondsAndResetsToZero) {
  // 512 frames at 32768 Hz with rate 1: 1/64 of the way per step, exact in binary.
  engine()->sampleRate = 32768.0;
  Audio_SetFilterFrequency(0, 100.0);
  Audio_SetFilterLfoRate(0, 1.0);
  Audio_SetFilterLfoDepth(0, 0.5);
  Audio_SetFilterLfoRate(1, 0.0);  // frozen
  FilterLfo& lfo = engine()->filterLfo[0];
  Run(16384, 512);  // the callback steps it even with the filter off
  EXPECT_EQ(lfo.phase.load(), 0.5);
  EXPECT_EQ(engine()->filter[0].frequency, 100.0);  // the LFO off: the set frequency
  Audio_EnableFilterLfo(1);
  Audio_UpdateFilterLfo(engine(), 0);
  EXPECT_DOUBLE_EQ(engine()->filter[0].frequency, 200.0);  // depth 1 would sweep 4 octaves
  auto step = [&](int times) {
    for (int i = 0; i < times; ++i) Audio_UpdateFilterLfo(engine(), 512);
  };
  step(32);
  EXPECT_EQ(lfo.phase.load(), 1.0);  // one second up: the top
  step(1);
  EXPECT_EQ(lfo.phase.load(), 1.0);  // clipped, turning down
  EXPECT_EQ(lfo.direction.load(), -1.0);
  step(32);
  EXPECT_EQ(lfo.phase.load(), 0.5);  // down at the same rate
  EXPECT_EQ(engine()->filterLfo[1].phase.load(), 0.0);
  // A reset puts the phases to zero keeping the directions: the falling LFO turns at the
  // next step.
  engine()->filterLfo[1].phase = 0.25;
  EXPECT_EQ(Audio_ResetFilterLfo(), 1);
  EXPECT_EQ(engine()->filterLfo[1].phase.load(), 0.0);
  step(1);
  EXPECT_EQ(lfo.phase.load(), 0.0);
  EXPECT_EQ(lfo.direction.load(), 1.0);
}

}  // namespace
