// The stream callback on synthetic buffers: playback and overdub against a frame-by-frame
// model of one loop, cuts, resync, Mix to Track, the effects send and live input.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/effects_ops.h"
#include "engine/undo.h"
#include "support/engine_fixture.h"

namespace {

// The metronome slot (0) stays silent throughout: neither of its gates is on.
class StreamCallback : public EngineTest {
 protected:
  // Puts the head of a loop at frame `at`.
  void Place(int slot, int at) {
    track(slot).position = at;
    track(slot).exactPosition = at;
  }
  // The delay as a plain echo of the bus, kEcho frames later on both channels, no dry part.
  static constexpr long kEcho = 374;  // a line of 375 samples
  static void Echo() {
    for (int c = 0; c < 2; ++c) Audio_SetDelayTime(c, 0.0078125), Audio_SetDelayFeedback(c, 0.0), Audio_SetDelayMix(c, 1.0);
  }
};

float Ramp(int f, int c) { return static_cast<float>(f + 1) * (c == 0 ? 0.001f : -0.001f); }
// Left and right of varying sign and size, so that the meter's signed sum moves about.
float Mixed(int f, int c) { return static_cast<float>((f * 7 + c * 3) % 41 - 20) / 20.0f; }
float Input(long f, int c) { return static_cast<float>((f * (c + 3)) % 97 - 48) / 192.0f; }

// The first frame whose left output is not silent, or -1.
long FirstSound(const std::vector<float>& out) {
  for (size_t f = 0; 2 * f < out.size(); ++f)
    if (out[2 * f] != 0.0f) return static_cast<long>(f);
  return -1;
}

// One loop by the rules, frame by frame: the head plays at its gains (mono on both sides,
// split between output and bus when it sends); an insert pass begins and ends at a new frame
// at the loop start; on each new frame while recording the head fades by the feedback and
// the input is added the latency (times the rate) behind; the head moves by the rate and
// wraps inside the loop or the selection.
struct LoopModel {
  std::vector<float> audio;
  int channels, length, begin, end;
  double rate, feedback, dry, wet, gain[2], master;
  long latency;
  char mode;  // 'P'laying, 'R'ecording, 'W'aiting for an insert, 'I'nserting
  bool send;
  double exact;
  int position, last = -1;
  double peak = 0.0;
  bool wrapped = false;

