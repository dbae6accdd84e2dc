// The stream callback driven with synthetic buffers: playback laws, recording, the
// insert pass, cuts, resync, meters, Mix to Track, the clock hook and live input.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/effects_ops.h"
#include "support/engine_fixture.h"

namespace {

// The metronome slot (0) stays silent throughout: neither of its gates is on.
class StreamCallback : public EngineTest {
 protected:
  // Frame f, channel c of a loop.
  float Sample(int slot, int f, int c) {
    LoopTrack& t = track(slot);
    return t.pBuffer.load()[f * static_cast<int>(t.numChannels.load()) + c];
  }
  // Puts the head of a loop at frame `at`.
  void Place(int slot, int at) {
    track(slot).position = at;
    track(slot).exactPosition = at;
  }
  // The delay as a plain echo of the bus, kEcho frames later on both channels, no dry part.
  static constexpr long kEcho = 374;  // a line of 375 samples
  static void Echo() {
    for (int c = 0; c < 2; ++c) {
      Audio_SetDelayTime(c, 0.0078125);
      Audio_SetDelayFeedback(c, 0.0);
      Audio_SetDelayMix(c, 1.0);
    }
  }
};

float Ramp(int f, int c) { return static_cast<float>(f + 1) * (c == 0 ? 0.001f : -0.001f); }
float Impulse(int f, int) { return f == 0 ? 1.0f : 0.0f; }

// The first frame whose left output is not silent, or -1.
long FirstSound(const std::vector<float>& out) {
  for (size_t f = 0; 2 * f < out.size(); ++f)
    if (out[2 * f] != 0.0f) return static_cast<long>(f);
  return -1;
}

}  // namespace

TEST_F(StreamCallback, PlaybackAppliesPanVolumeSubmixAndMasterLaws) {
  const int slot = MakeLoop(1000, 2, [](int, int c) { return c == 0 ? 0.5f : 0.25f; });
  Audio_SetTrackPan(slot, 0.25);  // left 1.0, right 0.5
  Audio_SetTrackVolume(slot, 0.8);
  Audio_SetTrackSubmix(slot, 1);
  Audio_SetSubmixVolume(1, 0.5);
  Audio_SetMasterVolume(0.5);  // applied squared
  engine()->state = Playing;
  auto out = Run(10);
  EXPECT_NEAR(out[0], 0.5 * 1.0 * 0.8 * 0.5 * 0.25, 1e-7);
  EXPECT_NEAR(out[1], 0.25 * 0.5 * 0.8 * 0.5 * 0.25, 1e-7);

  Audio_SetSubmixMute(1, 1);
  out = Run(10);
  EXPECT_EQ(out[0], 0.0f);
  Audio_SetSubmixMute(1, 0);
  Audio_SetMasterMute(1);
  out = Run(10);
  EXPECT_EQ(out[0], 0.0f);
}

TEST_F(StreamCallback, MonoTracksPlayOneSampleOnBothSidesAndRecordTheInputSum) {
  const int slot = MakeLoop(500, 1, [](int f, int) { return f * 0.001f; });
  Audio_SetTrackFeedback(slot, 1.0);
  track(slot).record = 1;
  engine()->state = Recording;
  auto out = Run(500, 256, [](long, int c) { return c == 0 ? 0.1f : 0.2f; });
  for (int f = 0; f < 500; ++f) {
    ASSERT_FLOAT_EQ(out[2 * f], f * 0.001f);
    ASSERT_FLOAT_EQ(out[2 * f + 1], f * 0.001f);
    ASSERT_NEAR(Sample(slot, f, 0), f * 0.001 + 0.3, 1e-6);
  }
  EXPECT_TRUE(track(slot).recorded);  // the record head wrapped
}

TEST_F(StreamCallback, FeedbackScalesTheOldMaterialAsTheHeadPasses) {
  for (double feedback : {1.0, 0.0, 0.5}) {
    Reset();
    const int slot = MakeLoop(300, 2, [](int, int) { return 0.5f; });
    Audio_SetTrackFeedback(slot, feedback);
    track(slot).record = 1;
    engine()->state = Recording;
    Run(300, 64, [](long f, int c) { return c == 0 ? 0.01f * static_cast<float>(f % 7) : 0.125f; });
    for (int f = 0; f < 300; ++f) {
      ASSERT_NEAR(Sample(slot, f, 0), 0.5 * feedback + 0.01 * (f % 7), 1e-6) << feedback;
      ASSERT_NEAR(Sample(slot, f, 1), 0.5 * feedback + 0.125, 1e-6) << feedback;
    }
  }
}

