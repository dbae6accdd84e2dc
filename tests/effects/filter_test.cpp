// The resonant filter and its LFO: coefficients, limits, the dither cycle, modes.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

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

TEST(StateVariableFilter, CoefficientsFollowFrequencyAndResonance) {
  StateVariableFilter f;
  ASSERT_EQ(StateVariableFilter_Init(&f), 1);
  // 19000 Hz at 48000 Hz: 2 sin(pi 19000 / 96000) = 1.1647 is limited to 0.99, and the
  // damping of 2 (resonance 0) to 2 / 0.99 - 0.495.
  EXPECT_DOUBLE_EQ(f.f, 0.99);
  EXPECT_DOUBLE_EQ(f.damp, 2.0 / 0.99 - 0.99 * 0.5);
  EXPECT_DOUBLE_EQ(f.inputGain, 1.0);
  EXPECT_EQ(StateVariableFilter_GetParameter(&f, FilterParamMode), FilterLowPass);

  ASSERT_EQ(StateVariableFilter_SetParameter(&f, FilterParamFrequency, 1000.0), 1);
  const double expectedF = 2.0 * std::sin(std::numbers::pi * 1000.0 / 96000.0);
  EXPECT_DOUBLE_EQ(f.f, expectedF);
  EXPECT_DOUBLE_EQ(f.damp, 2.0);  // below the limit 2 / f - f / 2

  ASSERT_EQ(StateVariableFilter_SetParameter(&f, FilterParamResonance, 0.5), 1);
  EXPECT_DOUBLE_EQ(f.inputGain, 0.75);
  EXPECT_DOUBLE_EQ(f.damp, 2.0 * (1.0 - std::pow(0.5, 0.25)));

  ASSERT_EQ(StateVariableFilter_SetParameter(&f, FilterParamSampleRate, 96000.0), 1);
  EXPECT_DOUBLE_EQ(f.f, 2.0 * std::sin(std::numbers::pi * 1000.0 / 192000.0));
  EXPECT_DOUBLE_EQ(StateVariableFilter_GetParameter(&f, FilterParamSampleRate), 96000.0);
}

TEST(StateVariableFilter, RefusesBadModesAndForeignRecords) {
  StateVariableFilter f;
  Tune(&f, 1000.0, 0.0, FilterNotch);
  EXPECT_EQ(StateVariableFilter_SetParameter(&f, FilterParamMode, 4), 0);
  EXPECT_EQ(StateVariableFilter_SetParameter(&f, FilterParamMode, -1), 0);
  EXPECT_EQ(StateVariableFilter_GetParameter(&f, FilterParamMode), FilterNotch);

  StateVariableFilter other;
  Tune(&other, 1000.0, 0.0);
  other.kind = 1;  // the layout a delay line shares
  EXPECT_EQ(StateVariableFilter_Init(&other), 0);
  EXPECT_EQ(StateVariableFilter_SetParameter(&other, FilterParamFrequency, 50.0), 0);
  EXPECT_EQ(other.frequency, 1000.0);
  EXPECT_EQ(StateVariableFilter_Process(&other, 0.5), 0.0);
  EXPECT_EQ(StateVariableFilter_GetParameter(&other, FilterParamFrequency), 0.0);
}

TEST(StateVariableFilter, FullResonanceOutputsOnlyWhatTheStatesHold) {
  StateVariableFilter a, b;
  Tune(&a, 800.0, 0.3, FilterBandPass);
  Tune(&b, 800.0, 0.3, FilterBandPass);
  for (int n = 0; n < 64; ++n) {
    StateVariableFilter_Process(&a, TestSignal(n, 0));
    StateVariableFilter_Process(&b, TestSignal(n, 0));
  }
  StateVariableFilter_SetParameter(&a, FilterParamResonance, 1.0);
  StateVariableFilter_SetParameter(&b, FilterParamResonance, 1.0);
  EXPECT_EQ(a.inputGain, 0.0);
  bool ringing = false;
  for (int n = 0; n < 32; ++n) {
    const double fromA = StateVariableFilter_Process(&a, 0.9);
    const double fromB = StateVariableFilter_Process(&b, -0.7);
    EXPECT_EQ(fromA, fromB) << n;
    ringing = ringing || fromA != 0.0;
  }
  EXPECT_TRUE(ringing);
}

