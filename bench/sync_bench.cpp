// The stream callback following a MIDI clock beside the same callback on Internal, on the
// callback benchmark's scene at 256 frames, in one run: the cost of reading the source,
// draining its ticks, fitting the tempo and locking eight loops' phase each callback; and
// the reads of the JACK transport and Link sources, and Internal leading both.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "audio_io/jack_own_client.h"
#include "audio_io/jack_transport_source.h"
#include "audio_io/link_session.h"
#include "audio_io/link_sync_source.h"
#include "audio_io/sync_leaders.h"
#include "callback_scene.h"
#include "control/midi_clock_in.h"
#include "engine/audio.h"
#include "engine/sync_follow.h"
#include "engine/sync_lead.h"

namespace {

constexpr int64_t kT0 = 1000LL * 1000000000LL;

int64_t FrameClock(void*, uint64_t frame, double rate) {
  return kT0 + std::llround(static_cast<double>(frame) * 1e9 / rate);
}

void RunScene(benchmark::State& state, bool follow) {
  AudioEngine* e = CallbackScene_Start();
  const auto frames = static_cast<unsigned long>(state.range(0));
  std::vector<float> in(2 * frames, 0.1f), out(2 * frames);
  MidiClockIn clock;
  int64_t nextTick = kT0;
  const int64_t period = 20833333;  // 120 BPM
  if (follow) {
    SyncFollow_UseClock(e, FrameClock, nullptr);
    SyncFollow_Attach(e, &clock);
    clock.Receive(0xFA, kT0 - 1000000);
  }
  for (auto _ : state) {
    if (follow) {
      // What the MIDI input path hands over meanwhile: the ticks due by this block.
      const int64_t now = FrameClock(nullptr, e->sync.frame, 48000.0);
      for (; nextTick <= now; nextTick += period) clock.Receive(0xF8, nextTick);
    }
    Audio_ProcessStream(e, in.data(), out.data(), frames);
    benchmark::DoNotOptimize(out.data());
  }
  // Half a second of ticks (about a hundred callbacks) before the tempo is trusted: a run
  // that long must end following.
  if (follow && state.iterations() > 200 && !e->sync.rolling) state.SkipWithError("the clock was never followed");
  state.counters["realtime_x"] = benchmark::Counter(
      static_cast<double>(frames) / 48000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  SyncFollow_Detach(e);
  CallbackScene_End();
}

// Sources read each callback that are not followed here (no JACK server, Link alone and
// disabled: no packet leaves the machine), so the engine keeps its own tempo; what is
// measured is the read itself: the JACK transport record, Link's real-time capture.
void RunReading(benchmark::State& state, SyncSource* source) {
  AudioEngine* e = CallbackScene_Start();
  const auto frames = static_cast<unsigned long>(state.range(0));
  std::vector<float> in(2 * frames, 0.1f), out(2 * frames);
  SyncFollow_Attach(e, source);
  for (auto _ : state) {
    Audio_ProcessStream(e, in.data(), out.data(), frames);
    benchmark::DoNotOptimize(out.data());
  }
  SyncFollow_Detach(e);
  CallbackScene_End();
}

// Internal leading: the JACK timebase record and Link's tempo check fed every callback.
void RunLeading(benchmark::State& state) {
  AudioEngine* e = CallbackScene_Start();
  const auto frames = static_cast<unsigned long>(state.range(0));
  std::vector<float> in(2 * frames, 0.1f), out(2 * frames);
  JackOwnClient jack;
  LinkSession link(120.0);
  JackTransportLeader jackLeader(&jack);
  LinkLeader linkLeader(&link);
  SyncLead_Set(e, 0, &jackLeader);
  SyncLead_Set(e, 1, &linkLeader);
  for (auto _ : state) {
    Audio_ProcessStream(e, in.data(), out.data(), frames);
    benchmark::DoNotOptimize(out.data());
  }
  SyncLead_Set(e, 0, nullptr);
  SyncLead_Set(e, 1, nullptr);
  CallbackScene_End();
}

void BM_CallbackInternal(benchmark::State& state) { RunScene(state, false); }
void BM_CallbackFollowingMidiClock(benchmark::State& state) { RunScene(state, true); }
void BM_CallbackReadingJackTransport(benchmark::State& state) {
  JackOwnClient client;
  JackTransportSource source(&client);
  RunReading(state, &source);
}
void BM_CallbackReadingLink(benchmark::State& state) {
  LinkSession link(120.0);
  LinkSyncSource source(&link, 4);
  RunReading(state, &source);
}
void BM_CallbackLeadingJackAndLink(benchmark::State& state) { RunLeading(state); }
BENCHMARK(BM_CallbackInternal)->Arg(256);
BENCHMARK(BM_CallbackFollowingMidiClock)->Arg(256);
BENCHMARK(BM_CallbackReadingJackTransport)->Arg(256);
BENCHMARK(BM_CallbackReadingLink)->Arg(256);
BENCHMARK(BM_CallbackLeadingJackAndLink)->Arg(256);
BENCHMARK(BM_CallbackInternal)->Arg(256);

}  // namespace