TEST_F(StreamCallback, RecordingWritesBehindTheHeadByTheLatencyScaledByTheRate) {
  struct Case {
    double rate;
    int latency;
    int expectedOffset;  // frames the write point trails the head by
  } cases[] = {{1.0, 100, 100}, {0.5, 100, 50}, {-1.0, 100, -100}, {0.5, 101, 50}};
  for (const Case& k : cases) {
    Reset();
    const int length = 1000;
    const int slot = MakeLoop(length, 2);
    track(slot).record = 1;
    Audio_SetTrackRate(slot, k.rate);
    Audio_SetTrackFeedback(slot, 1.0);
    engine()->latencyFrames = k.latency;
    const int start = 400;
    Place(slot, start);
    engine()->state = Recording;
    // One impulse on the first input frame: the head is at `start` then.
    const long base = framesRun;
    Run(1, 256, [base](long f, int c) { return f == base ? (c == 0 ? 1.0f : 2.0f) : 0.0f; });
    int expected = ((start - k.expectedOffset) % length + length) % length;
    EXPECT_FLOAT_EQ(Sample(slot, expected, 0), 1.0f) << "rate " << k.rate;
    EXPECT_FLOAT_EQ(Sample(slot, expected, 1), 2.0f) << "rate " << k.rate;  // channels stay apart
  }
}

TEST_F(StreamCallback, ReverseAndLoopSelectionWrapInsideTheirRanges) {
  const int slot = MakeLoop(3000, 2, Ramp);
  engine()->state = Playing;
  Audio_SetLoopSelection(slot, 1);
  Audio_SetEditRange(slot, 1000, 2000);
  track(slot).resync = 0;
  Place(slot, 1990);
  auto out = Run(20);
  EXPECT_FLOAT_EQ(out[2 * 10], Ramp(1000, 0));  // 1990 + 10 continues at 1000
  EXPECT_EQ(track(slot).position, 1010);

  Audio_SetTrackRate(slot, -1.0);
  Place(slot, 1005);
  out = Run(10);
  EXPECT_FLOAT_EQ(out[2 * 6], Ramp(1999, 0));  // below the begin, back to the end
  Audio_SetLoopSelection(slot, 0);
  Place(slot, 3);
  out = Run(5);
  EXPECT_FLOAT_EQ(out[2 * 4], Ramp(2999, 0));
}

TEST_F(StreamCallback, InsertRecordsExactlyOnePassFromTheLoopStart) {
  static std::vector<int> hooks;
  hooks.clear();
  Audio_SetInsertPassCallback([](int starting) { hooks.push_back(starting); });
  const int length = 700;
  const int slot = MakeLoop(length, 2);
  Audio_SetTrackFeedback(slot, 1.0);
  engine()->state = Playing;
  Run(300);  // head at 300
  ASSERT_TRUE(Audio_InsertLooping(slot));
  EXPECT_EQ(engine()->state.load(), InsertWaiting);
  ASSERT_TRUE(Audio_InsertLooping(slot));  // a second press changes nothing
  auto ones = [](long, int) { return 1.0f; };
  Run(400, 128, ones);  // nothing recorded while waiting
  EXPECT_EQ(engine()->state.load(), InsertWaiting);
  EXPECT_FLOAT_EQ(Sample(slot, 500, 0), 0.0f);
  Run(1, 1, ones);  // frame 0: the pass begins
  EXPECT_EQ(engine()->state.load(), Inserting);
  Run(length + 50, 96, ones);
  EXPECT_EQ(engine()->state.load(), Playing);
  for (int f = 0; f < length; ++f) ASSERT_FLOAT_EQ(Sample(slot, f, 0), 1.0f) << f;
  EXPECT_EQ(hooks, (std::vector<int>{1, 0}));
}

