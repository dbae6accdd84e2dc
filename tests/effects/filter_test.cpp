// The resonant filter and its LFO: response, stability, the dither cycle, the engine setters.
#include <gtest/gtest.h>

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
  // 2e-5, 3e-5, 0; louder samples leave the cycle where it is. The units a, b, c share
  // it; ra, rb, rc are fed the replacement values directly.
  StateVariableFilter_ResetDither();
  StateVariableFilter a, b, c, ra, rb, rc;
  for (StateVariableFilter* f : {&a, &b, &c, &ra, &rb, &rc}) Tune(f, 3000.0, 0.0);
  const double outA1 = StateVariableFilter_Process(&a, 1e-5);   // -3e-5
  const double outB1 = StateVariableFilter_Process(&b, 0.0);    // -2e-5
  const double outA2 = StateVariableFilter_Process(&a, 0.25);   // as it is
  StateVariableFilter_Process(&a, -1e-6);                       // 0
  const double outB2 = StateVariableFilter_Process(&b, 0.0);    // 2e-5
  const double outC = StateVariableFilter_Process(&c, 0.0);     // 3e-5
  EXPECT_EQ(outA1, StateVariableFilter_Process(&ra, -3e-5));
  EXPECT_EQ(outB1, StateVariableFilter_Process(&rb, -2e-5));
  EXPECT_EQ(outA2, StateVariableFilter_Process(&ra, 0.25));
  EXPECT_EQ(outB2, StateVariableFilter_Process(&rb, 2e-5));
  EXPECT_EQ(outC, StateVariableFilter_Process(&rc, 3e-5));
  StateVariableFilter_ResetDither();
  for (int mode = 0; mode < 4; ++mode) {
    StateVariableFilter f;
    Tune(&f, 1000.0, 0.2, mode);
    for (int n = 0; n < 4800; ++n) ASSERT_NE(StateVariableFilter_Process(&f, 0.0), 0.0) << mode << " " << n;
  }
}

TEST(StateVariableFilter, GoldenOutputOfEachMode) {
  // Regenerate only on purpose: these pin the sound of the filter.
  const double expected[4][6] = {
      {0.00136882218, 0.011407637, 0.0276834859, 0.0531020359, 0.0900298588, 0.138428966},
      {0.0308862401, 0.0552987847, 0.0869738304, 0.129823815, 0.174939712, 0.212594001},
      {0.156122036, 0.0721628157, 0.136426753, 0.171822979, 0.171660208, 0.133997103},
      {0.157490858, 0.0835704527, 0.164110239, 0.224925015, 0.261690067, 0.272426069},
  };
  StateVariableFilter_ResetDither();
  for (int mode = 0; mode < 4; ++mode) {
    StateVariableFilter f;
    Tune(&f, 2000.0, 0.6, mode);
    for (int n = 0; n < 6; ++n)
      EXPECT_NEAR(StateVariableFilter_Process(&f, TestSignal(n, 0)), expected[mode][n], 1e-8)
          << "mode " << mode << " sample " << n;
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
  const struct {
    double tone, hz, resonance;
    int mode;
    double rate, low, high;
    const char* what;
  } cases[] = {
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

// ---- Engine operations and the LFO step ----

using FilterEngineTest = EffectsEngineTest;

TEST_F(FilterEngineTest, SettersClampRefuseAndReachTheUnits) {
  Audio_SetFilterFrequency(0, 30000.0);
  EXPECT_EQ(Audio_GetFilterFrequency(0), 24000.0);
  Audio_SetFilterFrequency(1, -5.0);
  EXPECT_EQ(Audio_GetFilterFrequency(1), 0.0);
  Audio_SetFilterResonance(0, 1.5);
  Audio_SetFilterLfoRate(1, 250.0);
  EXPECT_EQ(Audio_GetFilterLfoRate(1), 100.0);
  Audio_SetFilterLfoDepth(0, -1.0);
  EXPECT_EQ(Audio_GetFilterLfoDepth(0), 0.0);
  EXPECT_EQ(Audio_SetFilterFrequency(2, 100.0), 0);
  EXPECT_EQ(Audio_SetFilterResonance(-1, 0.5), 0);
  EXPECT_EQ(Audio_SetFilterMode(4) + Audio_SetFilterMode(-1), 0);
  EXPECT_EQ(Audio_SetFilterMode(2), 1);
  EXPECT_EQ(StateVariableFilter_GetParameter(&engine()->filter[1], FilterParamMode), 2);

  Audio_UpdateFilterLfo(engine(), 256);
  const StateVariableFilter& unit = engine()->filter[0];
  EXPECT_EQ(unit.frequency, 24000.0);
  EXPECT_EQ(unit.f, 0.99);
  EXPECT_EQ(unit.resonance, 1.0);  // clamped from 1.5
  EXPECT_EQ(unit.inputGain, 0.0);
}

TEST_F(FilterEngineTest, LfoTriangleTakesTwoOverRateSecondsAndResetsToZero) {
  // 512 frames at 32768 Hz with rate 1: 1/64 of the way per step, exact in binary.
  engine()->sampleRate = 32768.0;
  Audio_SetFilterLfoRate(0, 1.0);
  Audio_SetFilterLfoRate(1, 0.0);  // frozen
  FilterLfo& lfo = engine()->filterLfo[0];
  auto step = [&](int times) {
    for (int i = 0; i < times; ++i) Audio_UpdateFilterLfo(engine(), 512);
  };
  step(64);
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
