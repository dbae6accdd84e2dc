// The loop edit view on a 240 s stereo loop at 1600 columns: a full redraw and one play
// tick (33 ms of playback), as column data and, with the Qt layer, painted into the
// widget's image; and the stream callback's time while another thread keeps redrawing.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/loopedit/loop_edit_model.h"
#include "engine/audio.h"
#include "engine/undo.h"

#ifdef KESTRINE_BENCH_GUI
#include <QApplication>

#include "gui/loop_edit_widget.h"
#endif

namespace {

constexpr int kColumns = 1600;
constexpr int kHeight = 200;
constexpr int32_t kTickFrames = 1584;  // 33 ms at 48 kHz

// The engine without an audio layer: a 240 s stereo loop shown by the view, seven 4 s
// loops beside it, one of them recording.
struct LongLoop {
  LongLoop() {
    Audio_Init();
    AudioEngine* e = Audio_GetEngine();
    slot = Audio_CreateLoop(240.0, 1.0, 2, 0);
    float* buffer = e->tracks[slot].pBuffer;
    const int64_t samples = static_cast<int64_t>(e->tracks[slot].length) * 2;
    for (int64_t s = 0; s < samples; ++s) buffer[s] = 0.7f * static_cast<float>(std::sin(s * 0.0031));
    for (int i = 0; i < 7; ++i) Audio_CreateLoop(4.0, 0.9, 2, 0);
    Audio_RecordLooping(slot + 1);
    app.tracks.strips[0].slot = slot;
    view = App_MakeLoopEditView(&app);
    view->SetSize(kColumns, kHeight);
  }
  ~LongLoop() {
    view.reset();
    Audio_StopLooping();
    Audio_Shutdown();
  }
  // Moves the play position on by one refresh period and refreshes the view.
  void Tick() {
    LoopTrack& t = Audio_GetEngine()->tracks[slot];
    t.position = (t.position + kTickFrames) % t.length;
    view->Refresh();
  }
  App app;
  int slot = -1;
  std::unique_ptr<AppLoopEdit> view;
  std::vector<LoopEditColumn> columns;
};

void BM_LoopEditFullRedrawColumns(benchmark::State& state) {
  LongLoop scene;
  for (auto _ : state) {
    scene.view->Redraw();
    scene.view->TakeDamage();
    scene.view->Columns(0, kColumns, &scene.columns);
    benchmark::DoNotOptimize(scene.columns.data());
  }
}
BENCHMARK(BM_LoopEditFullRedrawColumns)->Unit(benchmark::kMicrosecond);

void BM_LoopEditPlayTickColumns(benchmark::State& state) {
  LongLoop scene;
  scene.view->TakeDamage();
  for (auto _ : state) {
    scene.Tick();
    for (const auto& [from, to] : scene.view->TakeDamage().ranges) scene.view->Columns(from, to, &scene.columns);
    benchmark::DoNotOptimize(scene.columns.data());
  }
}
BENCHMARK(BM_LoopEditPlayTickColumns)->Unit(benchmark::kMicrosecond);

// One 256-frame callback; with Arg 1 another thread redraws the whole view meanwhile.
void BM_CallbackWhileViewRedraws(benchmark::State& state) {
  LongLoop scene;
  std::atomic<bool> stop{false};
  std::atomic<long> redraws{0};
  std::thread redrawer;
  if (state.range(0)) {
    redrawer = std::thread([&] {
      std::vector<LoopEditColumn> columns;
      while (!stop.load()) {
        scene.view->Columns(0, kColumns, &columns);
        redraws.fetch_add(1);
      }
    });
  }
  AudioEngine* e = Audio_GetEngine();
  std::vector<float> in(512, 0.1f), out(512);
  for (auto _ : state) {
    Audio_ProcessStream(e, in.data(), out.data(), 256);
    benchmark::DoNotOptimize(out.data());
  }
  stop.store(true);
  if (redrawer.joinable()) redrawer.join();
  state.counters["redraws"] = static_cast<double>(redraws.load());
}
BENCHMARK(BM_CallbackWhileViewRedraws)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

#ifdef KESTRINE_BENCH_GUI
QApplication* Application() {
  if (!qApp) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kestrine_bench";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
  }
  return qApp;
}

void BM_LoopEditWidgetFullRedraw(benchmark::State& state) {
  Application();
  LongLoop scene;
  LoopEditWidget widget(scene.view.get());
  widget.resize(kColumns, kHeight);
  for (auto _ : state) {
    scene.view->Redraw();
    benchmark::DoNotOptimize(widget.image().constBits());
  }
}
BENCHMARK(BM_LoopEditWidgetFullRedraw)->Unit(benchmark::kMicrosecond);

void BM_LoopEditWidgetPlayTick(benchmark::State& state) {
  Application();
  LongLoop scene;
  LoopEditWidget widget(scene.view.get());
  widget.resize(kColumns, kHeight);
  widget.image();
  for (auto _ : state) {
    scene.Tick();
    benchmark::DoNotOptimize(widget.image().constBits());
  }
}
BENCHMARK(BM_LoopEditWidgetPlayTick)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
