// The reverb: layout, settings and their scaling, mix laws, stability, freeze, the
// denormal flush, and equality with a frame-by-frame run of the algorithm.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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
  for (int n = 0; n < frames; ++n) {
    bus[2 * n] = input(n, 0);
    bus[2 * n + 1] = input(n, 1);
  }
  for (int n = 0; n < frames; n += block) {
    const int count = std::min(block, frames - n);
    ReverbModel_Process(m, &bus[2 * n], &bus[2 * n + 1], &bus[2 * n], &bus[2 * n + 1], count, 2);
  }
  return bus;
}

float Noise(int n, int) {
  uint32_t x = static_cast<uint32_t>(n) * 2654435761u;
  x ^= x >> 13;
  return static_cast<float>(x % 20001) / 10000.0f - 1.0f;
}
float Silence(int, int) { return 0.0f; }

TEST(ReverbModel, LayoutAndStartValues) {
  auto m = MakeModel();
  EXPECT_EQ(m->combs[1][0].size, 1139);
  EXPECT_EQ(m->combs[1][7].size, 1640);
  EXPECT_EQ(m->allPasses[0][3].size, 225);
  EXPECT_EQ(m->allPasses[1][0].size, 579);
  // The 32 buffers tile the storage exactly.
  const ReverbAllPass& last = m->allPasses[1][3];
  EXPECT_EQ(last.offset + last.size, kReverbStorageSamples);

  EXPECT_FLOAT_EQ(m->combs[0][3].feedback.load(), 0.84f);
  EXPECT_FLOAT_EQ(m->combs[1][5].damp2.load(), 0.8f);
  EXPECT_FLOAT_EQ(m->wet1.load(), 1.0f);
  EXPECT_EQ(m->wet2.load(), 0.0f);  // width 1: the channels do not cross
}

TEST(ReverbModel, AModelNeverLaidOutProcessesNothingAndReturns) {
  auto m = std::make_unique<ReverbModel>();  // no ReverbModel_Init: every size is 0
  float bus[8] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
  ReverbModel_Process(m.get(), bus, bus + 1, bus, bus + 1, 4, 2);
  for (float sample : bus) EXPECT_EQ(sample, 0.0f);  // wet of silence, dry 0
}

TEST(ReverbModel, SettingsAreScaledAndReadBack) {
  auto m = MakeModel();
  ReverbModel_SetRoomSize(m.get(), 1.0f);
  EXPECT_FLOAT_EQ(m->combs[0][0].feedback.load(), 0.98f);
  EXPECT_NEAR(ReverbModel_GetRoomSize(m.get()), 1.0f, 1e-6);
  ReverbModel_SetDamp(m.get(), 0.5f);
  EXPECT_FLOAT_EQ(m->combs[1][7].damp1.load(), 0.2f);
  EXPECT_FLOAT_EQ(ReverbModel_GetDamp(m.get()), 0.5f);
  ReverbModel_SetWidth(m.get(), 0.0f);  // wet 1 split evenly over both channels
  EXPECT_FLOAT_EQ(m->wet1.load(), 0.5f);
  EXPECT_FLOAT_EQ(m->wet2.load(), 0.5f);
}

TEST(ReverbModel, MixAtZeroIsTheInputTimesOnePointTwo) {
  auto m = MakeModel();
  ReverbModel_SetWet(m.get(), 0.0f);
  ReverbModel_SetDry(m.get(), 0.6f);
  const std::vector<float> out = Reverberate(m.get(), 4000, TestSignal);
  for (int n = 0; n < 4000; ++n) {
    ASSERT_EQ(out[2 * n], TestSignal(n, 0) * 1.2f) << n;
    ASSERT_EQ(out[2 * n + 1], TestSignal(n, 1) * 1.2f) << n;
  }
}

TEST(ReverbModel, MixAtFullIsTheWetSignalTimesOnePointEight) {
  auto full = MakeModel(), unit = MakeModel();
  ReverbModel_SetWet(full.get(), 0.6f);   // the panel's wet at position 127
  ReverbModel_SetDry(full.get(), 0.0f);
  ReverbModel_SetWet(unit.get(), 1.0f / 3.0f);  // wet 1: the bare reverb signal
  const std::vector<float> a = Reverberate(full.get(), 4000, TestSignal);
  const std::vector<float> b = Reverberate(unit.get(), 4000, TestSignal);
  ASSERT_FLOAT_EQ(full->wet1.load(), 1.8f);
  bool wet = false;
  for (size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(a[i], b[i] * full->wet1.load()) << i;
    wet = wet || a[i] != 0.0f;
  }
  EXPECT_TRUE(wet);
}

