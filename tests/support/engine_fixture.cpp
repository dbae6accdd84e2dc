#include "support/engine_fixture.h"

#include <algorithm>

#include "engine/buffers.h"

void EngineTest::SetUp() {
  ASSERT_TRUE(Audio_Init());
  engine()->latencyFrames = 0;
}

void EngineTest::TearDown() { Audio_Shutdown(); }

void EngineTest::Reset() {
  Audio_Shutdown();
  SetUp();
  framesRun = 0;
}

int EngineTest::MakeLoop(int frames, int channels, const std::function<float(int, int)>& fill) {
  const int slot = Audio_CreateLoop(0.1, 1.0, channels, 0);
  if (slot < 0) return slot;
  // Exact lengths, shorter than any loop time allows, keep the scenes small.
  const auto bytes = static_cast<uint32_t>(frames * channels * 4);
  Audio_PublishBuffer(slot, Audio_AllocBuffer(bytes, true), bytes, static_cast<uint32_t>(frames),
                      static_cast<uint32_t>(channels), false, 0);
  LoopTrack& t = track(slot);
  EXPECT_EQ(t.length, frames);
  if (fill) {
    float* buffer = t.pBuffer;
    for (int f = 0; f < frames; ++f)
      for (int c = 0; c < channels; ++c) buffer[f * channels + c] = fill(f, c);
  }
  return slot;
}

std::vector<float> EngineTest::Run(long frames, unsigned long bufferFrames,
                                   const std::function<float(long, int)>& input) {
  std::vector<float> out(static_cast<size_t>(frames) * 2);
  std::vector<float> in(bufferFrames * 2);
  std::vector<float> piece(bufferFrames * 2);
  long done = 0;
  while (done < frames) {
    const auto n = static_cast<unsigned long>(std::min<long>(static_cast<long>(bufferFrames), frames - done));
    for (unsigned long f = 0; f < n; ++f)
      for (int c = 0; c < 2; ++c) in[2 * f + c] = input ? input(framesRun + static_cast<long>(f), c) : 0.0f;
    Audio_ProcessStream(engine(), in.data(), piece.data(), n);
    std::copy(piece.begin(), piece.begin() + static_cast<long>(2 * n), out.begin() + 2 * done);
    done += static_cast<long>(n);
    framesRun += static_cast<long>(n);
  }
  return out;
}
