// Latency measurement costs. The callback at 256 frames with a measurement running (the
// probe replaces the output and captures the input) beside the same scene with none, in
// the same run; and the user-interface thread's search for the signal in a capture of one
// second plus the signal at 48 kHz, the wait between the end of a measurement and its
// answer.
#include <benchmark/benchmark.h>

#include <vector>

#include "callback_scene.h"
#include "engine/audio.h"
#include "engine/latency_probe.h"
#include "engine/round_trip.h"

namespace {

constexpr int32_t kSignal = 4096;
constexpr int32_t kCapture = kSignal + 48000;

void RunCallback(benchmark::State& state, bool measuring) {
  AudioEngine* e = CallbackScene_Start();
  const auto frames = static_cast<unsigned long>(state.range(0));
  std::vector<float> in(2 * frames, 0.1f), out(2 * frames);
  const std::vector<float> signal = RoundTrip_TestSignal(kSignal);
  for (auto _ : state) {
    if (measuring && e->latencyProbe.state.load() != LatencyProbe::Running) {
      state.PauseTiming();
      LatencyProbe_Arm(&e->latencyProbe, signal, kCapture);
      state.ResumeTiming();
    }
    Audio_ProcessStream(e, in.data(), out.data(), frames);
    benchmark::DoNotOptimize(out.data());
  }
  LatencyProbe_Cancel(&e->latencyProbe);
  CallbackScene_End();
}

void BM_CallbackIdleProbe(benchmark::State& state) { RunCallback(state, false); }
BENCHMARK(BM_CallbackIdleProbe)->Arg(256);
void BM_CallbackMeasuring(benchmark::State& state) { RunCallback(state, true); }
BENCHMARK(BM_CallbackMeasuring)->Arg(256);

void BM_RoundTripSearch(benchmark::State& state) {
  const std::vector<float> signal = RoundTrip_TestSignal(kSignal);
  std::vector<float> capture(2 * kCapture, 0.0f);
  for (int32_t i = 0; i < kSignal; ++i) capture[2 * (1234 + i)] = capture[2 * (1234 + i) + 1] = 0.5f * signal[i];
  for (auto _ : state) benchmark::DoNotOptimize(RoundTrip_FindStereo(signal, capture.data(), kCapture));
  state.SetLabel("1 s + signal, stereo");
}
BENCHMARK(BM_RoundTripSearch)->Unit(benchmark::kMillisecond);

}  // namespace
