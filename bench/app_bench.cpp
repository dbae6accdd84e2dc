// The application core's costs: one display refresh (timer 1 plus reading the panel's
// state) with eight playing tracks, and the dispatch of posted commands.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/app.h"
#include "app/panel_view.h"
#include "app/settings/preferences.h"
#include "app/startup.h"
#include "engine/audio.h"

namespace {

// The engine without an audio layer, the application on it, eight tracks playing.
struct PlayingApp {
  PlayingApp() {
    Audio_Init();
    Preferences_ResetDefaults();
    App_InitApplicationData(&app);
    for (LoopStrip& s : app.tracks.strips) s.mute = false;
    LoopStrip_ApplyMuteSolo(&app.tracks);
    Audio_PlayLooping();
    std::vector<float> in(512, 0.25f), out(512);
    for (int i = 0; i < 20; ++i) Audio_ProcessStream(Audio_GetEngine(), in.data(), out.data(), 256);
  }
  ~PlayingApp() {
    App_Detach(&app);
    Audio_Shutdown();
  }
  App app;
};

void BM_Timer1TickEightPlayingTracks(benchmark::State& state) {
  PlayingApp scene;
  AudioEngine* e = Audio_GetEngine();
  double level = 0.0;
  for (auto _ : state) {
    // Fresh peaks each tick, as the callback leaves them.
    e->inputPeak[0] = e->outputPeak[0] = level;
    e->inputPeak[1] = e->outputPeak[1] = 1.0 - level;
    level = level > 0.9 ? 0.0 : level + 0.01;
    App_Timer1(&scene.app);
    PanelView view = App_Panel(&scene.app);
    benchmark::DoNotOptimize(view);
  }
}
BENCHMARK(BM_Timer1TickEightPlayingTracks);

void BM_Dispatch10000PostedCommands(benchmark::State& state) {
  PlayingApp scene;
  for (auto _ : state) {
    for (int i = 0; i < 10000; ++i)
      ControlCommands().Post({CommandId(Command::TrackVolume), static_cast<uint16_t>(i * 6), static_cast<uint16_t>(i % 9)});
    App_DrainCommands(&scene.app);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_Dispatch10000PostedCommands)->Unit(benchmark::kMillisecond);

}  // namespace
