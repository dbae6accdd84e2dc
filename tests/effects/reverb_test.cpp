// The reverb: room, damping and width, mix laws, stability, freeze, the tail flushed to
// exact zeros, block handling, and a golden run.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "effects/reverb_model.h"
#include "effects_fixture.h"

namespace {

std::unique_ptr<ReverbModel> MakeModel() {
  auto model = std::make_unique<ReverbModel>();
  ReverbModel_Init(model.get());
  return model;
}

// Runs `frames` frames of `input(n, c)` in place on an interleaved stereo bus, in blocks
// of `block` frames.
std::vector<float> Reverberate(ReverbModel* m, int frames, float (*input)(int, int), int block = 256) {
  std::vector<float> bus(2 * frames);
  for (int n = 0; n < frames; ++n) bus[2 * n] = input(n, 0), bus[2 * n + 1] = input(n, 1);
  for (int n = 0; n < frames; n += block)
    ReverbModel_Process(m, &bus[2 * n], &bus[2 * n + 1], &bus[2 * n], &bus[2 * n + 1],
                        std::min(block, frames - n), 2);
  return bus;
}

float Noise(int n, int) {
  uint32_t x = static_cast<uint32_t>(n) * 2654435761u;
  x ^= x >> 13;
  return static_cast<float>(x % 20001) / 10000.0f - 1.0f;
}
float Silence(int, int) { return 0.0f; }

TEST(ReverbModel, RoomDampingAndWidthShapeTheTail) {
  // The tail's energy per channel between 0.5 s and 1 s after a 50 ms burst of noise.
  auto tail = [](float room, float damp, float width) {
    auto m = MakeModel();
    ReverbModel_SetRoomSize(m.get(), room);
    ReverbModel_SetDamp(m.get(), damp);
    ReverbModel_SetWidth(m.get(), width);
    const std::vector<float> out =
        Reverberate(m.get(), 48000, [](int n, int c) { return n < 2400 ? Noise(n, c) : 0.0f; });
    std::array<double, 2> energy{};
    for (size_t i = 48000; i < out.size(); ++i) energy[i % 2] += static_cast<double>(out[i]) * out[i];
    return energy;
  };
  const auto base = tail(0.5f, 0.5f, 1.0f), mono = tail(0.5f, 0.5f, 0.0f);
  EXPECT_GT(tail(1.0f, 0.5f, 1.0f)[0], 3 * base[0]);  // a larger room rings longer
  EXPECT_GT(base[0], 3 * tail(0.0f, 0.5f, 1.0f)[0]);
  EXPECT_GT(tail(0.5f, 0.0f, 1.0f)[0], 1.5 * tail(0.5f, 1.0f, 1.0f)[0]);  // damping dulls it
  EXPECT_NE(base[0], base[1]);  // each channel rings through its own combs
  EXPECT_EQ(mono[0], mono[1]);  // width 0: both channels hear the same
}

TEST(ReverbModel, AModelNeverLaidOutProcessesNothingAndReturns) {
  auto m = std::make_unique<ReverbModel>();  // no ReverbModel_Init: every size is 0
  float bus[8] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
  ReverbModel_Process(m.get(), bus, bus + 1, bus, bus + 1, 4, 2);
  for (float sample : bus) EXPECT_EQ(sample, 0.0f);  // wet of silence, dry 0
}

TEST(ReverbModel, MixEndsAreDryTimesOnePointTwoAndWetTimesOnePointEight) {
  auto dryOnly = MakeModel(), full = MakeModel(), unit = MakeModel();
  ReverbModel_SetWet(dryOnly.get(), 0.0f);
  ReverbModel_SetDry(dryOnly.get(), 0.6f);
  ReverbModel_SetWet(full.get(), 0.6f);  // the panel's wet at position 127
  ReverbModel_SetDry(full.get(), 0.0f);
  ReverbModel_SetWet(unit.get(), 1.0f / 3.0f);  // wet 1: the bare reverb signal
  const std::vector<float> d = Reverberate(dryOnly.get(), 4000, TestSignal);
  const std::vector<float> a = Reverberate(full.get(), 4000, TestSignal);
  const std::vector<float> b = Reverberate(unit.get(), 4000, TestSignal);
  ASSERT_FLOAT_EQ(full->wet1.load(), 1.8f);
  bool wet = false;
  for (size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(d[i], TestSignal(static_cast<int>(i / 2), static_cast<int>(i % 2)) * 1.2f) << i;
    ASSERT_EQ(a[i], b[i] * full->wet1.load()) << i;
    wet = wet || a[i] != 0.0f;
  }
  EXPECT_TRUE(wet);
}

TEST(ReverbModel, LongestRoomStaysBounded) {
  auto m = MakeModel();
  ReverbModel_SetRoomSize(m.get(), 127 * 0.007874016f);
  ReverbModel_SetDamp(m.get(), 0.0f);
  const std::vector<float> out = Reverberate(m.get(), 10 * 48000, Noise);
  double peak[2] = {0.0, 0.0};
  for (size_t i = 0; i < out.size(); ++i) {
    ASSERT_TRUE(std::isfinite(out[i]));
    double& p = peak[i >= out.size() / 2];
    p = std::max(p, static_cast<double>(std::abs(out[i])));
  }
  EXPECT_LT(peak[1], 10.0);
  EXPECT_LT(peak[1], peak[0] * 1.5);  // settled, not growing
}

TEST(ReverbModel, TailDecaysToExactZeros) {
  auto m = MakeModel();
  ReverbModel_SetDry(m.get(), 0.5f);
  Reverberate(m.get(), 48000, Noise);
  // A float tail at the start settings falls below the normal range within about 17 s.
  const std::vector<float> out = Reverberate(m.get(), 30 * 48000, Silence);
  for (int i = 0; i < 4000; ++i) ASSERT_EQ(out[out.size() - 1 - i], 0.0f);
  for (float sample : m->storage) ASSERT_EQ(sample, 0.0f);
  for (const auto& channel : m->combs)
    for (const ReverbComb& c : channel) ASSERT_EQ(c.filterStore, 0.0f);
}

TEST(ReverbModel, FreezeHoldsTheTailAndIgnoresInputAndMute) {
  auto m = MakeModel();
  Reverberate(m.get(), 24000, Noise);
  ReverbModel_SetMode(m.get(), 1.0f);
  ReverbModel_Mute(m.get());  // refused while frozen
  auto energy = [](const std::vector<float>& v) {
    double sum = 0.0;
    for (float x : v) sum += static_cast<double>(x) * x;
    return sum;
  };
  const double early = energy(Reverberate(m.get(), 24000, Noise));
  const double late = energy(Reverberate(m.get(), 24000, Silence));
  EXPECT_GT(early, 0.0);
  EXPECT_NEAR(late / early, 1.0, 0.2);

  ReverbModel_SetMode(m.get(), 0.0f);
  EXPECT_EQ(m->gain.load(), 0.015f);
  ReverbModel_Mute(m.get());
  for (float sample : m->storage) ASSERT_EQ(sample, 0.0f);
}

TEST(ReverbModel, OutputDoesNotDependOnBlockSizeOrStride) {
  // Odd block sizes cross every buffer's wrap at different places; a frame-at-a-time run
  // on the interleaved bus is the reference, separate arrays with stride 1 the subject.
  auto reference = MakeModel(), m = MakeModel();
  for (ReverbModel* model : {reference.get(), m.get()}) {
    ReverbModel_SetDry(model, 0.3f);
    ReverbModel_SetWidth(model, 0.7f);
  }
  const int blocks[] = {7, 256, 300, 512, 3, 1000, 41, 1};
  const std::vector<float> expected = Reverberate(reference.get(), 3 * 2120, Noise, 1);
  int n = 0;
  for (int round = 0; round < 3; ++round) {
    for (int block : blocks) {
      std::vector<float> l(block), r(block), outL(block), outR(block);
      for (int k = 0; k < block; ++k) l[k] = Noise(n + k, 0), r[k] = Noise(n + k, 1);
      ReverbModel_Process(m.get(), l.data(), r.data(), outL.data(), outR.data(), block, 1);
      for (int k = 0; k < block; ++k, ++n) {
        ASSERT_EQ(outL[k], expected[2 * n]) << n;
        ASSERT_EQ(outR[k], expected[2 * n + 1]) << n;
      }
    }
  }
}

TEST(ReverbModel, GoldenOutput) {
  // Regenerate only on purpose. The left wet part starts at frame 1116, the right one at
  // 1139 (the shortest combs); before that only the dry part sounds.
  const struct {
    int frame;
    float left, right;
  } expected[] = {
      {0, 0.125f, 0.335367739f},        {1, 0.0738800541f, 0.240889549f},
      {2, 0.141160622f, 0.249893397f},  {1115, 0.249208048f, 0.151378974f},
      {1116, 0.257764518f, 0.0858216509f}, {1117, 0.226350367f, 0.0125981458f},
      {1139, 0.179217204f, -0.0520041846f}, {1140, 0.118042901f, -0.124706507f},
      {1300, 0.12231949f, 0.267740428f},  {1399, -0.22233586f, -0.0611913055f},
  };
  auto m = MakeModel();
  ReverbModel_SetDry(m.get(), 0.25f);
  const std::vector<float> out = Reverberate(m.get(), 1400, TestSignal, 1400);
  for (const auto& s : expected) {
    EXPECT_FLOAT_EQ(out[2 * s.frame], s.left) << s.frame;
    EXPECT_FLOAT_EQ(out[2 * s.frame + 1], s.right) << s.frame;
  }
}

}  // namespace
