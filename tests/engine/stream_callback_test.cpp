// The stream callback driven with synthetic buffers: playback and overdub against a
// frame-by-frame model of one loop, inserts, cuts, resync, meters, Mix to Track, the
// effects send and live input.
#include <gtest/gtest.h>

#include <algorithm>
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
// Left and right of varying sign and size, so that the meter's signed sum moves about.
float Mixed(int f, int c) { return static_cast<float>((f * 7 + c * 3) % 41 - 20) / 20.0f; }
float Input(long f, int c) { return static_cast<float>((f * (c + 3)) % 97 - 48) / 192.0f; }

// The first frame whose left output is not silent, or -1.
long FirstSound(const std::vector<float>& out) {
  for (size_t f = 0; 2 * f < out.size(); ++f)
    if (out[2 * f] != 0.0f) return static_cast<long>(f);
  return -1;
}

// One loop at unity gain by the rules, frame by frame: the head plays (a mono loop on
// both sides, split between output and effects bus when it sends); on each new frame while
// recording the head fades by the feedback and the input is added at the write point, the
// latency (scaled by the rate) behind the head; then the head moves by the rate and wraps
// inside the loop or the selection.
struct LoopModel {
  std::vector<float> audio;
  int channels, length, begin, end;
  double rate, feedback, dry, wet;
  long latency;
  bool record, send;
  double exact;
  int position, last = -1;
  double peak = 0.0;
  bool wrapped = false;

  void Frame(const float* in, float* out) {
    float* head = &audio[static_cast<size_t>(position * channels)];
    const double s[2] = {head[0], head[channels - 1]};
    for (int c = 0; c < 2; ++c)
      out[c] = send ? static_cast<float>(s[c] * dry) + static_cast<float>(s[c] * wet) : static_cast<float>(s[c]);
    peak = std::max(peak, (s[0] + s[1]) * 0.5);
    if (record && position != last) {
      long write = position - static_cast<long>(static_cast<double>(latency) * rate) % length;
      write += write < 0 ? length : write >= length ? -length : 0;
      float* target = &audio[static_cast<size_t>(write * channels)];
      for (int c = 0; c < channels; ++c) {
        head[c] = static_cast<float>(head[c] * feedback);
        target[c] = static_cast<float>(target[c] + static_cast<double>(in[c]) + (channels == 1 ? in[1] : 0.0f));
      }
    }
    last = position;
    exact += rate;
    position = static_cast<int>(exact);
    const int span = end - begin;
    if (position >= end || position < begin) {
      const int by = position >= end ? -span : span;
      position += by;
      exact += by;
      wrapped = true;
    }
  }
};

}  // namespace

