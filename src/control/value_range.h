#pragma once
// ValueRange: one range of a trigger. It both decides whether a data value matches
// (Accepts) and scales a matching value onto the 16-bit value an action is fired with
// (Value). Ranges of 7-bit data use 128 as their "any" marker, pitch bend uses 16384.
#include <cstdint>

struct ValueRange {
  int32_t low = 128;         // lowest accepted value, or the any marker
  int32_t high = 128;        // highest accepted value, or the any marker
  int32_t top = 127;         // largest value of the scale (127, or 16383 for pitch bend)
  int32_t any = 128;         // the any marker (128, or 16384 for pitch bend)
  int32_t inputLow = 0;      // maps to outputLow
  int32_t inputHigh = 127;   // maps to outputHigh
  int32_t outputLow = 0;     // or the any marker
  int32_t outputHigh = 127;  // or the any marker
  float scale = 1.0f;        // output units per input unit
  float fullScale = 516.0236206054688f;  // 65535 / top as a float

  // A fresh "any" range for 7-bit data (notes, velocities, ports, channels...).
  static ValueRange SevenBit();
  // A fresh "any" range for 14-bit pitch bend.
  static ValueRange FourteenBit();

  // The `high` argument of SetInput that makes the range a single value.
  static constexpr int32_t kSingle = 65535;

  // Sets the accepted range; either bound being the any marker makes the range "any".
  // The output range is reset to the input range.
  void SetInput(int32_t newLow, int32_t newHigh);
  // Sets the output range the accepted values are mapped onto (the any marker in either
  // bound maps onto the full scale).
  void SetOutput(int32_t newOutputLow, int32_t newOutputHigh);
  bool Accepts(int32_t x) const;
  // The 16-bit value fired for data value x, 0..65535.
  uint32_t Value(int32_t x) const;

  bool IsAny() const { return low == any; }
};
