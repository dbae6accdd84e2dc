// The reverb: room, damping and width, stability, freeze, the tail flushed to exact zeros,
// and a golden run.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "effects/reverb_model.h"
#include "test_signal.h"

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
    ReverbModel_Process(m, &bus[2 * n], &bus[2 * n + 1], &bus[2 * n], &bus[2 * n + 1], std::min(block, frames - n), 2);
  return bus;
}

float Silence(int, int) { return 0.0f; }

double Energy(const std::vector<float>& v, size_t from = 0, size_t step = 1) {
  double sum = 0.0;
  for (size_t i = from; i < v.size(); i += step) sum += static_cast<double>(v[i]) * v[i];
  return sum;
}

TEST(ReverbModel, RoomDampingAndWidthShapeTheTailWhichStaysBounded) {
  // The tail's energy left and right between 0.5 s and 1 s after a 50 ms burst, and left
  // between 1 s and 1.5 s.
  auto tail = [](float room, float damp, float width) {
    auto m = MakeModel();
    ReverbModel_SetRoomSize(m.get(), room);
    ReverbModel_SetDamp(m.get(), damp);
    ReverbModel_SetWidth(m.get(), width);
    std::vector<float> out = Reverberate(m.get(), 72000, [](int n, int c) { return n < 2400 ? TestSignal(n, c) : 0.0f; });
    const double later = Energy(out, 96000, 2);
    out.resize(96000);
    return std::array<double, 3>{Energy(out, 48000, 2), Energy(out, 48001, 2), later};
  };
  const auto base = tail(0.5f, 0.5f, 1.0f), mono = tail(0.5f, 0.5f, 0.0f), longest = tail(1.0f, 0.0f, 1.0f);
  EXPECT_GT(tail(1.0f, 0.5f, 1.0f)[0], 3 * base[0]);  // a larger room rings longer
  EXPECT_GT(base[0], 3 * tail(0.0f, 0.5f, 1.0f)[0]);
  EXPECT_GT(tail(0.5f, 0.0f, 1.0f)[0], 1.5 * tail(0.5f, 1.0f, 1.0f)[0]);  // damping dulls it
  EXPECT_LT(longest[2], 0.9 * longest[0]);  // the longest, brightest room still dies away
  EXPECT_NE(base[0], base[1]);  // each channel rings through its own combs
  EXPECT_EQ(mono[0], mono[1]);  // width 0: both channels hear the same
}

TEST(ReverbModel, BuffersFitTheStorageTailsDecayToExactZerosAndAModelNeverLaidOutIsSilent) {
  auto m = MakeModel();
  const ReverbAllPass& last = m->allPasses[1][kReverbAllPasses - 1];
  ASSERT_EQ(last.offset + last.size, kReverbStorageSamples);  // the buffers fill the storage, no more
  ReverbModel_SetDry(m.get(), 0.5f);
  Reverberate(m.get(), 48000, TestSignal);
  // A float tail at the start settings falls below the normal range within about 17 s.
  const std::vector<float> out = Reverberate(m.get(), 30 * 48000, Silence);
  for (int i = 0; i < 4000; ++i) ASSERT_EQ(out[out.size() - 1 - i], 0.0f);
  for (float sample : m->storage) ASSERT_EQ(sample, 0.0f);

  auto bare = std::make_unique<ReverbModel>();  // no ReverbModel_Init: every size is 0
  float bus[8] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
  ReverbModel_Process(bare.get(), bus, bus + 1, bus, bus + 1, 4, 2);  // returns, not loops
  for (float sample : bus) EXPECT_EQ(sample, 0.0f);  // wet of silence, dry 0
}

TEST(ReverbModel, FreezeHoldsTheTailAndIgnoresInputAndMute) {
  auto m = MakeModel();
  Reverberate(m.get(), 24000, TestSignal);
  ReverbModel_SetMode(m.get(), 1.0f);
  ReverbModel_Mute(m.get());  // refused while frozen
  const double early = Energy(Reverberate(m.get(), 24000, TestSignal));
  const double late = Energy(Reverberate(m.get(), 24000, Silence));
  EXPECT_NEAR(late / early, 1.0, 0.2);

  ReverbModel_SetMode(m.get(), 0.0f);
  EXPECT_EQ(m->gain.load(), 0.015f);
  ReverbModel_Mute(m.get());
  for (float sample : m->storage) ASSERT_EQ(sample, 0.0f);
}

TEST(ReverbModel, GoldenOutputWhateverTheBlockSize) {
  // Regenerate only on purpose. The left wet part starts at frame 1116, the right one at
  // 1139 (the shortest combs); before that only the dry part sounds.
  const struct { int frame; float left, right; } expected[] = {
      {0, 0.125f, 0.335367739f}, {1, 0.0738800541f, 0.240889549f}, {2, 0.141160622f, 0.249893397f},
      {1115, 0.249208048f, 0.151378974f}, {1116, 0.257764518f, 0.0858216509f}, {1117, 0.226350367f, 0.0125981458f},
      {1139, 0.179217204f, -0.0520041846f}, {1140, 0.118042901f, -0.124706507f}, {1300, 0.12231949f, 0.267740428f},
      {1399, -0.22233586f, -0.0611913055f}};
  // Blocks of 1400 frames, 257 (a pass and a frame), 7 and 1 cross the wraps differently.
  for (int block : {1400, 257, 7, 1}) {
    auto m = MakeModel();
    ReverbModel_SetDry(m.get(), 0.25f);
    const std::vector<float> out = Reverberate(m.get(), 1400, TestSignal, block);
    for (const auto& s : expected)
      EXPECT_EQ(std::make_pair(out[2 * s.frame], out[2 * s.frame + 1]), std::make_pair(s.left, s.right))
          << s.frame << " in blocks of " << block;
  }
}

}  // namespace
