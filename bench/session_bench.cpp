// Saving and loading a session of eight 60 s stereo tracks at 48 kHz (about 92 MB of
// WAV files), against sox reading the same eight files as the reference for the load.
// Wall time is what counts (the save waits for the disk); CPU time is the process's.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app.h"
#include "app/session/session_file.h"
#include "app/startup.h"
#include "engine/audio.h"
#include "persist/config_directory.h"

namespace {

constexpr double kTrackSeconds = 60.0;

struct BenchSession {
  std::filesystem::path path;
  std::unique_ptr<App> app = std::make_unique<App>();

  BenchSession() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrine-bench-XXXXXX").string();
    if (mkdtemp(pattern.data())) path = pattern;
    Audio_Shutdown();  // a fresh engine, whatever the benchmarks before left in theirs
    Audio_Init();
    ConfigDirectory = path.string();
    if (!App_InitApplicationData(app.get())) std::abort();
    uint32_t noise = 1;
    for (int i = 0; i < kStripCount; ++i) {
      LoopStrip_Recreate(&app->tracks, StripIndex{i}, kTrackSeconds, false, 2);
      LoopTrack& t = Audio_GetEngine()->tracks[app->tracks.strips[i].slot];
      float* samples = t.pBuffer;
      for (int n = 0; n < t.length * 2; ++n) {
        noise = noise * 1664525u + 1013904223u;
        samples[n] = static_cast<float>(static_cast<int32_t>(noise) >> 8) / 8388608.0f * 0.5f;
      }
      app->tracks.strips[i].empty = false;
    }
  }
  ~BenchSession() {
    App_Detach(app.get());
    app.reset();
    ConfigDirectory.clear();
    Audio_Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string Base() const { return (path / "Bench").string(); }
};

void BM_SaveSession(benchmark::State& state) {
  BenchSession session;
  for (auto _ : state) benchmark::DoNotOptimize(SessionFile_Save(App_SessionParts(session.app.get()), session.Base()));
}
BENCHMARK(BM_SaveSession)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(3);

void BM_LoadSession(benchmark::State& state) {
  BenchSession session;
  SessionFile_Save(App_SessionParts(session.app.get()), session.Base());
  for (auto _ : state) benchmark::DoNotOptimize(SessionFile_Load(App_SessionParts(session.app.get()), session.Base(), false));
}
BENCHMARK(BM_LoadSession)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(3);

// The reference: sox reads the eight WAV files and discards the samples.
void BM_SoxReadsTheEightFiles(benchmark::State& state) {
  BenchSession session;
  SessionFile_Save(App_SessionParts(session.app.get()), session.Base());
  std::string command;
  for (int i = 1; i <= kStripCount; ++i)
    command += "sox '" + (session.path / ("Track " + std::to_string(i) + ".wav")).string() + "' -n && ";
  command += "true";
  if (std::system("command -v sox >/dev/null 2>&1") != 0) {
    state.SkipWithError("sox is not installed");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(std::system(command.c_str()));
}
BENCHMARK(BM_SoxReadsTheEightFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