  void Frame(const float* in, float* out) {
    float* head = &audio[static_cast<size_t>(position * channels)];
    const double s[2] = {head[0] * gain[0], head[channels - 1] * gain[1]};
    for (int c = 0; c < 2; ++c) {
      const float o = send ? static_cast<float>(s[c] * dry) + static_cast<float>(s[c] * wet) : static_cast<float>(s[c]);
      out[c] = static_cast<float>(o * master);
    }
    peak = std::max(peak, (s[0] + s[1]) * 0.5);
    if (position == 0 && position != last) mode = mode == 'W' ? 'I' : mode == 'I' ? 'P' : mode;
    if ((mode == 'R' || mode == 'I') && position != last) {
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
    if (position >= end || position < begin) {
      const int by = position >= end ? begin - end : end - begin;
      position += by;
      exact += by;
      wrapped = true;
    }
  }
};

std::vector<int> insertHooks;

}  // namespace

// Runs are rendered apart from single frames, stepping at whole and half frames and two
// frames at a time: whatever the rate, range, channels, mix or buffer sizes, every sample
// must come out as the frame-by-frame rules give it, and the meters hold the block maxima.
// Without seam crossfades that holds from the first frame; with them, playback fades in
// and then follows the same rules to the bit.
TEST_F(StreamCallback, PlaybackAndOverdubFollowTheFrameByFrameRules) {
  const struct Scene {
    const char* name;
    int channels;
    double rate;
    int start;
    bool selection;  // frames 300..700 of the 1000
    char mode;       // 'P'lay, 'R'ecord, 'I'nsert
    long latency;
    double feedback;
    bool send;
    int mix;  // 1: pan 0.25, volume 0.8 in submix 1 at 0.5, master 0.5; 2: submix muted; 3: master muted
  } scenes[] = {
      {"stereo forward", 2, 1.0, 990, false, 'P', 0, 0, false, 0},
      {"mono forward", 1, 1.0, 3, false, 'P', 0, 0, false, 0},
      {"reverse", 2, -1.0, 5, false, 'P', 0, 0, false, 0},
      {"half speed", 2, 0.5, 997, false, 'P', 0, 0, true, 0},
      {"mono half speed reverse", 1, -0.5, 2, false, 'P', 0, 0, false, 0},
      {"odd rate", 2, 0.7, 0, false, 'P', 0, 0, false, 0},
      {"odd rate reverse", 1, -1.3, 10, false, 'P', 0, 0, false, 0},
      {"double speed", 2, 2.0, 1, false, 'P', 0, 0, false, 0},
      {"selection", 2, 1.0, 690, true, 'P', 0, 0, true, 0},
      {"selection in reverse", 1, -0.5, 301, true, 'P', 0, 0, false, 0},
      {"pan, volume, submix and master (squared)", 2, 1.0, 0, false, 'P', 0, 0, false, 1},
      {"submix muted", 2, 1.0, 0, false, 'P', 0, 0, false, 2},
      {"master muted", 1, 0.5, 0, false, 'P', 0, 0, false, 3},
      {"overdub", 2, 1.0, 400, false, 'R', 100, 0.5, false, 0},
      {"overdub sending", 2, 1.0, 0, false, 'R', 0, 0.75, true, 1},
      {"mono overdub", 1, 1.0, 900, false, 'R', 37, 0.7, false, 0},
      {"overdub at half speed", 2, 0.5, 0, false, 'R', 101, 0.9, false, 0},
      {"overdub in reverse", 2, -1.0, 500, false, 'R', 100, 0.8, false, 0},
      {"overdub at an odd rate", 1, 1.3, 0, false, 'R', 250, 0.6, false, 0},
      {"write point ahead in the selection: the head meets it", 2, 1.0, 350, true, 'R', 950, 0.5, false, 0},
      {"insert: one pass from the loop start", 2, 1.0, 600, false, 'I', 30, 0.5, false, 0},
      {"insert at half speed", 1, 0.5, 900, false, 'I', 0, 1.0, false, 0},
  };
  const double gains[4][3] = {{1, 1, 1}, {0.4, 0.2, 0.25}, {0, 0, 1}, {1, 1, 0}};  // left, right, master
  for (const int seamMilliseconds : {0, 5})
  for (const Scene& s : scenes) {
    if (seamMilliseconds && s.mode != 'P') continue;
    SCOPED_TRACE(std::string(s.name) + (seamMilliseconds ? " with crossfades" : ""));
    Reset();
    Audio_SetSeamCrossfade(seamMilliseconds);
    const long fadeFrames = seamMilliseconds ? std::min(240, (s.selection ? 400 : 1000) / 4) : 0;
    const int length = 1000;
    const int slot = MakeLoop(length, s.channels, Mixed);
    LoopTrack& t = track(slot);
    Audio_SetTrackRate(slot, s.rate);
    Audio_SetTrackFeedback(slot, s.feedback);
    Audio_SetTrackEffects(slot, s.send);
    Audio_SetTrackEffectsMix(slot, 0.3);
    Audio_EnableDelay(false);  // the bus passes through unchanged
    Audio_SetLoopSelection(slot, s.selection);
    Audio_SetEditRange(slot, 300, 700);
    if (s.mix == 1) {
      Audio_SetTrackPan(slot, 0.25);
      Audio_SetTrackVolume(slot, 0.8);
      Audio_SetTrackSubmix(slot, 1);
      Audio_SetSubmixVolume(1, 0.5);
      Audio_SetMasterVolume(0.5);
    }
    Audio_SetSubmixMute(0, s.mix == 2);
    Audio_SetMasterMute(s.mix == 3);
    Place(slot, s.start);
    t.lastPosition = -1;
    t.resync = 0;
    engine()->latencyFrames = s.latency;
    engine()->state = s.mode == 'R' ? Recording : Playing;
    t.record = s.mode == 'R';
    insertHooks.clear();
    Audio_SetInsertPassCallback([](int starting) { insertHooks.push_back(starting); });
    if (s.mode == 'I') {
      ASSERT_TRUE(Audio_InsertLooping(slot));
      ASSERT_TRUE(Audio_InsertLooping(slot));  // a second press changes nothing
    }
    const double* g = gains[s.mix];
    LoopModel model{std::vector<float>(t.pBuffer.load(), t.pBuffer.load() + length * s.channels),
                    s.channels, length, s.selection ? 300 : 0, s.selection ? 700 : length, s.rate,
                    s.feedback, t.dryGain, t.wetGain, {g[0], g[1]}, g[2], s.latency,
                    s.mode == 'I' ? 'W' : s.mode, s.send, double(s.start), s.start};

    std::vector<float> out;
    for (const unsigned long size : {256ul, 1ul, 37ul, 700ul, 64ul, 511ul, 2ul, 900ul}) {
      const std::vector<float> piece = Run(static_cast<long>(size), size, Input);
      out.insert(out.end(), piece.begin(), piece.end());
    }
    double outputPeak[2] = {0, 0}, inputPeak[2] = {0, 0};  // the highest magnitudes
    for (size_t f = 0; 2 * f < out.size(); ++f) {
      const float in[2] = {Input(static_cast<long>(f), 0), Input(static_cast<long>(f), 1)};
      float expected[2];
      model.Frame(in, expected);
      if (static_cast<long>(f) < fadeFrames) continue;
      for (int c = 0; c < 2; ++c) {
        ASSERT_EQ(out[2 * f + c], expected[c]) << "frame " << f;
        outputPeak[c] = std::max<double>(outputPeak[c], std::fabs(expected[c]));
        inputPeak[c] = std::max<double>(inputPeak[c], std::fabs(in[c]));
      }
    }
    for (int c = 0; c < 2 && !fadeFrames; ++c) {
      EXPECT_EQ(Audio_GetOutputPeak(c), outputPeak[c]);
      EXPECT_EQ(Audio_GetInputPeak(c), inputPeak[c]);
    }
    for (int i = 0; i < length * s.channels; ++i) ASSERT_EQ(t.pBuffer.load()[i], model.audio[static_cast<size_t>(i)]) << i;
    EXPECT_TRUE(t.position == model.position && t.exactPosition == model.exact);
    EXPECT_TRUE(fadeFrames || t.peak == model.peak);
    EXPECT_EQ(t.recorded != 0, s.mode != 'P' && model.wrapped);
    EXPECT_EQ(engine()->state.load(), s.mode == 'R' ? Recording : Playing);  // an insert pass ends by itself
    EXPECT_EQ(insertHooks, (s.mode == 'I' ? std::vector<int>{1, 0} : std::vector<int>{}));
    EXPECT_TRUE(dialog.shown.empty());  // nothing on the audio thread shows a window
  }
}

TEST_F(StreamCallback, ResyncTakesThePositionOfTheNearestRunningTrackEvenForAWaitingBuffer) {
  const int a = MakeLoop(1000, 2);
  const int b = MakeLoop(400, 2, Ramp);
  const int c = MakeLoop(2000, 2);
  for (auto [slot, at] : {std::pair{a, 700}, {b, 300}, {c, 100}}) Place(slot, at);
  engine()->state = Playing;

  // b looks downwards first (a's 700 does not fit in 400, the silent metronome is not
  // running), then upwards: c's 100 fits.
  track(b).resync = 1;
  Run(1, 1);
  EXPECT_TRUE(track(b).position == 101 && track(b).resync == 0);

  // With nothing that fits, the first track met (never the metronome) gives its
  // position modulo the length.
  Place(a, 700);
  Place(c, 1500);
  track(b).resync = 1;
  const std::vector<float> out = Run(1, 1);
  EXPECT_EQ(track(b).position, 701 % 400 + 1);  // a moved on before b was rendered
  EXPECT_NEAR(out[0], Ramp(701 % 400, 0) * track(b).volume, 1e-6);  // b sounds from there at once

  // A buffer published with resync while the callback is between its swap step and the
  // track's render (here: the swap finds the lock busy) must still start aligned.
  Place(a, 100);
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
    const float* audio = track(target).pBuffer;
    for (int f = 0; f < 200; ++f)
      ASSERT_TRUE(audio[f * channels + channels - 1] == 0.5f && audio[f * channels] == (channels == 1 ? 0.5f : 0.25f)) << f;
    EXPECT_DOUBLE_EQ(track(target).peak, channels == 1 ? 0.5 : 0.375);  // half the sum, as it plays back
  }
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
  EXPECT_TRUE(FirstSound(Run(500)) == -1 && track(a).position == 500);
  Audio_PlayLooping();
  Run(100);
  EXPECT_EQ(track(a).position, 600);
  Audio_StopLooping();
  EXPECT_TRUE(FirstSound(Run(500)) == -1 && track(a).position == 0);
  EXPECT_TRUE(track(b).position == 100 && track(b).lastPosition == 101);  // the selection's start
  Audio_PlayLooping();
  Run(10);
  EXPECT_EQ(track(a).position, 10);

