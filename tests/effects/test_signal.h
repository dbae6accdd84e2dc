#pragma once
// A deterministic signal with some sharp edges for the effects' golden runs: a sine plus
// a click every seventh frame.
#include <cmath>

inline float TestSignal(int n, int channel) {
  return static_cast<float>(0.5 * std::sin(0.3 * n + channel) + ((n % 7) == 0 ? 0.25 : 0.0));
}