// Each frame is written once, on the output frame that reaches it first.
TEST_F(StreamCallback, InsertAtHalfSpeedStillRecordsAWholePass) {
  const int slot = MakeLoop(100, 1);
  Audio_SetTrackRate(slot, 0.5);
  Audio_SetTrackFeedback(slot, 1.0);
  ASSERT_TRUE(Audio_InsertLooping(slot));  // the head sits at frame 0: begins at once
  Run(1, 1, [](long, int c) { return c == 0 ? 1.0f : 0.0f; });
  EXPECT_EQ(engine()->state.load(), Inserting);
  Run(199, 50, [](long, int c) { return c == 0 ? 1.0f : 0.0f; });
  EXPECT_EQ(engine()->state.load(), Inserting);
  Run(1, 1);
  EXPECT_EQ(engine()->state.load(), Playing);
  for (int f = 0; f < 100; ++f) ASSERT_FLOAT_EQ(Sample(slot, f, 0), 1.0f) << f;
}

TEST_F(StreamCallback, PendingCutEndsTheLoopAtTheHead) {
  const int slot = MakeLoop(5000, 2);
  track(slot).record = 1;
  engine()->state = Recording;
  Run(1234, 100);
  EXPECT_TRUE(Audio_SetLoopAtPosition(slot, false));  // unforced: recording, not yet recorded
  Run(10, 10);
  LoopTrack& t = track(slot);
  EXPECT_EQ(t.length, 1234);
  EXPECT_EQ(t.editEnd, 1234);
  EXPECT_EQ(t.bufferSize, 5000u * 2 * 4);  // the buffer keeps its size
  EXPECT_TRUE(t.recorded);
  EXPECT_EQ(t.position, 10);
  EXPECT_EQ(engine()->pendingCutTrack, -1);
  EXPECT_FALSE(Audio_SetLoopAtPosition(slot, false));  // recorded now: unforced refused
  EXPECT_TRUE(Audio_SetLoopAtPosition(slot, true));

  engine()->state = Stopped;
  engine()->pendingCutTrack = -1;
  EXPECT_FALSE(Audio_SetLoopAtPosition(slot, true));  // force ignored while stopped
  EXPECT_EQ(engine()->pendingCutTrack, -1);
}

TEST_F(StreamCallback, ResyncTakesThePositionOfTheNearestRunningTrack) {
  const int a = MakeLoop(1000, 2);
  const int b = MakeLoop(400, 2, Ramp);
  const int c = MakeLoop(2000, 2);
  for (auto [slot, at] : {std::pair{a, 700}, {b, 300}, {c, 100}}) Place(slot, at);
  engine()->state = Playing;

  // b looks downwards first (a's 700 does not fit in 400, the silent metronome is not
  // running), then upwards: c's 100 fits.
  track(b).resync = 1;
  Run(1, 1);
  EXPECT_EQ(track(b).position, 101);
  EXPECT_EQ(track(b).resync, 0);

  // With nothing that fits, the first track met (never the metronome) gives its
  // position modulo the length.
  Place(a, 700);
  Place(c, 1500);
  track(b).resync = 1;
  const std::vector<float> out = Run(1, 1);
  EXPECT_EQ(track(b).position, 701 % 400 + 1);  // a moved on before b was rendered
  EXPECT_NEAR(out[0], Ramp(701 % 400, 0) * track(b).volume, 1e-6);  // b sounds from there at once
}

// A buffer published with resync while the callback is between its swap step and the
// track's render (here: the swap finds the lock busy) must still start aligned.
TEST_F(StreamCallback, ResyncOfAWaitingBufferSurvivesARenderOfTheOldOne) {
  const int a = MakeLoop(1000, 2);
  const int b = MakeLoop(400, 2);
  Place(a, 100);
  engine()->state = Playing;
  Audio_SetCallbackRunning(true);
  Audio_PublishBuffer(b, Audio_AllocBuffer(400 * 8, true), 400 * 8, 400, 2, false, 1);
  std::atomic<int> step{0};
  std::thread holder([&] {
    engine()->lock.lock();
    step = 1;
    while (step != 2) std::this_thread::yield();
    engine()->lock.unlock();
  });
  while (step != 1) std::this_thread::yield();
  Run(1, 1);  // the swap finds the lock busy; the old buffer plays
  step = 2;
  holder.join();
  Run(1, 1);  // swapped in, then aligned with a
  EXPECT_EQ(track(b).position, track(a).position + 1);  // a moved on before b was rendered
  Audio_SetCallbackRunning(false);
}

