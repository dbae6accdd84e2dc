#include "control/value_range.h"

#include <cmath>
#include <limits>

namespace {
// A single-value range has no width to scale over: its scale is not a number, and Value
// treats it as mapping onto the output low.
constexpr float kNoScale = std::numeric_limits<float>::quiet_NaN();
}  // namespace

ValueRange ValueRange::SevenBit() { return ValueRange{}; }

ValueRange ValueRange::FourteenBit() {
  ValueRange r;
  r.low = r.high = 16384;
  r.top = 16383;
  r.any = 16384;
  r.inputLow = 0;
  r.inputHigh = 16383;
  r.outputLow = 0;
  r.outputHigh = 16383;
  r.scale = 1.0f;
  r.fullScale = 4.00018310546875f;
  return r;
}

void ValueRange::SetInput(int32_t newLow, int32_t newHigh) {
  if (newLow != any && newHigh != any) {
    low = inputLow = newLow;
    if (newHigh == kSingle) {
      high = inputHigh = newLow;
    } else {
      high = inputHigh = newHigh;
    }
  } else {
    low = high = any;
    inputLow = 0;
    inputHigh = top;
  }
  outputLow = inputLow;
  outputHigh = inputHigh;
  scale = inputHigh == inputLow ? kNoScale : 1.0f;
}

void ValueRange::SetOutput(int32_t newOutputLow, int32_t newOutputHigh) {
  outputLow = newOutputLow;
  outputHigh = newOutputHigh;
  const int32_t width = inputHigh - inputLow;
  if (width == 0) {
    scale = kNoScale;
  } else if (outputLow != any && outputHigh != any) {
    scale = static_cast<float>(static_cast<double>(outputHigh - outputLow) / width);
  } else {
    scale = static_cast<float>(static_cast<double>(top) / width);
  }
}

bool ValueRange::Accepts(int32_t x) const {
  if (low == any) return true;
  return low <= x && x <= high;
}

uint32_t ValueRange::Value(int32_t x) const {
  // Extended precision throughout, every step truncated toward zero: the figures users
  // rely on (127 -> 65534, 64 -> 33025) depend on it.
  long double t = 0.0L;
  if (inputHigh != inputLow) {
    t = std::trunc(static_cast<long double>(x - inputLow) * static_cast<long double>(scale));
  }
  if (outputLow != any) t += outputLow;
  long double v = t * static_cast<long double>(fullScale);
  if (v > 65535.0L) v = 65535.0L;
  // A range read from a file can map below zero; such a value is 0, not a wrapped 16-bit
  // number near the top of the scale.
  if (!(v > 0.0L)) v = 0.0L;
  return static_cast<uint32_t>(std::trunc(v));
}
