#pragma once
// Shared by the effects tests: a fresh engine with its effects in their start state, and
// a fixed test signal for the golden-output checks.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/state_variable_filter.h"
#include "engine/audio.h"
#include "engine/effects_ops.h"
#include "support/scripted_dialog.h"

class EffectsEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Audio_Init());
    ASSERT_TRUE(Effects_Init(Audio_GetEngine()));
    StateVariableFilter_ResetDither();
  }
  void TearDown() override {
    Effects_Release(Audio_GetEngine());
    Audio_Shutdown();
  }
  AudioEngine* engine() const { return Audio_GetEngine(); }

  ScriptedDialog dialog;
};

// A deterministic signal with some sharp edges: a sine plus a click every seventh frame.
inline float TestSignal(int n, int channel) {
  return static_cast<float>(0.5 * std::sin(0.3 * n + channel) + ((n % 7) == 0 ? 0.25 : 0.0));
}
