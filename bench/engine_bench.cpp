// The stream callback at 48 kHz with eight stereo 4 s tracks playing, one of them
// recording, the effects bus idle, at 64, 256 and 1024 frames per call; beside it the
// plain per-frame reference callback the differential test keeps, on the same scene in
// the same run, so that the two figures share the machine's load. Reports the real-time
// factor: the buffer's duration over the time one call takes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "callback_scene.h"
#include "engine/audio.h"
#include "engine/reference_callback.h"

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

// The floor: the same arithmetic as the callback's scene with nothing else, a plain
// kernel the compiler sees whole. Eight stereo tracks read contiguously, double-precision
// gains, float accumulation into the output (the scene's tracks do not send to the
// effects bus), the meter as a branchless maximum, one track overdubbed with feedback.
// No wraps, no state, no settings read; whatever the compiler makes of it at -O2.
void BM_FloorKernel(benchmark::State& state) {
  constexpr int kTracks = 8;
  constexpr int kLength = 4 * 48000;
  const auto frames = static_cast<unsigned long>(state.range(0));
  std::vector<std::vector<float>> tracks(kTracks, std::vector<float>(2 * kLength));
  for (int i = 0; i < kTracks; ++i)
    for (int s = 0; s < 2 * kLength; ++s) tracks[i][s] = static_cast<float>((s * (i + 1)) % 200) * 0.001f;
  std::vector<float> in(2 * frames, 0.1f), out(2 * frames);
  double peaks[kTracks] = {};
  constexpr long kLatency = 3840;
  long position = kLatency;
  for (auto _ : state) {
    if (position + static_cast<long>(frames) > kLength) position = kLatency;
    std::fill(out.begin(), out.end(), 0.0f);
    for (int i = 0; i < kTracks; ++i) {
      float* head = tracks[i].data() + 2 * position;
      const double g0 = 0.9 * (1.0 - i / 9.0), g1 = 0.9 * (i / 9.0);
      double peak = peaks[i];
      for (unsigned long f = 0; f < frames; ++f) {
        const double s0 = head[2 * f] * g0, s1 = head[2 * f + 1] * g1;
        out[2 * f] += static_cast<float>(s0);
        out[2 * f + 1] += static_cast<float>(s1);
        const double m = (s0 + s1) * 0.5;
        peak = m > peak ? m : peak;
      }
      if (i == 2) {  // the overdub, the stream's latency behind the head
        float* target = head - 2 * kLatency;
        for (unsigned long f = 0; f < frames; ++f) {
          head[2 * f] = static_cast<float>(head[2 * f] * 0.9);
          head[2 * f + 1] = static_cast<float>(head[2 * f + 1] * 0.9);
          target[2 * f] += in[2 * f];
          target[2 * f + 1] += in[2 * f + 1];
        }
      }
      peaks[i] = peak;
    }
    position += static_cast<long>(frames);
    benchmark::DoNotOptimize(out.data());
    benchmark::DoNotOptimize(peaks);
  }
  state.counters["realtime_x"] = benchmark::Counter(
      static_cast<double>(frames) / 48000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FloorKernel)->Arg(64)->Arg(256)->Arg(1024);

}  // namespace