TEST(StateVariableFilter, SilenceNeverGivesExactZeros) {
  StateVariableFilter_ResetDither();
  for (int mode = 0; mode < 4; ++mode) {
    StateVariableFilter f;
    Tune(&f, 1000.0, 0.2, mode);
    for (int n = 0; n < 4800; ++n) ASSERT_NE(StateVariableFilter_Process(&f, 0.0), 0.0) << mode << " " << n;
  }
}

TEST(StateVariableFilter, DitherCycleIsSharedAndAdvancesOnlyWhenUsed) {
  // Near-silent samples take the next step of one program-wide cycle -3e-5, -2e-5, 0,
  // 2e-5, 3e-5, 0; louder samples leave the cycle where it is. Two units share it.
  StateVariableFilter_ResetDither();
  StateVariableFilter a, b;
  Tune(&a, 3000.0, 0.0);
  Tune(&b, 3000.0, 0.0);
  const double outA1 = StateVariableFilter_Process(&a, 1e-5);   // -3e-5
  const double outB1 = StateVariableFilter_Process(&b, 0.0);    // -2e-5
  const double outA2 = StateVariableFilter_Process(&a, 0.25);   // as it is
  const double outA3 = StateVariableFilter_Process(&a, -1e-6);  // 0
  const double outB2 = StateVariableFilter_Process(&b, 0.0);    // 2e-5

  // Reference units fed the replacement values directly (none of them is replaced: the
  // range is open at both ends; 0 stands for itself through a fresh cycle step).
  StateVariableFilter ra, rb;
  Tune(&ra, 3000.0, 0.0);
  Tune(&rb, 3000.0, 0.0);
  EXPECT_EQ(outA1, StateVariableFilter_Process(&ra, -3e-5));
  EXPECT_EQ(outB1, StateVariableFilter_Process(&rb, -2e-5));
  EXPECT_EQ(outA2, StateVariableFilter_Process(&ra, 0.25));
  EXPECT_EQ(outB2, StateVariableFilter_Process(&rb, 2e-5 + 0.0));
  (void)outA3;
  // The cycle is now at step 4 (3e-5): the next replacement proves where it stands.
  StateVariableFilter c, rc;
  Tune(&c, 3000.0, 0.0);
  Tune(&rc, 3000.0, 0.0);
  EXPECT_EQ(StateVariableFilter_Process(&c, 0.0), StateVariableFilter_Process(&rc, 3e-5));
}

TEST(StateVariableFilter, GoldenOutputOfEachMode) {
  // Regenerate only on purpose: these pin the sound of the filter.
  const double expected[4][12] = {
      {0.00136882218, 0.011407637, 0.0276834859, 0.0531020359, 0.0900298588, 0.138428966,
       0.195726484, 0.258389136, 0.326195869, 0.383579025, 0.42073796, 0.430351418},
      {0.0308862401, 0.0552987847, 0.0869738304, 0.129823815, 0.174939712, 0.212594001,
       0.233529784, 0.261081317, 0.234829224, 0.165179771, 0.0660390998, -0.0556746246},
      {0.156122036, 0.0721628157, 0.136426753, 0.171822979, 0.171660208, 0.133997103,
       0.0618496657, 0.118968036, -0.171740703, -0.29569805, -0.404088114, -0.482617516},
      {0.157490858, 0.0835704527, 0.164110239, 0.224925015, 0.261690067, 0.272426069,
       0.25757615, 0.377357172, 0.154455166, 0.0878809751, 0.0166498457, -0.0522660987},
  };
  StateVariableFilter_ResetDither();
  for (int mode = 0; mode < 4; ++mode) {
    StateVariableFilter f;
    Tune(&f, 2000.0, 0.6, mode);
    for (int n = 0; n < 12; ++n)
      EXPECT_NEAR(StateVariableFilter_Process(&f, TestSignal(n, 0)), expected[mode][n], 1e-8)
          << "mode " << mode << " sample " << n;
  }
}

