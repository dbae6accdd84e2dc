// Saving and loading a session of eight 60 s stereo tracks at 48 kHz (about 92 MB of
// WAV files), against sox reading the same eight files as the reference for the load.
// Wall time is what counts (the save waits for the disk); CPU time is the process's.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app.h"
#include "app/render.h"
#include "app/session/session_store.h"
#include "audio_io/mix_disk_writer.h"
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
    command += "sox '" + (session.path / "Bench Loops" / ("Track " + std::to_string(i) + ".wav")).string() + "' -n && ";
  command += "true";
  if (std::system("command -v sox >/dev/null 2>&1") != 0) {
    state.SkipWithError("sox is not installed");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(std::system(command.c_str()));
}
BENCHMARK(BM_SoxReadsTheEightFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Rendering the eight tracks for 60 s with every effect on and every strip sending to them
// (kestrine --render); x_realtime is how many seconds of the mix one second renders.
void BM_RenderSession(benchmark::State& state) {
  BenchSession session;
  App* app = session.app.get();
  EffectsPanel_EnableFilter(&app->effects, true);
  EffectsPanel_EnableLfo(&app->effects, true);
  EffectsPanel_EnableDelay(&app->effects, true);
  EffectsPanel_EnableReverb(&app->effects, true);
  for (int i = 0; i < kStripCount; ++i) {
    LoopStrip_SetMute(&app->tracks, StripIndex{i}, false);
    LoopStrip_SetEffects(&app->tracks, StripIndex{i}, true);
    LoopStrip_SetEffectsMix(&app->tracks, StripIndex{i}, 100);
  }
  SessionFile_Save(App_SessionParts(app), session.Base());
  MixDisk_Attach(Audio_GetEngine());
  AppSessionStore store(App_SessionParts(app));
  app->sessions = &store;
  const RenderRequest request{session.Base() + ".session", (session.path / "render.wav").string(), kTrackSeconds};
  for (auto _ : state) {
    std::string error;
    if (!Render_Session(app, request, &error)) state.SkipWithError(error.c_str());
  }
  state.counters["x_realtime"] =
      benchmark::Counter(kTrackSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  MixDisk_Detach(Audio_GetEngine());
  app->sessions = nullptr;
}
BENCHMARK(BM_RenderSession)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
