// Matching and scaling of trigger value ranges; the full-scale figures are checked through dispatch.
#include <gtest/gtest.h>

#include "control/value_range.h"

namespace {

constexpr int kAny = 128;
constexpr int kSingle = ValueRange::kSingle;

TEST(ValueRange, AcceptsInclusivelyAndScalesOntoTheSixteenBitValue) {
  const struct { int inLow, inHigh, outLow, outHigh, input; uint32_t value; const char* why; } cases[] = {
      {kAny, kAny, 0, 127, 1, 516, "one step"},
      {kAny, kAny, 0, 127, 0, 0, "bottom"},
      {kAny, kAny, 127, 0, 0, 65534, "reversed output"},
      {kAny, kAny, 127, 0, 127, 0, "reversed output"},
      {127, kSingle, 100, 100, 127, 51602, "single input: 100 * 516.0236, truncated"},
      {127, kSingle, kAny, kAny, 127, 0, "single input, output any"},
      {64, 127, 0, 127, 64, 0, "partial input onto the full output"},
      {64, 127, kAny, 0, 96, 33025, "any output: full scale over the input, no offset"},
      {0, 127, 0, 200, 127, 65535, "beyond the top clamps"},
      {0, 127, -50, 0, 0, 0, "below the bottom clamps"},
  };
  for (const auto& c : cases) {
    ValueRange r = ValueRange::SevenBit();
    r.SetInput(c.inLow, c.inHigh);
    r.SetOutput(c.outLow, c.outHigh);
    EXPECT_EQ(r.Value(c.input), c.value) << c.why;
  }
  ValueRange partial = ValueRange::SevenBit();
  partial.SetInput(64, 127);  // SetInput resets the output to the input range
  EXPECT_EQ(partial.Value(64), 33025u);
  for (int v : {63, 64, 127}) EXPECT_EQ(partial.Accepts(v), v >= 64) << v;  // inclusive
  partial.SetInput(kAny, 20);  // either bound "any" makes the whole range any
  EXPECT_TRUE(partial.IsAny() && partial.Accepts(21));
}

}  // namespace
