// The engine's stream callback against the plain per-frame reference kept beside this
// test: long random scenes (transport commands, rates, reverse, selections, pending cuts,
// inserts, sends, submixes, the metronome, live input, mix to track, effects) rendered
// through each, compared sample for sample: output, every loop's audio, heads, meters
// and hook calls.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "effects/state_variable_filter.h"
#include "engine/audio.h"
#include "engine/effects_ops.h"
#include "engine/loop_ops.h"
#include "engine/metronome.h"
#include "engine/reference_callback.h"
#include "engine/undo.h"
#include "support/engine_fixture.h"

namespace {

using Callback = int (*)(AudioEngine*, const float*, float*, unsigned long);

// Hook calls in order, each with the frame count at which its callback began.
std::vector<long>* hookLog;
long callbackStart = 0;
void LogHook(long code) {
  hookLog->push_back(callbackStart);
  hookLog->push_back(code);
}

struct Trace {
  std::vector<float> output;
  std::vector<float> audio;  // every loop's buffer at the end, one after the other
  std::vector<double> heads;  // exact position, position, last position, peak, length per slot
  std::vector<long> hooks;
  int32_t state = 0;
};

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// First frame (stereo pair index) at which two sample vectors differ, for the message.
long FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
  return static_cast<long>(std::min(a.size(), b.size()));
}

class CallbackDifferential : public EngineTest {
 protected:
  // One random scene from `seed`, `frames` long, every callback through `callback`.
  Trace RunScene(uint32_t seed, long frames, Callback callback) {
    Audio_Shutdown();
    EXPECT_TRUE(Audio_Init());
    StateVariableFilter_ResetDither();  // shared by every filter unit of the process
    Trace trace;
    hookLog = &trace.hooks;
    callbackStart = 0;
    Audio_SetBeatCallback([](int accent) { LogHook(10 + accent); });
    Audio_SetMidiClockCallback([] { LogHook(20); });
    Audio_SetInsertPassCallback([](int starting) { LogHook(30 + starting); });

    std::mt19937 random(seed);
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; };
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    auto level = [&] { return std::uniform_real_distribution<double>(0, 1)(random); };

    AudioEngine* e = engine();
    e->latencyFrames = pick(0, 600);
    Audio_SetMetronomeTime(0.1 + 0.01 * pick(0, 10), pick(1, 4), true);
    std::vector<int> loops;
    const int count = pick(3, 6);
    for (int i = 0; i < count; ++i) {
      const int channels = pick(1, 2);
      const float scale = static_cast<float>(level());
      const int slot = MakeLoop(pick(200, 4000), channels, [&](int f, int c) {
        return scale * static_cast<float>(((f * 7 + c * 3 + i) % 41) - 20) / 20.0f;
      });
      if (slot > 0) loops.push_back(slot);
    }
    auto anyLoop = [&] { return loops[static_cast<size_t>(pick(0, static_cast<int>(loops.size()) - 1))]; };
    const double rates[] = {1.0, 1.0, 1.0, 0.5, -1.0, -0.5, 0.7, -1.3, 2.0};