// Runs are rendered apart from single frames, stepping at whole and half frames and two
// frames at a time: whatever the rate, range, channels or buffer sizes, every sample must
// come out as the frame-by-frame rules give it.
TEST_F(StreamCallback, PlaybackAndOverdubFollowTheFrameByFrameRules) {
  const struct Scene {
    const char* name;
    int channels;
    double rate;
    int start, begin, end;  // the selection; the whole loop of 1000 frames when end is 0
    long latency;
    double feedback;  // recording when above 0
    bool send;
  } scenes[] = {
      {"stereo forward", 2, 1.0, 990, 0, 0, 0, 0, false},
      {"mono forward", 1, 1.0, 3, 0, 0, 0, 0, false},
      {"reverse", 2, -1.0, 5, 0, 0, 0, 0, false},
      {"half speed", 2, 0.5, 997, 0, 0, 0, 0, true},
      {"mono half speed reverse", 1, -0.5, 2, 0, 0, 0, 0, false},
      {"odd rates", 2, 0.7, 0, 0, 0, 0, 0, false},
      {"odd rate reverse", 1, -1.3, 10, 0, 0, 0, 0, false},
      {"double speed", 2, 2.0, 1, 0, 0, 0, 0, false},
      {"selection", 2, 1.0, 690, 300, 700, 0, 0, true},
      {"selection in reverse", 1, -0.5, 301, 300, 700, 0, 0, false},
      {"overdub", 2, 1.0, 400, 0, 0, 100, 0.5, false},
      {"overdub sending", 2, 1.0, 0, 0, 0, 0, 0.75, true},
      {"mono overdub", 1, 1.0, 900, 0, 0, 37, 0.7, false},
      {"overdub at half speed", 2, 0.5, 0, 0, 0, 101, 0.9, false},
      {"overdub in reverse", 2, -1.0, 500, 0, 0, 100, 0.8, false},
      {"overdub at an odd rate", 1, 1.3, 0, 0, 0, 250, 0.6, false},
      // The write point runs ahead of the head inside the selection: the head meets it.
      {"write point ahead", 2, 1.0, 150, 100, 400, 950, 0.5, false},
  };
  for (const Scene& s : scenes) {
    SCOPED_TRACE(s.name);
    Reset();
    const int length = 1000;
    const int slot = MakeLoop(length, s.channels, Mixed);
    LoopTrack& t = track(slot);
    Audio_SetTrackRate(slot, s.rate);
    Audio_SetTrackFeedback(slot, s.feedback);
    Audio_SetTrackEffects(slot, s.send);
    Audio_SetTrackEffectsMix(slot, 0.3);
    Audio_EnableDelay(false);  // the bus passes through unchanged
    if (s.end > 0) {
      Audio_SetLoopSelection(slot, 1);
      Audio_SetEditRange(slot, s.begin, s.end);
    }
    Place(slot, s.start);
    t.lastPosition = -1;
    t.resync = 0;
    t.record = s.feedback > 0;
    engine()->latencyFrames = s.latency;
    engine()->state = t.record ? Recording : Playing;
    LoopModel model{std::vector<float>(t.pBuffer.load(), t.pBuffer.load() + length * s.channels),
                    s.channels, length, s.end > 0 ? s.begin : 0, s.end > 0 ? s.end : length, s.rate,
                    s.feedback, t.dryGain, t.wetGain, s.latency, t.record != 0, s.send, double(s.start), s.start};

    std::vector<float> out;
    for (const unsigned long size : {256ul, 1ul, 37ul, 700ul, 64ul, 511ul, 2ul, 900ul})
      for (const float sample : Run(static_cast<long>(size), size, Input)) out.push_back(sample);
    double outputPeak[2] = {0, 0}, inputPeak[2] = {0, 0};  // meters: the highest magnitudes
    for (size_t f = 0; 2 * f < out.size(); ++f) {
      const float in[2] = {Input(static_cast<long>(f), 0), Input(static_cast<long>(f), 1)};
      float expected[2];
      model.Frame(in, expected);
      for (int c = 0; c < 2; ++c) {
        ASSERT_EQ(out[2 * f + c], expected[c]) << "frame " << f;
        outputPeak[c] = std::max<double>(outputPeak[c], std::fabs(expected[c]));
        inputPeak[c] = std::max<double>(inputPeak[c], std::fabs(in[c]));
      }
    }
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(Audio_GetOutputPeak(c), outputPeak[c]);
      EXPECT_EQ(Audio_GetInputPeak(c), inputPeak[c]);
    }
    for (int i = 0; i < length * s.channels; ++i) ASSERT_EQ(t.pBuffer.load()[i], model.audio[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(t.position, model.position);
    EXPECT_EQ(t.exactPosition, model.exact);
    EXPECT_EQ(t.peak, model.peak);
    EXPECT_EQ(t.recorded != 0, model.record && model.wrapped);
  }
}

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

// An insert waits for the loop start, then writes each frame of one pass once (at half
// speed on the output frame that reaches it first).
TEST_F(StreamCallback, InsertRecordsExactlyOnePassFromTheLoopStart) {
  static std::vector<int> hooks;
  auto ones = [](long, int c) { return c == 0 ? 1.0f : 0.0f; };
  for (const double rate : {1.0, 0.5}) {
    SCOPED_TRACE(rate);
    Reset();
    hooks.clear();
    Audio_SetInsertPassCallback([](int starting) { hooks.push_back(starting); });
    const int slot = MakeLoop(700, 2);
    Audio_SetTrackRate(slot, rate);
    Audio_SetTrackFeedback(slot, 1.0);
    engine()->state = Playing;
    Run(600);  // the head at 600 or 300
    ASSERT_TRUE(Audio_InsertLooping(slot));
    ASSERT_TRUE(Audio_InsertLooping(slot));  // a second press changes nothing
    const long toStart = rate == 1.0 ? 100 : 800;
    Run(toStart, 128, ones);  // nothing recorded while waiting
    EXPECT_EQ(engine()->state.load(), InsertWaiting);
    EXPECT_EQ(Sample(slot, 699, 0), 0.0f);
    Run(1, 1, ones);  // the head reaches frame 0: the pass begins
    EXPECT_EQ(engine()->state.load(), Inserting);
    Run(static_cast<long>(700 / rate) - 1, 96, ones);
    EXPECT_EQ(engine()->state.load(), Inserting);
    Run(1, 1);
    EXPECT_EQ(engine()->state.load(), Playing);
    for (int f = 0; f < 700; ++f) ASSERT_EQ(Sample(slot, f, 0), 1.0f) << f;
    EXPECT_EQ(hooks, (std::vector<int>{1, 0}));
  }
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

TEST_F(StreamCallback, MissingBuffersAreSafe) {
  const int slot = MakeLoop(500, 2, Ramp);
  engine()->state = Playing;
  std::vector<float> buffer(64, 7.0f);
  EXPECT_EQ(Audio_ProcessStream(engine(), nullptr, buffer.data(), 32), 0);
  for (float s : buffer) EXPECT_EQ(s, 0.0f);  // silence, not what the buffer held
  EXPECT_EQ(Audio_ProcessStream(engine(), buffer.data(), nullptr, 32), 0);
  EXPECT_EQ(track(slot).position, 0);
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
