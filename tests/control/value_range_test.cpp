// Matching and scaling of trigger value ranges, against the figures users rely on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "control/value_range.h"

namespace {

uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

TEST(ValueRange, FreshRangesAreAnyWithExactFullScale) {
  const ValueRange seven = ValueRange::SevenBit();
  EXPECT_TRUE(seven.IsAny());
  EXPECT_EQ(seven.inputHigh, 127);
  EXPECT_EQ(Bits(seven.fullScale), 0x44010183u);
  const ValueRange bend = ValueRange::FourteenBit();
  EXPECT_EQ(bend.low, 16384);
  EXPECT_EQ(bend.top, 16383);
  EXPECT_EQ(Bits(bend.fullScale), 0x40800180u);
  EXPECT_TRUE(bend.Accepts(0));
  EXPECT_TRUE(bend.Accepts(16383));
}

TEST(ValueRange, FullSevenBitScaleGivesTheKnownValues) {
  ValueRange r = ValueRange::SevenBit();
  r.SetInput(128, 128);
  r.SetOutput(0, 127);
  EXPECT_EQ(r.Value(127), 65534u);  // 127 * 516.0236... is just below 65535
  EXPECT_EQ(r.Value(64), 33025u);
  EXPECT_EQ(r.Value(1), 516u);
  EXPECT_EQ(r.Value(0), 0u);
}

TEST(ValueRange, FullPitchBendScale) {
  ValueRange r = ValueRange::FourteenBit();
  EXPECT_EQ(r.Value(16383), 65534u);
  EXPECT_EQ(r.Value(8192), 32769u);  // 8192 * 4.00018310546875 = 32769.5
  EXPECT_EQ(r.Value(0), 0u);
}

TEST(ValueRange, AcceptsIsInclusiveOrAny) {
  ValueRange r = ValueRange::SevenBit();
  r.SetInput(64, 127);
  EXPECT_FALSE(r.Accepts(63));
  EXPECT_TRUE(r.Accepts(64));
  EXPECT_TRUE(r.Accepts(127));
  r.SetInput(128, 20);  // either bound "any" makes the whole range any
  EXPECT_TRUE(r.IsAny());
  EXPECT_EQ(r.high, 128);
  EXPECT_TRUE(r.Accepts(5));
}

TEST(ValueRange, SingleValueInput) {
  ValueRange r = ValueRange::SevenBit();
  r.SetInput(127, ValueRange::kSingle);
  EXPECT_EQ(r.low, 127);
  EXPECT_EQ(r.high, 127);
  EXPECT_TRUE(std::isnan(r.scale));
  EXPECT_FALSE(r.Accepts(126));
  r.SetOutput(100, 100);
  EXPECT_EQ(r.Value(127), 51602u);  // 100 * 516.0236206054688, truncated
  r.SetOutput(128, 128);
  EXPECT_EQ(r.Value(127), 0u);  // output "any" on a single value
}

TEST(ValueRange, ReversedOutputRange) {
  ValueRange r = ValueRange::SevenBit();
  r.SetInput(128, 128);
  r.SetOutput(127, 0);
  EXPECT_FLOAT_EQ(r.scale, -1.0f);
  EXPECT_EQ(r.Value(0), 65534u);
  EXPECT_EQ(r.Value(127), 0u);
}

TEST(ValueRange, PartialRangesScaleAndClamp) {
  ValueRange r = ValueRange::SevenBit();
  r.SetInput(64, 127);
  EXPECT_EQ(r.outputLow, 64);  // SetInput resets the output to the input range
  EXPECT_EQ(r.Value(64), 33025u);
  r.SetOutput(0, 127);  // 63 input steps onto 127 output steps
  EXPECT_EQ(r.Value(64), 0u);
  // The single-precision scale 127/63 falls just short: 63 steps make 126, not 127.
  EXPECT_EQ(r.Value(127), 126u * 516u + 2u);  // trunc(126 * 516.0236...) = 65018
  EXPECT_EQ(r.Value(96), static_cast<uint32_t>(std::trunc(64 * 516.0236206054688)));
  r.SetOutput(128, 0);  // any output: the full scale over the input range, no offset
  EXPECT_EQ(r.Value(64), 0u);
  EXPECT_EQ(r.Value(96), 33025u);
  // A range mapping beyond the top is clamped to 65535, below the bottom to 0.
  r.SetInput(0, 127);
  r.SetOutput(0, 200);
  EXPECT_EQ(r.Value(127), 65535u);
  r.SetOutput(-50, 0);
  EXPECT_EQ(r.Value(0), 0u);
}

}  // namespace