TEST(StateVariableFilter, LowPassPassesLowAndStopsHighFrequencies) {
  auto gainAt = [](double hz, int mode) {
    StateVariableFilter f;
    Tune(&f, 1000.0, 0.0, mode);
    double peak = 0.0;
    for (int n = 0; n < 48000; ++n) {
      const double y = StateVariableFilter_Process(&f, std::sin(2.0 * std::numbers::pi * hz * n / 48000.0));
      if (n > 24000) peak = std::max(peak, std::abs(y));
    }
    return peak;
  };
  EXPECT_GT(gainAt(100.0, FilterLowPass), 0.9);
  EXPECT_LT(gainAt(10000.0, FilterLowPass), 0.05);
  EXPECT_LT(gainAt(100.0, FilterHighPass), 0.05);
  EXPECT_GT(gainAt(10000.0, FilterHighPass), 0.9);
  EXPECT_LT(gainAt(1000.0, FilterNotch), 0.1);
}

// ---- Engine operations and the LFO step ----

using FilterEngineTest = EffectsEngineTest;

TEST_F(FilterEngineTest, SettersClampAndRefuse) {
  EXPECT_EQ(Audio_SetFilterFrequency(0, 30000.0), 1);
  EXPECT_EQ(Audio_GetFilterFrequency(0), 24000.0);
  EXPECT_EQ(Audio_SetFilterFrequency(1, -5.0), 1);
  EXPECT_EQ(Audio_GetFilterFrequency(1), 0.0);
  EXPECT_EQ(Audio_SetFilterResonance(0, 1.5), 1);
  EXPECT_EQ(Audio_GetFilterResonance(0), 1.0);
  EXPECT_EQ(Audio_SetFilterLfoRate(1, 250.0), 1);
  EXPECT_EQ(Audio_GetFilterLfoRate(1), 100.0);
  EXPECT_EQ(Audio_SetFilterLfoDepth(0, -1.0), 1);
  EXPECT_EQ(Audio_GetFilterLfoDepth(0), 0.0);

  EXPECT_EQ(Audio_SetFilterFrequency(2, 100.0), 0);
  EXPECT_EQ(Audio_SetFilterResonance(-1, 0.5), 0);
  EXPECT_EQ(Audio_SetFilterLfoRate(2, 1.0), 0);
  EXPECT_EQ(Audio_GetFilterResonance(1), 0.0);

  EXPECT_EQ(Audio_SetFilterMode(2), 1);
  EXPECT_EQ(Audio_SetFilterMode(4), 0);
  EXPECT_EQ(Audio_GetFilterMode(), 2);
  EXPECT_EQ(StateVariableFilter_GetParameter(&engine()->filter[1], FilterParamMode), 2);

  EXPECT_EQ(Audio_EnableFilter(7), 1);
  EXPECT_EQ(engine()->filterEnabled[0], 1u);
  EXPECT_EQ(engine()->filterEnabled[1], 1u);
}

TEST_F(FilterEngineTest, TheUnitFollowsTheSetFrequencyWithFLimited) {
  Audio_SetFilterFrequency(0, 30000.0);  // stored as 24000
  Audio_SetFilterResonance(0, 1.0);
  Audio_UpdateFilterLfo(engine(), 256);
  const StateVariableFilter& unit = engine()->filter[0];
  EXPECT_EQ(unit.frequency, 24000.0);
  EXPECT_EQ(unit.f, 0.99);
  EXPECT_EQ(unit.inputGain, 0.0);
  EXPECT_EQ(unit.resonance, 1.0);
}