TEST(ReverbModel, LongestRoomStaysBounded) {
  auto m = MakeModel();
  ReverbModel_SetRoomSize(m.get(), 127 * 0.007874016f);
  ReverbModel_SetDamp(m.get(), 0.0f);
  ASSERT_FLOAT_EQ(m->combs[0][0].feedback.load(), 0.98f);
  const std::vector<float> out = Reverberate(m.get(), 10 * 48000, Noise);
  double firstHalf = 0.0, secondHalf = 0.0;
  for (size_t i = 0; i < out.size(); ++i) {
    ASSERT_TRUE(std::isfinite(out[i]));
    double& peak = i < out.size() / 2 ? firstHalf : secondHalf;
    peak = std::max(peak, static_cast<double>(std::abs(out[i])));
  }
  EXPECT_LT(secondHalf, 10.0);
  EXPECT_LT(secondHalf, firstHalf * 1.5);  // settled, not growing
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
  EXPECT_EQ(m->gain.load(), 0.0f);
  EXPECT_EQ(m->combs[0][0].feedback.load(), 1.0f);
  EXPECT_EQ(m->combs[0][0].damp1.load(), 0.0f);
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

// The algorithm as written, one frame at a time over every filter.
struct Reference {
  struct Comb {
    std::vector<float> buffer;
    float store = 0.0f;
    size_t index = 0;
  };
  struct AllPass {
    std::vector<float> buffer;
    size_t index = 0;
  };
  Comb combs[2][8];
  AllPass allPasses[2][4];

  Reference() {
    for (int c = 0; c < 2; ++c) {
      for (int i = 0; i < 8; ++i) combs[c][i].buffer.assign(kReverbCombSizes[i] + 23 * c, 0.0f);
      for (int i = 0; i < 4; ++i) allPasses[c][i].buffer.assign(kReverbAllPassSizes[i] + 23 * c, 0.0f);
    }
  }
  static float Flush(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return (bits & 0x7f800000u) ? v : 0.0f;
  }
  void Frame(const ReverbModel& m, float inL, float inR, float* outL, float* outR) {
    const float input = (inL + inR) * m.gain.load();
    float sum[2] = {0.0f, 0.0f};
    for (int i = 0; i < 8; ++i) {
      for (int c = 0; c < 2; ++c) {
        Comb& comb = combs[c][i];
        const float out = Flush(comb.buffer[comb.index]);
        comb.store = Flush(out * m.combs[c][i].damp2.load() + comb.store * m.combs[c][i].damp1.load());
        comb.buffer[comb.index] = input + comb.store * m.combs[c][i].feedback.load();
        if (++comb.index >= comb.buffer.size()) comb.index = 0;
        sum[c] += out;
      }
    }
    for (int c = 0; c < 2; ++c) {
      for (int i = 0; i < 4; ++i) {
        AllPass& a = allPasses[c][i];
        const float b = Flush(a.buffer[a.index]);
        const float out = b - sum[c];
        a.buffer[a.index] = sum[c] + b * 0.5f;
        if (++a.index >= a.buffer.size()) a.index = 0;
        sum[c] = out;
      }
    }
    *outL = sum[0] * m.wet1.load() + sum[1] * m.wet2.load() + inL * m.dry.load();
    *outR = sum[1] * m.wet1.load() + sum[0] * m.wet2.load() + inR * m.dry.load();
  }
};

TEST(ReverbModel, BlockProcessMatchesTheFrameByFrameAlgorithm) {
  auto m = MakeModel();
  ReverbModel_SetDry(m.get(), 0.3f);
  ReverbModel_SetWidth(m.get(), 0.7f);
  auto ref = std::make_unique<Reference>();
  // Odd block sizes cross every buffer's wrap at different places; separate input and
  // output arrays with stride 1 check the stride handling too.
  const int blocks[] = {1, 7, 256, 300, 512, 3, 1000, 41};
  int n = 0;
  for (int round = 0; round < 3; ++round) {
    for (int block : blocks) {
      std::vector<float> inL(block), inR(block), outL(block), outR(block);
      for (int k = 0; k < block; ++k) {
        inL[k] = Noise(n + k, 0) * 0.5f;
        inR[k] = TestSignal(n + k, 1);
      }
      ReverbModel_Process(m.get(), inL.data(), inR.data(), outL.data(), outR.data(), block, 1);
      for (int k = 0; k < block; ++k, ++n) {
        float l, r;
        ref->Frame(*m, inL[k], inR[k], &l, &r);
        ASSERT_EQ(outL[k], l) << n;
        ASSERT_EQ(outR[k], r) << n;
      }
    }
  }
}

TEST(ReverbModel, GoldenOutput) {
  // Regenerate only on purpose. The left wet part starts at frame 1116, the right one at
  // 1139 (the shortest combs); before that only the dry part sounds.
  struct Sample {
    int frame;
    float left, right;
  };
  const Sample expected[] = {
      {0, 0.125f, 0.335367739f},        {1, 0.0738800541f, 0.240889549f},
      {2, 0.141160622f, 0.249893397f},  {1115, 0.249208048f, 0.151378974f},
      {1116, 0.257764518f, 0.0858216509f}, {1117, 0.226350367f, 0.0125981458f},
      {1139, 0.179217204f, -0.0520041846f}, {1140, 0.118042901f, -0.124706507f},
      {1300, 0.12231949f, 0.267740428f},  {1399, -0.22233586f, -0.0611913055f},
  };
  auto m = MakeModel();
  ReverbModel_SetDry(m.get(), 0.25f);
  const std::vector<float> out = Reverberate(m.get(), 1400, TestSignal, 1400);
  for (const Sample& s : expected) {
    EXPECT_FLOAT_EQ(out[2 * s.frame], s.left) << s.frame;
    EXPECT_FLOAT_EQ(out[2 * s.frame + 1], s.right) << s.frame;
  }
}

}  // namespace
