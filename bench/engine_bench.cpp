// One 256-frame stream callback at 48 kHz with eight stereo 4 s tracks playing, one of
// them recording, the effects bus idle. Reports the real-time factor: the buffer's
// duration over the time one call takes.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/audio.h"
#include "engine/message_dialog.h"

namespace {

void BM_StreamCallback256(benchmark::State& state) {
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
  const unsigned long frames = 256;
  std::vector<float> in(2 * frames, 0.1f), out(2 * frames);
  for (auto _ : state) {
    Audio_ProcessStream(e, in.data(), out.data(), frames);
    benchmark::DoNotOptimize(out.data());
  }
  const double secondsPerBuffer = frames / 48000.0;
  state.counters["realtime_x"] = benchmark::Counter(
      secondsPerBuffer * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  Audio_StopLooping();
  Audio_Shutdown();
}
BENCHMARK(BM_StreamCallback256);

}  // namespace
