// Seam crossfades: a sine recorded over the loop wrap, punched in and out, muted, switched
// in rate and direction, stopped and started. At every seam the output may step no further
// from one sample to the next than the signal itself does (x 1.5); with the crossfade at 0
// the same scenes show the steps the crossfades remove.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>
#include <vector>

#include "engine/audio.h"
#include "engine/undo.h"
#include "engine/undo_audio.h"
#include "support/engine_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 48000.0;

// A sine of `hz` at amplitude `a`, starting at `phase` radians.
std::function<float(long, int)> Sine(double hz, double a, double phase = 0.0) {
  return [=](long f, int) { return static_cast<float>(a * std::sin(2.0 * kPi * hz * f / kRate + phase)); };
}
// The largest step a sine of `hz` at amplitude `a` takes between two samples.
double SineStep(double hz, double a) { return 2.0 * a * std::sin(kPi * hz / kRate); }

// Stretches of output, each continuous in time.
using Pieces = std::vector<std::vector<float>>;

// The largest sample-to-sample step of either channel within any of the pieces.
double LargestStep(const Pieces& pieces) {
  double largest = 0.0;
  for (const std::vector<float>& out : pieces)
    for (size_t i = 2; i < out.size(); ++i) largest = std::max(largest, std::fabs(double(out[i]) - out[i - 2]));
  return largest;
}

class Seams : public EngineTest {
 protected:
  // A loop of 4800 frames holding 40 whole periods of a 400 Hz sine (so that its own wrap
  // is seamless), playing from its start with feedback `feedback`.
  int SeamlessLoop(double feedback = 1.0) {
    const int slot = MakeLoop(4800, 2, [](int f, int) { return static_cast<float>(0.5 * std::sin(2.0 * kPi * 400.0 * f / kRate)); });
    Audio_SetTrackFeedback(slot, feedback);
    track(slot).resync = 0;
    Audio_PlayLooping();
    return slot;
  }
  // `before` frames, then `change`, then `after` frames: one stretch of output.
  std::vector<float> Across(long before, const std::function<void()>& change, long after) {
    std::vector<float> out = Run(before);
    change();
    const std::vector<float> rest = Run(after);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
  }
  static constexpr double kLoopStep = 0.5 * 0.05235 /* 2 sin(pi 400 / 48000) */;
};

struct Scene {
  const char* name;
  double signalStep;  // the largest step of the signal heard without seams
  // Sets up, runs, and returns the output to be checked (the seams lie within it).
  std::function<Pieces()> run;
};

}  // namespace

