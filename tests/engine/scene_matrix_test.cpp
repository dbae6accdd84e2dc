// The same scene through the callback in differently sized buffers, at several sample
// rates: what lands in the loops, the output, the insert hand-overs and the clock ticks
// must not depend on how the stream slices time.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/audio.h"
#include "support/engine_fixture.h"

namespace {

struct SceneResult {
  std::vector<float> output;
  std::vector<float> recorded;  // the record track's buffer at the end
  std::vector<int> insertHooks;
  long clockTicks = 0;
  int32_t finalState = 0;
};

std::vector<int>* insertHooks;
long* clockTicks;

float InputSignal(long f, int c) {
  return static_cast<float>(0.3 * std::sin(0.01 * static_cast<double>(f) + c) + 0.001 * (f % 13));
}

class SceneMatrix : public EngineTest, public ::testing::WithParamInterface<double> {
 protected:
  // Runs the scene in buffers whose sizes come from `nextSize`.
  SceneResult RunScene(const std::function<unsigned long()>& nextSize) {
    SceneResult result;
    insertHooks = &result.insertHooks;
    clockTicks = &result.clockTicks;
    Audio_SetInsertPassCallback([](int starting) { insertHooks->push_back(starting); });
    Audio_SetMidiClockCallback([] { ++*clockTicks; });

    AudioEngine* e = engine();
    e->latencyFrames = 37;
    const double rate = e->sampleRate;
    const int lengthA = static_cast<int>(rate * 0.05);
    const int lengthB = static_cast<int>(rate * 0.03);
    const int lengthC = static_cast<int>(rate * 0.04);
    const int a = MakeLoop(lengthA, 2, [](int f, int c) { return 0.01f * static_cast<float>(f % 50) - 0.2f * c; });
    const int b = MakeLoop(lengthB, 1, [](int f, int) { return 0.002f * static_cast<float>(f % 300); });
    const int c = MakeLoop(lengthC, 2, [](int f, int ch) { return 0.1f * static_cast<float>((f + ch) % 3); });
    Audio_SetTrackRate(b, 0.5);
    Audio_SetTrackPan(b, 0.3);
    Audio_SetLoopSelection(a, 1);
    Audio_SetEditRange(a, lengthA / 4, lengthA / 2);
    track(a).resync = 0;
    Audio_SetTrackFeedback(c, 0.7);
    Audio_SetTrackRate(c, 1.0);

    const long total = 6L * lengthC + 123;
    // Commands land at the first buffer boundary after their moment: each is placed
    // where the head of C is far from its loop start, so the outcome must not move.
    const long insertAgainAt = 2L * lengthC + lengthC / 3;
    bool insertedAgain = false;
    Audio_InsertLooping(c);  // C sits at frame 0: the first pass begins at once
    while (framesRun < total) {
      if (!insertedAgain && framesRun >= insertAgainAt) {
        Audio_InsertLooping(c);
        insertedAgain = true;
      }
      const long n = std::min<long>(static_cast<long>(nextSize()), total - framesRun);
      auto out = Run(n, static_cast<unsigned long>(n), InputSignal);
      result.output.insert(result.output.end(), out.begin(), out.end());
    }
    const float* buffer = track(c).pBuffer;
    result.recorded.assign(buffer, buffer + 2 * lengthC);
    result.finalState = engine()->state.load();
    Audio_SetInsertPassCallback(nullptr);
    Audio_SetMidiClockCallback(nullptr);
    return result;
  }

  void ResetEngine() {
    Reset();
    engine()->sampleRate = GetParam();
  }
};

}  // namespace

TEST_P(SceneMatrix, OutcomeDoesNotDependOnBufferSize) {
  ResetEngine();
  const SceneResult reference = RunScene([] { return 256ul; });
  // Two passes recorded (one at once, one after the second press), then playback.
  EXPECT_EQ(reference.insertHooks, (std::vector<int>{1, 0, 1, 0}));
  EXPECT_EQ(reference.finalState, Playing);
  const long frames = static_cast<long>(reference.output.size() / 2);
  EXPECT_EQ(reference.clockTicks, (frames + 999) / 1000);

  std::mt19937 random(1234);
  std::uniform_int_distribution<unsigned long> anySize(1, 1024);
  const std::vector<std::pair<const char*, std::function<unsigned long()>>> slicings = {
      {"64", [] { return 64ul; }},
      {"511", [] { return 511ul; }},
      {"1024", [] { return 1024ul; }},
      {"random", [&] { return anySize(random); }},
  };
  for (const auto& [name, nextSize] : slicings) {
    ResetEngine();
    const SceneResult result = RunScene(nextSize);
    EXPECT_EQ(result.insertHooks, reference.insertHooks) << name;
    EXPECT_EQ(result.clockTicks, reference.clockTicks) << name;
    EXPECT_EQ(result.finalState, reference.finalState) << name;
    EXPECT_TRUE(result.recorded == reference.recorded) << "recorded loop differs, buffers of " << name;
    EXPECT_TRUE(result.output == reference.output) << "output differs, buffers of " << name;
  }
}

INSTANTIATE_TEST_SUITE_P(SampleRates, SceneMatrix, ::testing::Values(44100.0, 48000.0, 96000.0),
                         [](const auto& info) { return std::to_string(static_cast<int>(info.param)); });