TEST_F(StreamCallback, MetersTakeHalfTheSignedSumAndTheEffectsSendSplitsTheSignal) {
  const int neg = MakeLoop(100, 2, [](int, int) { return -0.5f; });
  const int pos = MakeLoop(100, 2, [](int, int c) { return c == 0 ? 0.6f : 0.2f; });
  Audio_SetTrackEffects(pos, 1);
  Audio_SetTrackEffectsMix(pos, 0.5);
  engine()->delayEnabled = 0;  // the bus passes through unchanged
  engine()->state = Playing;
  auto out = Run(10);
  EXPECT_DOUBLE_EQ(track(neg).peak, 0.0);  // a negative sum never raises the meter
  EXPECT_NEAR(track(pos).peak, 0.4, 1e-7);
  // dry part plus the bus (passed through) equals sqrt(.5) + sqrt(.5) of the signal
  const double both = std::sqrt(0.5) * 2;
  EXPECT_NEAR(out[0], -0.5 + 0.6 * both, 1e-6);
  EXPECT_NEAR(Audio_GetOutputPeak(0), std::fabs(-0.5 + 0.6 * both), 1e-6);
}

TEST_F(StreamCallback, MixToTrackBouncesTheOutputIntoTheRecordTrack) {
  for (const int channels : {1, 2}) {
    Reset();
    MakeLoop(200, 2, [](int, int c) { return c == 0 ? 0.25f : 0.5f; });
    const int target = MakeLoop(200, channels);
    track(target).record = 1;
    Audio_SetMixToTrack(1);
    ASSERT_TRUE(Audio_InsertLooping(target));
    Run(260, 64);
    EXPECT_EQ(engine()->state.load(), Playing);
    // Every frame of one pass; a mono target keeps the right channel.
    for (int f = 0; f < 200; ++f) {
      ASSERT_FLOAT_EQ(Sample(target, f, 0), channels == 1 ? 0.5f : 0.25f) << f;
      if (channels == 2) {
        ASSERT_FLOAT_EQ(Sample(target, f, 1), 0.5f) << f;
      }
    }
    EXPECT_DOUBLE_EQ(track(target).peak, channels == 1 ? 0.5 : 0.375);  // half the sum, as it plays back
  }
}

TEST_F(StreamCallback, OversizedCallbacksAreProcessedInPiecesAndMissingBuffersAreSafe) {
  const int slot = MakeLoop(5000, 2, Ramp);
  engine()->state = Playing;
  auto out = Run(2000, 2000);
  for (int f = 0; f < 2000; ++f) ASSERT_FLOAT_EQ(out[2 * f], Ramp(f, 0)) << f;
  EXPECT_EQ(track(slot).position, 2000);
  EXPECT_TRUE(dialog.shown.empty());  // nothing on the audio thread shows a window

  std::vector<float> buffer(64, 7.0f);
  EXPECT_EQ(Audio_ProcessStream(engine(), nullptr, buffer.data(), 32), 0);
  for (float s : buffer) EXPECT_EQ(s, 0.0f);
  EXPECT_EQ(Audio_ProcessStream(engine(), buffer.data(), nullptr, 32), 0);
  EXPECT_EQ(track(slot).position, 2000);
}

TEST_F(StreamCallback, StopRewindsAndPauseKeepsPositionsAndNeitherSounds) {
  const int a = MakeLoop(1000, 2, Ramp);
  const int b = MakeLoop(3000, 2);
  Audio_SetLoopSelection(b, 1);
  Audio_SetEditRange(b, 100, 2000);
  track(b).resync = 0;
  Audio_PlayLooping();
  Run(500);
  Audio_PauseLooping();
  EXPECT_EQ(FirstSound(Run(500)), -1);
  EXPECT_EQ(track(a).position, 500);
  Audio_PlayLooping();
  Run(100);
  EXPECT_EQ(track(a).position, 600);
  Audio_StopLooping();
  EXPECT_EQ(FirstSound(Run(500)), -1);
  EXPECT_EQ(track(a).position, 0);
  EXPECT_EQ(track(b).position, 100);
  EXPECT_EQ(track(b).lastPosition, 101);
  Audio_PlayLooping();
  Run(10);
  EXPECT_EQ(track(a).position, 10);
}

TEST_F(StreamCallback, AMetronomeThatStopsMidBufferStaysInStepWithTheLoops) {
  const int slot = MakeLoop(48000, 2);  // as long as the 1 s click loop
  engine()->metronomePlayback = 1;
  engine()->metronomeMax = 1;
  Audio_PlayLooping();
  Run(48000 + 1000, 256);  // the click stops at its second loop start, inside a buffer
  EXPECT_FALSE(track(0).active);
  EXPECT_EQ(track(0).position, track(slot).position);
}

