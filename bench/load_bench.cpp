// The longest time the user-interface thread is held while a 240 s stereo loop (46 MB of
// 16-bit WAV) loads into a track: the load that reads the file on that thread, beside
// the load that reads it on a thread of its own while the window's timer ticks every
// 10 ms (the drain and timer 1, as the window runs them); beside them the save of that
// loop written on the user-interface thread, and the session save that writes it on a
// thread of its own while the timer ticks. Reported as counters in ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/app.h"
#include "app/file_commands.h"
#include "app/session/session_store.h"
#include "app/settings/preferences.h"
#include "app/startup.h"
#include "audio_io/loop_files.h"
#include "engine/audio.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The engine without an audio layer, the application on it, and the 240 s file.
struct LoadScene {
  LoadScene() {
    Audio_Init();
    Preferences_ResetDefaults();
    App_Preferences().warn_file_load = 0;
    folder = fs::temp_directory_path() / ("kestrine-load-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const int track = Audio_CreateLoop(240, 0.9, 2, 0);
    float* b = Audio_GetEngine()->tracks[track].pBuffer;
    const size_t n = static_cast<size_t>(Audio_GetEngine()->tracks[track].length) * 2;
    for (size_t i = 0; i < n; ++i) b[i] = 0.5f * std::sin(0.01f * static_cast<float>(i % 6283));
    file = (folder / "loop.wav").string();
    Audio_SaveLoop(track, file.c_str(), false);
    Audio_DeleteLoop(track);
    App_InitApplicationData(&app);
  }
  ~LoadScene() {
    App_Detach(&app);
    Audio_Shutdown();
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  App app;
  fs::path folder;
  std::string file;
};

void BM_UiStallLoading240sOnTheUiThread(benchmark::State& state) {
  LoadScene scene;
  const int slot = scene.app.tracks.strips[1].slot;
  double longest = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    if (Audio_LoadLoop(slot, scene.file.c_str(), 1, false, false, false).empty()) state.SkipWithError("load failed");
    longest = std::max(longest, Ms(Clock::now() - start));
  }
  state.counters["longest_stall_ms"] = longest;
}
BENCHMARK(BM_UiStallLoading240sOnTheUiThread)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_UiStallLoading240sOnAWorker(benchmark::State& state) {
  LoadScene scene;
  double longest = 0;
  int64_t ticks = 0;
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    if (!App_LoadLoop(&scene.app, StripIndex{1}, scene.file, false)) state.SkipWithError("load failed");
    longest = std::max(longest, Ms(Clock::now() - start));
    while (App_Loading(&scene.app)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      start = Clock::now();
      App_DrainCommands(&scene.app);
      App_Timer1(&scene.app);
      longest = std::max(longest, Ms(Clock::now() - start));
      ++ticks;
    }
  }
  state.counters["longest_stall_ms"] = longest;
  state.counters["ticks_per_load"] = static_cast<double>(ticks) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_UiStallLoading240sOnAWorker)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);


void BM_UiStallSaving240sOnTheUiThread(benchmark::State& state) {
  LoadScene scene;
  const int slot = scene.app.tracks.strips[1].slot;
  if (Audio_LoadLoop(slot, scene.file.c_str(), 1, false, false, false).empty()) state.SkipWithError("load failed");
  const std::string saved = (scene.folder / "saved.wav").string();
  double longest = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    if (Audio_SaveLoop(slot, saved.c_str(), false).empty()) state.SkipWithError("save failed");
    longest = std::max(longest, Ms(Clock::now() - start));
  }
  state.counters["longest_stall_ms"] = longest;
}
BENCHMARK(BM_UiStallSaving240sOnTheUiThread)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_UiStallSaving240sOnAWorker(benchmark::State& state) {
  LoadScene scene;
  AppSessionStore store(App_SessionParts(&scene.app));
  scene.app.sessions = &store;
  const int slot = scene.app.tracks.strips[1].slot;
  if (Audio_LoadLoop(slot, scene.file.c_str(), 1, false, false, false).empty()) state.SkipWithError("load failed");
  scene.app.tracks.strips[1].empty = false;
  const std::string base = (scene.folder / "Gig").string();
  double longest = 0;
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    if (!App_StartSessionSave(&scene.app, base)) state.SkipWithError("save failed");
    longest = std::max(longest, Ms(Clock::now() - start));
    while (App_Saving(&scene.app)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      start = Clock::now();
      App_DrainCommands(&scene.app);
      App_Timer1(&scene.app);
      longest = std::max(longest, Ms(Clock::now() - start));
    }
    if (!scene.app.saves.lastSaved) state.SkipWithError("save failed");
  }
  state.counters["longest_stall_ms"] = longest;
}
BENCHMARK(BM_UiStallSaving240sOnAWorker)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