    std::vector<float> in, out;
    long done = 0;
    while (done < frames) {
      // A few changes between buffers, as the user-interface thread makes them.
      for (int changes = pick(0, 2); changes > 0; --changes) {
        const int t = anyLoop();
        switch (pick(0, 24)) {
          case 0: Audio_RecordLooping(t); break;
          case 1: Audio_InsertLooping(t); break;
          case 2: Audio_PlayLooping(); break;
          case 3: if (chance(0.3)) Audio_StopLooping(); break;
          case 4: if (chance(0.3)) Audio_PauseLooping(); break;
          case 5: Audio_SetLoopAtPosition(t, chance(0.5)); break;
          case 6: Audio_SetTrackRate(t, rates[pick(0, 8)]); break;
          case 7: Audio_SetLoopSelection(t, pick(0, 1)); break;
          case 8: {
            const int32_t length = track(t).length;
            const int32_t begin = pick(0, length - 1);
            Audio_SetEditRange(t, begin, pick(begin + 1, length));
            break;
          }
          case 9: Audio_SetTrackEffects(t, pick(0, 1)); break;
          case 10: Audio_SetTrackEffectsMix(t, level()); break;
          case 11: Audio_SetTrackSubmix(t, pick(0, 1)); break;
          case 12: Audio_SetSubmixVolume(pick(0, 1), level()); Audio_SetSubmixMute(pick(0, 1), chance(0.2)); break;
          case 13: Audio_SetTrackVolume(t, level()); Audio_SetTrackPan(t, level()); break;
          case 14: Audio_SetTrackFeedback(t, level()); break;
          case 15: Audio_RequestResync(t); break;
          case 16: Audio_SetMetronomePlayback(pick(0, 1)); Audio_SetMetronomeRecord(pick(0, 1)); break;
          case 17: Audio_SetMetronomeCountoff(pick(0, 2)); Audio_SetMetronomeMax(pick(0, 3)); break;
          case 18: Audio_SetMixToTrack(chance(0.3)); break;
          case 19: Audio_SetLatentInput(pick(0, 1)); Audio_SetLatentInputEffectsMix(level()); break;
          case 20: Audio_EnableFilter(pick(0, 1)); Audio_EnableDelay(pick(0, 1)); Audio_EnableReverb(pick(0, 1)); break;
          case 21: Audio_SetMasterVolume(level()); Audio_SetFilterPreLoop(chance(0.2)); break;
          case 22:  // now and then a write point just ahead of the head (a latency just short of the loop)
            e->latencyFrames = chance(0.5) ? pick(0, 600) : track(t).length - pick(1, 3);
            break;
          case 23: Audio_NudgeLoop(t, pick(-300, 300)); break;
          case 24: if (chance(0.3)) Audio_Undo(); Audio_PollChanges(); break;
        }
      }
      const long n = std::min<long>(pick(1, 700), frames - done);
      in.resize(2 * static_cast<size_t>(n));
      out.assign(2 * static_cast<size_t>(n), 0.0f);
      for (long f = 0; f < n; ++f)
        for (int c = 0; c < 2; ++c)
          in[2 * f + c] = 0.25f * static_cast<float>(((done + f) * (c + 3)) % 97 - 48) / 48.0f;
      callbackStart = done;
      callback(e, in.data(), out.data(), static_cast<unsigned long>(n));
      trace.output.insert(trace.output.end(), out.begin(), out.end());
      done += n;
      Audio_PollChanges();
    }

    for (int i = 0; i < NUM_TRACKS; ++i) {
      const LoopTrack& t = track(i);
      trace.heads.insert(trace.heads.end(), {t.exactPosition.load(), double(t.position), double(t.lastPosition),
                                             t.peak.load(), double(t.length), double(t.recorded)});
      if (t.inUse && t.pBuffer)
        trace.audio.insert(trace.audio.end(), t.pBuffer.load(), t.pBuffer.load() + t.length * t.numChannels);
    }
    trace.state = e->state.load();
    Audio_SetBeatCallback(nullptr);
    Audio_SetMidiClockCallback(nullptr);
    Audio_SetInsertPassCallback(nullptr);
    return trace;
  }
};

}  // namespace

TEST_F(CallbackDifferential, RandomScenesMatchThePerFrameReferenceSampleForSample) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    const long frames = 120000;
    const Trace reference = RunScene(seed, frames, Reference_ProcessStream);
    const Trace subject = RunScene(seed, frames, Audio_ProcessStream);
    const std::string scene = "scene " + std::to_string(seed);
    ASSERT_TRUE(SameBits(subject.output, reference.output))
        << scene << ": output differs from sample " << FirstDifference(subject.output, reference.output);
    ASSERT_TRUE(SameBits(subject.audio, reference.audio))
        << scene << ": loop audio differs from sample " << FirstDifference(subject.audio, reference.audio);
    EXPECT_EQ(subject.heads, reference.heads) << scene;
    EXPECT_EQ(subject.hooks, reference.hooks) << scene;
    EXPECT_EQ(subject.state, reference.state) << scene;
  }
}
