// The stream callback at 48 kHz with eight stereo 4 s tracks playing, one of them
// recording, the effects bus idle, at 64, 256 and 1024 frames per call; beside it the
// plain per-frame callback it replaced (reference/), on the same scene in the same run, so that the two figures share the machine's load. Reports the real-time
// factor: the buffer's duration over the time one call takes.
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
