// Effects chain costs per 256-frame block at 48 kHz (reported as time per frame), the
// full chain through the stream callback, and the reverb side by side with sox's
// Freeverb-based `reverb` effect on the same 60 s stereo input.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "effects/denormal_guard.h"
#include "effects/reverb_model.h"
#include "reference/reference_reverb.h"
#include "engine/audio.h"
#include "engine/effects_chain.h"
#include "engine/effects_ops.h"
#include "reference/reference_callback.h"
#include "reference/previous_reverb.h"
#include "every_effect.h"

namespace {

constexpr int kBlock = 256;
constexpr int kRate = 48000;

// A busy, deterministic stereo signal: two detuned saws plus noise.
std::vector<float> BusySignal(int frames) {
  std::vector<float> v(2 * static_cast<size_t>(frames));
  uint32_t seed = 12345;
  for (int n = 0; n < frames; ++n) {
    seed = seed * 1664525u + 1013904223u;
    const float noise = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
    v[2 * n] = 0.4f * (std::fmod(n * 0.0051f, 2.0f) - 1.0f) + 0.2f * noise;
    v[2 * n + 1] = 0.4f * (std::fmod(n * 0.0049f, 2.0f) - 1.0f) - 0.2f * noise;
  }
  return v;
}

void PerFrame(benchmark::State& state, int64_t framesPerIteration) {
  state.counters["time_per_frame"] = benchmark::Counter(
      static_cast<double>(framesPerIteration),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.SetItemsProcessed(state.iterations() * framesPerIteration);
}

// An engine with every effect on and live input sending the whole input to the bus.
struct BusyEngine {
  BusyEngine() {
    Audio_Init();
    Effects_Init(Audio_GetEngine());
    Bench_SwitchOnEveryEffect();
    Audio_SetLatentInput(1);
    Audio_SetLatentInputUseLoopEffectsMix(0);
    Audio_SetLatentInputEffectsMix(0.5);
  }
  ~BusyEngine() {
    Effects_Release(Audio_GetEngine());
    Audio_Shutdown();
  }
  AudioEngine* engine() const { return Audio_GetEngine(); }
};

void BM_FilterBlock(benchmark::State& state) {
  BusyEngine busy;
  std::vector<float> bus = BusySignal(kBlock);
  for (auto _ : state) {
    Audio_UpdateFilterLfo(busy.engine(), kBlock);
    for (int n = 0; n < kBlock; ++n) EffectsChain_FilterFrame(busy.engine(), &bus[2 * n]);
    benchmark::ClobberMemory();
  }
  PerFrame(state, kBlock);
}
BENCHMARK(BM_FilterBlock);

void BM_DelayBlock(benchmark::State& state) {
  BusyEngine busy;
  std::vector<float> bus = BusySignal(kBlock);
  for (auto _ : state) {
    for (int n = 0; n < kBlock; ++n) EffectsChain_DelayFrame(busy.engine(), &bus[2 * n]);
    benchmark::ClobberMemory();
  }
  PerFrame(state, kBlock);
}
BENCHMARK(BM_DelayBlock);

void BM_ReverbBlock(benchmark::State& state) {
  BusyEngine busy;
  const std::vector<float> input = BusySignal(kBlock);
  std::vector<float> bus = input;
  for (auto _ : state) {
    bus = input;
    EffectsChain_Reverb(busy.engine(), bus.data(), kBlock);
    benchmark::ClobberMemory();
  }
  PerFrame(state, kBlock);
}
BENCHMARK(BM_ReverbBlock);

// An earlier reverb process on the same block and in the same run, under the callback's
// flush-to-zero.
using ReverbProcessFn = void (*)(ReverbModel*, const float*, const float*, float*, float*, unsigned long, int);
void EarlierReverbBlock(benchmark::State& state, ReverbProcessFn process) {
  BusyEngine busy;
  const std::vector<float> input = BusySignal(kBlock);
  std::vector<float> bus = input;
  DenormalGuard denormals;
  ReverbModel* m = &busy.engine()->reverb;
  for (auto _ : state) {
    bus = input;
    process(m, bus.data(), bus.data() + 1, bus.data(), bus.data() + 1, kBlock, 2);
    benchmark::ClobberMemory();
  }
  PerFrame(state, kBlock);
}
// Each comb over a whole chunk on its own, as before the combs stepped together.
void BM_PreviousReverbBlock(benchmark::State& state) { EarlierReverbBlock(state, Previous_ReverbProcess); }
BENCHMARK(BM_PreviousReverbBlock);
// Plain per frame with every flush: the figure the model is measured against.
void BM_ReferenceReverbBlock(benchmark::State& state) { EarlierReverbBlock(state, Reference_ReverbProcess); }
BENCHMARK(BM_ReferenceReverbBlock);

// The whole callback on a busy bus: live input, filter + LFO, delay, reverb, master;
// beside it the per-frame reference callback on the same bus in the same run (it runs the
// same effects blocks: the two differ only in the mixing around them).
void FullChain(benchmark::State& state, bool reference) {
  BusyEngine busy;
  const std::vector<float> in = BusySignal(kBlock);
  std::vector<float> out(2 * kBlock);
  for (auto _ : state) {
    if (reference)
      Reference_ProcessStream(busy.engine(), in.data(), out.data(), kBlock);
    else
      Audio_ProcessStream(busy.engine(), in.data(), out.data(), kBlock);
    benchmark::ClobberMemory();
  }
  PerFrame(state, kBlock);
  // Real-time factor: seconds of audio per second of processing.
  state.counters["x_real_time"] = benchmark::Counter(
      static_cast<double>(kBlock) / kRate, benchmark::Counter::kIsIterationInvariantRate);
}
void BM_FullChainCallback(benchmark::State& state) { FullChain(state, false); }
BENCHMARK(BM_FullChainCallback);
void BM_FullChainReferenceCallback(benchmark::State& state) { FullChain(state, true); }
BENCHMARK(BM_FullChainReferenceCallback);

// ---- The reverb against sox on the same 60 s stereo file ----

constexpr int kFileSeconds = 60;
constexpr int kFileFrames = kFileSeconds * kRate;

struct SoxInput {
  std::filesystem::path dir;
  std::filesystem::path input;
  std::vector<float> samples;

  SoxInput() {
    dir = std::filesystem::temp_directory_path() / ("kestrine_reverb_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    input = dir / "input.f32";
    samples = BusySignal(kFileFrames);
    FILE* f = std::fopen(input.c_str(), "wb");
    if (f) {
      std::fwrite(samples.data(), sizeof(float), samples.size(), f);
      std::fclose(f);
    }
  }
  ~SoxInput() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

SoxInput& Input() {
  static SoxInput input;
  return input;
}

// CPU seconds (user + system) of finished child processes, and of this process: the
// machine is shared, so CPU time compares more fairly than wall time.
double ChildCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + 1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}
double OwnCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + 1e-9 * t.tv_nsec;
}
void CpuPerFrame(benchmark::State& state, double cpuSeconds) {
  state.counters["cpu_ns_per_frame"] =
      cpuSeconds * 1e9 / (static_cast<double>(state.iterations()) * kFileFrames);
}

bool HaveSox() { return std::system("command -v sox >/dev/null 2>&1") == 0; }

// One sox process over the raw 48 kHz stereo float file, with `effect` (may be empty).
void RunSox(benchmark::State& state, const char* effect) {
  if (!HaveSox()) {
    state.SkipWithError("sox is not installed (scripts/install-deps.sh installs it)");
    return;
  }
  SoxInput& in = Input();
  const std::string command = "sox -t f32 -r 48000 -c 2 '" + in.input.string() + "' -t f32 '" +
                              (in.dir / "output.f32").string() + "' " + effect;
  const double cpuBefore = ChildCpuSeconds();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("sox failed");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  PerFrame(state, kFileFrames);
  CpuPerFrame(state, ChildCpuSeconds() - cpuBefore);
}

// sox's reverb at its defaults (reverberance 50 %, HF damping 50 %, room scale 100 %).
void BM_Sox_Reverb60s(benchmark::State& state) { RunSox(state, "reverb"); }
BENCHMARK(BM_Sox_Reverb60s)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The same sox process without an effect: its file and start-up cost.
void BM_Sox_Copy60s(benchmark::State& state) { RunSox(state, ""); }
BENCHMARK(BM_Sox_Copy60s)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Our reverb as a whole job on the same file: read it, process it in 256-frame blocks
// at the start settings (room size 0.5, damping 0.5), write the result.
void BM_Kestrine_Reverb60s(benchmark::State& state) {
  SoxInput& in = Input();
  auto model = std::make_unique<ReverbModel>();
  ReverbModel_Init(model.get());
  std::vector<float> bus(in.samples.size());
  const std::filesystem::path output = in.dir / "kestrine_output.f32";
  const double cpuBefore = OwnCpuSeconds();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    FILE* f = std::fopen(in.input.c_str(), "rb");
    const size_t read = f ? std::fread(bus.data(), sizeof(float), bus.size(), f) : 0;
    if (f) std::fclose(f);
    if (read != bus.size()) {
      state.SkipWithError("could not read the input file");
      return;
    }
    for (int n = 0; n < kFileFrames; n += kBlock)
      ReverbModel_Process(model.get(), &bus[2 * n], &bus[2 * n + 1], &bus[2 * n], &bus[2 * n + 1], kBlock, 2);
    f = std::fopen(output.c_str(), "wb");
    if (f) {
      std::fwrite(bus.data(), sizeof(float), bus.size(), f);
      std::fclose(f);
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  PerFrame(state, kFileFrames);
  CpuPerFrame(state, OwnCpuSeconds() - cpuBefore);
}
BENCHMARK(BM_Kestrine_Reverb60s)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
