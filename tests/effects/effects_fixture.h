#pragma once
// Shared by the effects tests: a fresh engine with its effects in their start state and
// the filter's dither cycle restarted, and a fixed test signal for the golden checks.
#include <cmath>

#include "effects/state_variable_filter.h"
#include "engine/effects_ops.h"
#include "support/engine_fixture.h"

class EffectsEngineTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    StateVariableFilter_ResetDither();
  }
};

// A deterministic signal with some sharp edges: a sine plus a click every seventh frame.
inline float TestSignal(int n, int channel) {
  return static_cast<float>(0.5 * std::sin(0.3 * n + channel) + ((n % 7) == 0 ? 0.25 : 0.0));
}
