// The reverb against the plain per-frame reference kept beside this test, under the
// stream callback's flush-to-zero and denormals-are-zero: random settings, block sizes,
// bursts and long silences (tails decaying through the denormal range), compared sample
// for sample, and the delay memory left behind.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "effects/denormal_guard.h"
#include "effects/reverb_model.h"
#include "reference_reverb.h"

TEST(ReverbDifferential, RandomRunsMatchThePerFrameReferenceSampleForSample) {
  DenormalGuard denormals;
  auto subject = std::make_unique<ReverbModel>();
  auto reference = std::make_unique<ReverbModel>();
  ReverbModel_Init(subject.get());
  ReverbModel_Init(reference.get());
  std::mt19937 random(7);
  auto level = [&] { return std::uniform_real_distribution<float>(0, 1)(random); };
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  long frame = 0;
  for (int segment = 0; segment < 60; ++segment) {
    // The same setting change on both models between blocks.
    void (*setters[])(ReverbModel*, float) = {ReverbModel_SetRoomSize, ReverbModel_SetDamp, ReverbModel_SetWet,
                                              ReverbModel_SetDry, ReverbModel_SetWidth, ReverbModel_SetMode};
    const int which = pick(0, 5);
    const float value = which == 5 ? (pick(0, 5) == 0 ? 1.0f : 0.0f) : level();
    setters[which](subject.get(), value);
    setters[which](reference.get(), value);
    // Mostly bursts of noise; now and then a silence long enough for the tail to die.
    const bool silence = segment % 15 == 14;
    const long length = silence ? 400000 : pick(1, 5000);
    const float loudness = level();
    for (long done = 0; done < length;) {
      const int block = static_cast<int>(std::min<long>(pick(1, 700), length - done));
      std::vector<float> bus(2 * static_cast<size_t>(block));
      for (float& s : bus) s = silence ? 0.0f : loudness * (2.0f * level() - 1.0f);
      std::vector<float> expected = bus;
      ReverbModel_Process(subject.get(), bus.data(), bus.data() + 1, bus.data(), bus.data() + 1, block, 2);
      Reference_ReverbProcess(reference.get(), expected.data(), expected.data() + 1, expected.data(),
                              expected.data() + 1, block, 2);
      ASSERT_EQ(std::memcmp(bus.data(), expected.data(), bus.size() * sizeof(float)), 0)
          << "differs in the block starting at frame " << frame;
      done += block;
      frame += block;
    }
  }
  EXPECT_EQ(std::memcmp(subject->storage, reference->storage, sizeof subject->storage), 0);
}
