// The stream callback at 48 kHz with eight stereo 4 s tracks playing, one of them
// recording, the effects bus idle, at 64, 256 and 1024 frames per call; beside it the
// plain per-frame reference callback the differential test keeps, on the same scene in
// the same run, so that the two figures share the machine's load. Reports the real-time
// factor: the buffer's duration over the time one call takes.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/audio.h"
#include "engine/reference_callback.h"

namespace {

using Callback = int (*)(AudioEngine*, const float*, float*, unsigned long);

void RunScene(benchmark::State& state, Callback callback) {
  Audio_Init();
  AudioEngine* e = Audio_GetEngine();
  e->latencyFrames = 3840;
  for (int i = 1; i < NUM_TRACKS; ++i) {
    Audio_CreateLoop(4.0, 0.9, 2, 0);
    float* buffer = e->tracks[i].pBuffer;
    for (int s = 0; s < e->tracks[i].length * 2; ++s) buffer[s] = static_cast<float>((s * i) % 200) * 0.001f;
    Audio_SetTrackPan(i, i / 9.0);
  }
  Audio_RecordLooping(3);
  const auto frames = static_cast<unsigned long>(state.range(0));
  std::vector<float> in(2 * frames, 0.1f), out(2 * frames);
  for (auto _ : state) {
    callback(e, in.data(), out.data(), frames);
    benchmark::DoNotOptimize(out.data());
  }
  const double secondsPerBuffer = static_cast<double>(frames) / 48000.0;
  state.counters["realtime_x"] = benchmark::Counter(
      secondsPerBuffer * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  Audio_StopLooping();
  Audio_Shutdown();
}

void BM_StreamCallback(benchmark::State& state) { RunScene(state, Audio_ProcessStream); }
BENCHMARK(BM_StreamCallback)->Arg(64)->Arg(256)->Arg(1024);

void BM_ReferenceCallback(benchmark::State& state) { RunScene(state, Reference_ProcessStream); }
BENCHMARK(BM_ReferenceCallback)->Arg(64)->Arg(256)->Arg(1024);

}  // namespace