TEST_F(Seams, NoSeamStepsFurtherThanTheSignalAndWithoutCrossfadesTheyDo) {
  auto* t = this;
  // A take recorded on a silent track, ended by the loop's length being set at the head
  // and Play, as a performer records a first loop: the input heard past the loop end must
  // continue the loop's end into its start.
  auto firstTake = [&](double rate) {
    const int slot = t->MakeLoop(48000, 2);
    EXPECT_TRUE(Audio_RecordLooping(slot));
    t->Run(10007, 256, Sine(440.0, 0.5, 1.0));
    EXPECT_TRUE(Audio_SetLoopAtPosition(slot, false));
    Audio_PlayLooping();
    EXPECT_EQ(Audio_GetLoopLength(slot), 10007);
    t->Run(10007, 256, Sine(440.0, 0.5, 1.0));  // the pass that fades the overlap in
    Audio_SetTrackRate(slot, rate);
    t->Run(3000);
    return Pieces{t->Run(3 * 10007 + 5)};
  };
  const Scene scenes[] = {
      {"a first take over its wrap", SineStep(440, 0.5), [&] { return firstTake(1.0); }},
      {"a first take over its wrap in reverse", SineStep(440, 0.5), [&] { return firstTake(-1.0); }},
      {"a first take over its wrap at half speed", SineStep(440, 0.5), [&] { return firstTake(0.5); }},
      {"an insert pass from the loop start",
       SineStep(400, 0.5) + SineStep(317, 0.4),
       [&] {
         const int slot = t->SeamlessLoop(0.8);
         t->Run(1000);
         EXPECT_TRUE(Audio_InsertLooping(slot));
         t->Run(3800 + 4800 + 300, 256, Sine(317, 0.4, 2.0));  // in at the loop start, out at the next one
         EXPECT_EQ(Audio_GetTransportState(), Playing);
         return Pieces{t->Run(2 * 4800)};
       }},
      {"an overdub punched in and out mid-loop, forward and in reverse",
       SineStep(400, 0.5) + SineStep(300, 0.4),
       [&] {
         const int slot = t->SeamlessLoop(0.7);
         Pieces out;
         for (const double rate : {1.0, -1.0}) {
           Audio_SetTrackRate(slot, rate);
           t->Run(1111);
           EXPECT_TRUE(Audio_RecordLooping(slot));
           t->Run(2000, 256, Sine(300, 0.4, 1.3));
           Audio_PlayLooping();
           t->Run(3000, 256, Sine(300, 0.4, 1.3));  // the input goes on, unrecorded
           const std::vector<float> pass = t->Run(4800);
           out.push_back(pass);
         }
         return out;
       }},
      {"an overdub ended by Stop at half speed",
       // Recorded at half speed, the input holds a sample for two frames when played back.
       SineStep(400, 0.5) + 2 * SineStep(300, 0.4),
       [&] {
         const int slot = t->SeamlessLoop(0.9);
         Audio_SetTrackRate(slot, 0.5);
         t->Run(1000);
         EXPECT_TRUE(Audio_RecordLooping(slot));
         t->Run(1500, 256, Sine(300, 0.4, 0.4));
         Audio_StopLooping();
         t->Run(500, 256, Sine(300, 0.4, 0.4));
         Audio_PlayLooping();
         return Pieces{t->Run(2 * 9600)};
       }},
      {"mute, unmute and a submix mute",
       kLoopStep,
       [&] {
         const int slot = t->SeamlessLoop();
         Pieces out;
         for (const auto& change : std::vector<std::function<void()>>{
                  [&] { Audio_SetTrackVolume(slot, 0.0); }, [&] { Audio_SetTrackVolume(slot, 1.0); },
                  [] { Audio_SetSubmixMute(0, 1); }, [] { Audio_SetSubmixMute(0, 0); }}) {
           out.push_back(t->Across(333, change, 700));
         }
         return out;
       }},
      {"reverse and half-speed switches, and the resync that lines a track up again",
       kLoopStep,
       [&] {
         const int slot = t->SeamlessLoop();
         const int other = t->SeamlessLoop();
         Audio_SetTrackVolume(other, 0.0);
         Pieces out;
         for (const double rate : {-1.0, -0.5, 0.5, 1.0}) {
           out.push_back(t->Across(1234, [&] {
             Audio_SetTrackRate(slot, rate);
             if (rate == 1.0) Audio_RequestResync(slot);  // back in step with the other track
           }, 1000));
         }
         EXPECT_EQ(t->track(slot).position, t->track(other).position);
         return out;
       }},
      {"Stop, Play, Pause and Play", kLoopStep,
       [&] {
         t->SeamlessLoop();
         Pieces out;
         for (auto transport : {Audio_StopLooping, Audio_PlayLooping, Audio_PauseLooping, Audio_PlayLooping})
           out.push_back(t->Across(1077, transport, 1000));
         return out;
       }},
  };
  for (const Scene& scene : scenes) {
    SCOPED_TRACE(scene.name);
    for (const int milliseconds : {5, 0}) {
      Reset();
      Audio_SetSeamCrossfade(milliseconds);
      const double step = LargestStep(scene.run());
      if (milliseconds)
        EXPECT_LT(step, 1.5 * scene.signalStep);
      else
        EXPECT_GT(step, 1.5 * scene.signalStep);  // the scene does have a seam to smooth
    }
  }
}

// The first take's end fades into its start: past the fade the loop holds what was
// played from the loop start on, before it the input heard past the loop end takes over.
TEST_F(Seams, ATakeHoldsItsOverlapFadedIntoItsStartAndNothingIsWrittenAfterTheFade) {
  Audio_SetSeamCrossfade(5);
  const int slot = MakeLoop(48000, 1);
  Audio_SetCallbackRunning(true);  // the stream's pace: Play waits for the fade's last writes
  ASSERT_TRUE(Audio_RecordLooping(slot));
  const auto input = [](long f, int) { return f < 4000 ? 0.25f : 0.5f; };  // the take, then what follows it
  Run(4000, 128, input);
  ASSERT_TRUE(Audio_SetLoopAtPosition(slot, false));
  std::thread stream([&] {
    while (engine()->state.load() == Recording) std::this_thread::yield();
    while (engine()->pendingCutTrack != -1 || engine()->state.load() == Recording) Run(32, 32, input);
    Run(1024, 128, input);
  });
  Audio_PlayLooping();
  const bool writing = engine()->seamRecording.load();
  stream.join();
  Audio_SetCallbackRunning(false);
  EXPECT_FALSE(writing);  // Play returned only after the fade's last frame was written
  const float* take = track(slot).pBuffer;
  ASSERT_EQ(Audio_GetLoopLength(slot), 4000);
  // Mono: both input channels land. Fading in from the start, the overlap fading out.
  EXPECT_NEAR(take[0], 0.5 / 240 + 1.0 * 239 / 240, 1e-5);
  EXPECT_NEAR(take[120], 0.5 * 121 / 240 + 1.0 * 119 / 240, 1e-5);
  for (int f = 240; f < 4000; ++f) ASSERT_EQ(take[f], 0.5f) << f;
  for (int f = 1; f < 240; ++f) ASSERT_LT(take[f], take[f - 1]) << f;
}

