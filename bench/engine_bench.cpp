// The stream callback at 48 kHz with eight stereo 4 s tracks playing, one of them
// recording, the effects bus idle, at 64, 256 and 1024 frames per call; beside it the
// plain per-frame callback it replaced (reference/), on the same scene in the same run, so that the two figures share the machine's load. Reports the real-time
// factor: the buffer's duration over the time one call takes. The scene again with seam
// crossfades on, at 256 frames.
#include <benchmark/benchmark.h>

#include <vector>

#include "callback_scene.h"
#include "engine/audio.h"
#include "reference/reference_callback.h"

namespace {

using Callback = int (*)(AudioEngine*, const float*, float*, unsigned long);

void RunScene(benchmark::State& state, Callback callback) {
  AudioEngine* e = CallbackScene_Start();
  const auto frames = static_cast<unsigned long>(state.range(0));
  std::vector<float> in(2 * frames, 0.1f), out(2 * frames);
  for (auto _ : state) {
    callback(e, in.data(), out.data(), frames);
    benchmark::DoNotOptimize(out.data());
  }
  const double secondsPerBuffer = static_cast<double>(frames) / 48000.0;
  state.counters["realtime_x"] = benchmark::Counter(
      secondsPerBuffer * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  CallbackScene_End();
}

void BM_StreamCallback(benchmark::State& state) { RunScene(state, Audio_ProcessStream); }
BENCHMARK(BM_StreamCallback)->Arg(64)->Arg(256)->Arg(1024);

void BM_ReferenceCallback(benchmark::State& state) { RunScene(state, Reference_ProcessStream); }
BENCHMARK(BM_ReferenceCallback)->Arg(64)->Arg(256)->Arg(1024);

// The same scene with 5 ms seam crossfades on (BM_StreamCallback has them off): once the
// tracks have faded in nothing fades, so this is the cost of watching for seams. The
// second figure starts a fade on every call (one track muted or unmuted in turn, the
// others playing on): the cost while fades run.
void RunSceneWithSeams(benchmark::State& state, bool fadeEveryCall) {
  AudioEngine* e = CallbackScene_Start();
  Audio_SetSeamCrossfade(5);
  const auto frames = static_cast<unsigned long>(state.range(0));
  std::vector<float> in(2 * frames, 0.1f), out(2 * frames);
  for (int i = 0; i < 8; ++i) Audio_ProcessStream(e, in.data(), out.data(), frames);  // faded in
  int call = 0;
  for (auto _ : state) {
    if (fadeEveryCall) {
      const int track = 1 + call % 8;
      Audio_SetTrackVolume(track, (call / 8) % 2 ? 1.0 : 0.0);
      ++call;
    }
    Audio_ProcessStream(e, in.data(), out.data(), frames);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["realtime_x"] = benchmark::Counter(
      static_cast<double>(frames) / 48000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  CallbackScene_End();
}

void BM_StreamCallbackSeamsOn(benchmark::State& state) { RunSceneWithSeams(state, false); }
BENCHMARK(BM_StreamCallbackSeamsOn)->Arg(256);
void BM_StreamCallbackSeamsFading(benchmark::State& state) { RunSceneWithSeams(state, true); }
BENCHMARK(BM_StreamCallbackSeamsFading)->Arg(256);

// The floor kernel (callback_scene.h) on the same scene's arithmetic.
void BM_FloorKernel(benchmark::State& state) {
  const auto frames = static_cast<unsigned long>(state.range(0));
  FloorKernel floor(frames);
  for (auto _ : state) {
    floor.Run();
    benchmark::DoNotOptimize(floor.out.data());
    benchmark::DoNotOptimize(floor.peaks);
  }
  state.counters["realtime_x"] = benchmark::Counter(
      static_cast<double>(frames) / 48000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FloorKernel)->Arg(64)->Arg(256)->Arg(1024);

}  // namespace