TEST_F(StreamCallback, WhileRunningTheEffectsRunOnlyForASend) {
  // An impulse sent wholly to the bus in the first buffer. Without a send from then on
  // the effect stands still while playing (its tail stops at once) and rings on from
  // where it stood when the transport stops.
  for (const bool reverb : {false, true}) {
    for (const bool keepSend : {true, false}) {
      SCOPED_TRACE(std::string(reverb ? "reverb" : "delay") + (keepSend ? ", send kept" : ", send off"));
      const long answer = reverb ? 1116 : kEcho;  // the frame the effect answers at
      Reset();
      Echo();
      Audio_EnableDelay(!reverb);
      Audio_EnableReverb(reverb);
      const int slot = MakeLoop(48000, 2, Impulse);
      Audio_SetTrackEffects(slot, 1);
      Audio_SetTrackEffectsMix(slot, 1.0);
      Audio_PlayLooping();
      Run(256);
      Audio_SetTrackEffects(slot, keepSend);
      EXPECT_EQ(FirstSound(Run(answer)), keepSend ? answer - 256 : -1);
      if (keepSend) continue;
      Audio_StopLooping();
      EXPECT_EQ(FirstSound(Run(answer)), answer - 256);
    }
  }
}

TEST_F(StreamCallback, LiveInputTakesTheEffectsMixOfTheCurrentTrack) {
  Echo();
  const int slot = MakeLoop(100, 2);
  Audio_SetTrackEffectsMix(slot, 0.64);  // dry 0.6, wet 0.8
  Audio_SetLatentInput(1);
  Audio_SetLatentInputEffectsMix(0.0);  // its own gains: all dry
  Audio_SetLatentInputTrack(slot);
  const struct {
    bool useLoopMix;
    float dry, echo;
  } cases[] = {{true, 0.6f, 0.8f}, {false, 1.0f, 0.0f}};
  for (const auto& c : cases) {
    Audio_SetLatentInputUseLoopEffectsMix(c.useLoopMix);
    const long start = framesRun;
    const std::vector<float> out = Run(400, 256, [start](long f, int c) { return f == start ? 1.0f - 0.5f * c : 0.0f; });
    EXPECT_NEAR(out[0], c.dry, 1e-6) << c.useLoopMix;
    EXPECT_NEAR(out[2 * kEcho], c.echo, 1e-6) << c.useLoopMix;  // the wet part, through the delay
  }
  EXPECT_DOUBLE_EQ(Audio_GetInputPeak(0), 1.0);
  EXPECT_DOUBLE_EQ(Audio_GetInputPeak(1), 0.5);
}

TEST_F(StreamCallback, StopAndPlayApplyAPendingCutBeforeStoringTheTake) {
  // The first recording in "Max Time" mode ends with a forced cut and then Stop or Play,
  // with or without a callback running to apply the cut.
  for (const bool stop : {true, false}) {
    for (const bool callback : {false, true}) {
      SCOPED_TRACE(std::string(stop ? "stop" : "play") + (callback ? ", callback running" : ""));
      Reset();
      const int cut = MakeLoop(5000, 2), other = MakeLoop(3000, 2);
      Audio_SetCallbackRunning(callback);
      ASSERT_TRUE(Audio_RecordLooping(cut));
      Run(1234);
      ASSERT_TRUE(Audio_SetLoopAtPosition(cut, true));
      auto command = std::async(std::launch::async, stop ? Audio_StopLooping : Audio_PlayLooping);
      while (command.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        if (callback) Run(256);
      Run(100);
      EXPECT_EQ(track(cut).length, 1234);
      EXPECT_TRUE(track(cut).recorded);
      const UndoSnapshot& take = engine()->undo[1 - engine()->undoCurrent];
      EXPECT_EQ(take.track, static_cast<uint32_t>(cut));
      EXPECT_EQ(take.length, 1234u);
      // Stop rewinds every track; Play rewinds only the cut one and the others go on.
      EXPECT_EQ(track(cut).position, stop ? 0 : (framesRun - 1234) % 1234);
      EXPECT_EQ(track(other).position, stop ? 0 : framesRun % 3000);
      Audio_SetCallbackRunning(false);
    }
  }
}