// The history keeps a take as the loop holds it once its fade-out has been written: a
// Stop right after crossfades were turned on, and an insert pass's end read by the next
// poll while its input still fades out.
TEST_F(Seams, TheHistoryTakesATakeOnlyAfterItsFadeOutIsWritten) {
  Audio_EnableUndo();
  const auto input = [](long, int) { return 0.25f; };
  // Lets the stream run until `until` holds, then stops it for longer than any poll waits
  // unless it waits for the fade, then lets it run on.
  const auto streamUntil = [&](const std::function<bool()>& until) {
    return std::thread([&, until] {
      while (!until()) Run(32, 32, input);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      Run(1024, 128, input);
    });
  };
  const auto historyHoldsTheLoop = [&](int slot) {
    const LoopTrack& t = track(slot);
    std::vector<float> held(t.bufferSize / 4);
    ASSERT_NE(Undo_PresentAudio(slot), nullptr);
    UndoAudio_CopyTo(*Undo_PresentAudio(slot), held.data());
    for (size_t i = 0; i < held.size(); ++i) ASSERT_EQ(held[i], t.pBuffer[i]) << "frame " << i / 2;
  };
  {
    const int slot = MakeLoop(48000, 2);
    Audio_SetCallbackRunning(true);
    ASSERT_TRUE(Audio_RecordLooping(slot));
    Run(4000, 128, input);
    Audio_SetSeamCrossfade(5);
    std::thread stream = streamUntil([&] { return engine()->state.load() != Recording; });
    Audio_StopLooping();
    stream.join();
    Audio_SetCallbackRunning(false);
    historyHoldsTheLoop(slot);
    EXPECT_GT(track(slot).pBuffer[2 * 4100], 0.0f);  // the tail did write past the head
  }
  {
    Reset();
    Audio_EnableUndo();
    Audio_SetSeamCrossfade(5);
    const int slot = MakeLoop(4800, 2, [](int, int) { return 0.5f; });
    Audio_PlayLooping();
    Audio_SetCallbackRunning(true);
    ASSERT_TRUE(Audio_InsertLooping(slot));
    std::thread stream = streamUntil([&] { return engine()->state.load() == Playing; });
    while (engine()->state.load() != Playing) std::this_thread::yield();
    Audio_PollChanges();  // takes the pass's snapshot
    stream.join();
    Audio_SetCallbackRunning(false);
    historyHoldsTheLoop(slot);
  }
}

// A crossfade longer than a quarter of the loop is shortened to it; an unmuted track
// reaches its full gain at the end of the fade and stays there.
TEST_F(Seams, AFadeIsAtMostAQuarterOfTheLoop) {
  for (const int frames : {400, 4000}) {
    Reset();
    Audio_SetSeamCrossfade(50);  // 2400 frames
    const int slot = MakeLoop(frames, 2, [](int, int) { return 0.5f; });
    Audio_SetTrackVolume(slot, 0.0);
    track(slot).resync = 0;
    Audio_PlayLooping();
    Run(100);
    Audio_SetTrackVolume(slot, 1.0);
    const std::vector<float> out = Run(3000);
    const int fade = std::min(2400, frames / 4);
    EXPECT_LT(out[2 * (fade - 2)], 0.5f);
    EXPECT_EQ(out[2 * (fade - 1)], 0.5f);
    EXPECT_EQ(*std::min_element(out.begin() + 2 * fade, out.end()), 0.5f);
  }
  EXPECT_EQ((Audio_SetSeamCrossfade(90), Audio_GetSeamCrossfade()), 50);
  EXPECT_EQ((Audio_SetSeamCrossfade(-3), Audio_GetSeamCrossfade()), 0);
}