TEST_F(FilterEngineTest, LfoTriangleTakesTwoOverRateSeconds) {
  // 512 frames at 32768 Hz with rate 1: 1/64 of the way per step, exact in binary.
  engine()->sampleRate = 32768.0;
  Audio_SetFilterLfoRate(0, 1.0);
  Audio_SetFilterLfoRate(1, 0.0);  // frozen
  FilterLfo& lfo = engine()->filterLfo[0];
  for (int i = 0; i < 32; ++i) Audio_UpdateFilterLfo(engine(), 512);
  EXPECT_EQ(lfo.phase.load(), 0.5);
  for (int i = 0; i < 32; ++i) Audio_UpdateFilterLfo(engine(), 512);
  EXPECT_EQ(lfo.phase.load(), 1.0);  // one second up: the top
  EXPECT_EQ(lfo.direction.load(), 1.0);
  Audio_UpdateFilterLfo(engine(), 512);
  EXPECT_EQ(lfo.phase.load(), 1.0);  // clipped, turning down
  EXPECT_EQ(lfo.direction.load(), -1.0);
  for (int i = 0; i < 64; ++i) Audio_UpdateFilterLfo(engine(), 512);
  EXPECT_EQ(lfo.phase.load(), 0.0);  // one second down
  Audio_UpdateFilterLfo(engine(), 512);
  EXPECT_EQ(lfo.phase.load(), 0.0);
  EXPECT_EQ(lfo.direction.load(), 1.0);
  EXPECT_EQ(engine()->filterLfo[1].phase.load(), 0.0);
}

TEST_F(FilterEngineTest, LfoRaisesTheCutoffByUpToFourOctaves) {
  Audio_SetFilterFrequency(0, 500.0);
  Audio_SetFilterFrequency(1, 500.0);
  Audio_SetFilterLfoRate(0, 1.0);
  Audio_SetFilterLfoRate(1, 1.0);
  Audio_SetFilterLfoDepth(0, 1.0);
  Audio_SetFilterLfoDepth(1, 0.5);
  for (int i = 0; i < 100; ++i) Audio_UpdateFilterLfo(engine(), 480);  // phase 1
  // Disabled: the set frequency.
  EXPECT_EQ(engine()->filter[0].frequency, 500.0);
  Audio_EnableFilterLfo(1);
  Audio_UpdateFilterLfo(engine(), 0);
  EXPECT_DOUBLE_EQ(engine()->filter[0].frequency, 500.0 * 16.0);
  EXPECT_DOUBLE_EQ(engine()->filter[1].frequency, 500.0 * 4.0);
}

TEST_F(FilterEngineTest, ResetPutsBothPhasesBackToZeroKeepingDirections) {
  Audio_SetFilterLfoRate(0, 1.0);
  Audio_SetFilterLfoRate(1, 2.0);
  for (int i = 0; i < 130; ++i) Audio_UpdateFilterLfo(engine(), 480);
  ASSERT_GT(engine()->filterLfo[0].phase.load(), 0.0);
  ASSERT_EQ(engine()->filterLfo[0].direction.load(), -1.0);
  EXPECT_EQ(Audio_ResetFilterLfo(), 1);
  EXPECT_EQ(engine()->filterLfo[0].phase.load(), 0.0);
  EXPECT_EQ(engine()->filterLfo[1].phase.load(), 0.0);
  // The next step starts from 0; the falling LFO turns at once.
  Audio_UpdateFilterLfo(engine(), 0);
  EXPECT_EQ(engine()->filterLfo[0].phase.load(), 0.0);
  EXPECT_EQ(engine()->filterLfo[0].direction.load(), -1.0);
  Audio_UpdateFilterLfo(engine(), 480);
  EXPECT_EQ(engine()->filterLfo[0].phase.load(), 0.0);
  EXPECT_EQ(engine()->filterLfo[0].direction.load(), 1.0);
}

}  // namespace