  std::vector<float> buffer(64, 7.0f);  // callbacks without input or output
  EXPECT_EQ(Audio_ProcessStream(engine(), nullptr, buffer.data(), 32), 0);
  EXPECT_EQ(buffer, std::vector<float>(64, 0.0f));  // silence, not what the buffer held
  EXPECT_TRUE(Audio_ProcessStream(engine(), buffer.data(), nullptr, 32) == 0 && track(a).position == 10);
}

TEST_F(StreamCallback, AMetronomeThatStopsMidBufferStaysInStepWithTheLoops) {
  const int slot = MakeLoop(48000, 2);  // as long as the 1 s click loop
  engine()->metronomePlayback = 1;
  engine()->metronomeMax = 1;
  Audio_PlayLooping();
  Run(48000 + 1000, 256);  // the click stops at its second loop start, inside a buffer
  EXPECT_TRUE(!track(0).active && track(0).position == track(slot).position);
}

TEST_F(StreamCallback, WhileRunningTheEffectsRunOnlyForASend) {
  // An impulse sent wholly to the bus in the first buffer. Without a send from then on the
  // effect stands still while playing, and rings on from there once the transport stops.
  for (const bool reverb : {false, true}) {
    for (const bool keepSend : {true, false}) {
      SCOPED_TRACE(std::string(reverb ? "reverb" : "delay") + (keepSend ? ", send kept" : ", send off"));
      const long answer = reverb ? 1116 : kEcho;  // the frame the effect answers at
      Reset();
      Echo();
      Audio_EnableDelay(!reverb);
      Audio_EnableReverb(reverb);
      const int slot = MakeLoop(48000, 2, [](int f, int) { return f == 0 ? 1.0f : 0.0f; });
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
  for (const auto& [useLoopMix, dry, echo] : {std::tuple{true, 0.6, 0.8}, {false, 1.0, 0.0}}) {
    Audio_SetLatentInputUseLoopEffectsMix(useLoopMix);
    const long start = framesRun;
    const std::vector<float> out = Run(400, 256, [start](long f, int) { return f == start ? 1.0f : 0.0f; });
    EXPECT_NEAR(out[0], dry, 1e-6) << useLoopMix;
    EXPECT_NEAR(out[2 * kEcho], echo, 1e-6) << useLoopMix;  // the wet part, through the delay
  }
}

// A cut ends the loop at the head, applied by the callback while recording; a first take in
// "Max Time" mode ends with a forced cut, then Stop or Play (callback or not), stored as cut.
TEST_F(StreamCallback, PendingCutEndsTheLoopAtTheHead) {
  for (const char* end : {"", "stop", "play"}) {
    for (const bool callback : {false, true}) {
      SCOPED_TRACE(std::string(end) + (callback ? ", callback running" : ""));
      Reset();
      const int cut = MakeLoop(5000, 2), other = MakeLoop(3000, 2);
      Audio_SetCallbackRunning(callback);
      ASSERT_TRUE(Audio_RecordLooping(cut));
      Run(1234, 100);
      const bool stop = *end == 's';
      if (!*end) {
        EXPECT_TRUE(Audio_SetLoopAtPosition(cut, false));  // unforced: recording, not yet recorded
        Run(10, 10);
        EXPECT_TRUE(track(cut).editEnd == 1234 && track(cut).position == 10 && engine()->pendingCutTrack == -1);
        EXPECT_EQ(track(cut).bufferSize, 5000u * 2 * 4);  // the buffer keeps its size
        EXPECT_FALSE(Audio_SetLoopAtPosition(cut, false));  // recorded now: unforced refused
        Audio_StopLooping();
        engine()->pendingCutTrack = -1;
        EXPECT_TRUE(!Audio_SetLoopAtPosition(cut, true) && engine()->pendingCutTrack == -1);  // force ignored while stopped
      } else {
        ASSERT_TRUE(Audio_SetLoopAtPosition(cut, true));
        auto command = std::async(std::launch::async, stop ? Audio_StopLooping : Audio_PlayLooping);
        while (command.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
          if (callback) Run(256);
        Run(100);
        const UndoAudio* take = Undo_PresentAudio(cut);
        EXPECT_TRUE(take && take->length == 1234u);
        // Stop rewinds every track; Play rewinds only the cut one and the others go on.
        EXPECT_EQ(track(cut).position, stop ? 0 : (framesRun - 1234) % 1234);
        EXPECT_EQ(track(other).position, stop ? 0 : framesRun % 3000);
      }
      EXPECT_TRUE(track(cut).length == 1234 && track(cut).recorded);
      Audio_SetCallbackRunning(false);
    }
  }
}
