// The window's costs: one timer-1 tick of the whole panel (meters moving, position bar,
// labels, repaint of what changed), start-up to a shown window on a first start and
// with a default session of eight 20 s tracks, and the longest stall of the event loop
// while a 240 s loop loads. Offscreen Qt platform; CPU time is the process's.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/app.h"
#include "app/session/session_file.h"
#include "app/session/session_store.h"
#include "app/startup.h"
#include "audio_io/loop_files.h"
#include "engine/audio.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/transport_panel.h"
#include "persist/config_directory.h"

namespace fs = std::filesystem;

namespace {

QApplication& Qt() {
  static int argc = 1;
  static char name[] = "kestrine_gui_bench";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}

std::string TempDir() {
  std::string pattern = (fs::temp_directory_path() / "kestrine-gui-bench-XXXXXX").string();
  return mkdtemp(pattern.data()) ? pattern : std::string();
}

// The engine and an application with its data, in a fresh configuration folder that
// goes with them unless kept.
struct BenchApp {
  BenchApp() {
    Audio_Init();
    ConfigDirectory = dir;
    App_InitApplicationData(app.get());
  }
  ~BenchApp() {
    App_Detach(app.get());
    app.reset();
    Audio_Shutdown();
    ConfigDirectory.clear();
    if (!keep) fs::remove_all(dir);
  }
  const std::string dir = TempDir();
  std::unique_ptr<App> app = std::make_unique<App>();
  bool keep = false;
};

// A folder holding Default.session with eight 20 s stereo tracks.
std::string DefaultSessionFolder() {
  BenchApp bench;
  bench.keep = true;
  for (int i = 0; i < kStripCount; ++i) {
    LoopStrip_Recreate(&bench.app->tracks, StripIndex{i}, 20.0, false, 2);
    bench.app->tracks.strips[i].empty = false;
  }
  SessionFile_Save(App_SessionParts(bench.app.get()), Session_DefaultBase());
  return bench.dir;
}

// Start-up as the program runs it, until the window has been shown and painted; the
// number of tracks holding a loop afterwards.
int StartOnce(const std::string& dir) {
  auto app = std::make_unique<App>();
  MainWindow window(app.get());
  QtDialogHost dialogs(app.get(), &window);
  AppSessionStore sessions(App_SessionParts(app.get()));
  window.PlaceOnScreen();
  window.show();
  AppSeams seams;
  seams.window = &window;
  seams.dialogs = &dialogs;
  seams.sessions = &sessions;
  App_Start(app.get(), dir, seams);
  window.Refresh();
  QCoreApplication::processEvents();
  window.StopTimers();
  int loaded = 0;
  for (const LoopStrip& strip : app->tracks.strips) loaded += strip.empty ? 0 : 1;
  App_Shutdown(app.get());
  return loaded;
}

void BM_StartFirstTime(benchmark::State& state) {
  Qt();
  for (auto _ : state) {
    state.PauseTiming();
    const std::string dir = TempDir();
    state.ResumeTiming();
    StartOnce(dir);
    state.PauseTiming();
    fs::remove_all(dir);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartFirstTime)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_StartWithEightTrackDefaultSession(benchmark::State& state) {
  Qt();
  const std::string dir = DefaultSessionFolder();
  int loaded = 0;
  for (auto _ : state) loaded = StartOnce(dir);
  state.counters["tracks_loaded"] = loaded;
  fs::remove_all(dir);
}
BENCHMARK(BM_StartWithEightTrackDefaultSession)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_PanelTick(benchmark::State& state) {
  Qt();
  BenchApp bench;
  App* app = bench.app.get();
  MainWindow window(app);
  app->window = &window;
  window.PlaceOnScreen();
  window.show();
  QCoreApplication::processEvents();
  AudioEngine* e = Audio_GetEngine();
  int n = 0;
  for (auto _ : state) {
    // Levels that move every tick, so meters and labels really redraw.
    const double level = (n++ % 20) / 20.0;
    e->inputPeak[0] = level;
    e->inputPeak[1] = 1.0 - level;
    e->outputPeak[0] = level;
    e->outputPeak[1] = level / 2;
    for (int i = 0; i < kStripCount; ++i) e->tracks[app->tracks.strips[i].slot].peak = level;
    App_Timer1(app);
    window.panel()->TakeLevels();
    window.Refresh();
    QCoreApplication::processEvents();  // the repaint of what changed
  }
  app->window = nullptr;
}
BENCHMARK(BM_PanelTick)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// The event loop's longest gap while a 240 s stereo loop loads (reported as a counter).
void BM_LoadLongLoopStall(benchmark::State& state) {
  Qt();
  BenchApp bench;
  App* app = bench.app.get();
  LoopStrip_Recreate(&app->tracks, StripIndex{0}, 240.0, false, 2);
  const std::string wav = bench.dir + "/long.wav";
  Audio_SaveLoop(app->tracks.strips[0].slot, wav.c_str(), false);
  double worst = 0;
  for (auto _ : state) {
    QElapsedTimer clock;
    clock.start();
    App_LoadLoop(app, StripIndex{1}, wav, false);
    worst = std::max(worst, static_cast<double>(clock.elapsed()));
  }
  state.counters["stall_ms"] = worst;
}
BENCHMARK(BM_LoadLongLoopStall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
