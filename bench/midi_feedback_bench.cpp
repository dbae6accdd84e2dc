// Controller feedback: a state change (a mouse click muting a track) timed to the moment
// its note-on reaches the MIDI layer, through timer 1's feedback pass and the MIDI output
// thread, on a controller of 64 lit pads. A change waits at most one tick for timer 1
// (33 ms) on top of the time measured here. Beside it, timer 1's whole tick with and
// without those pads: what the feedback pass costs every 33 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "app/app.h"
#include "app/settings/preferences.h"
#include "app/startup.h"
#include "control/memory_midi_backend.h"
#include "control/midi_output.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"
#include "engine/audio.h"

namespace {

using Clock = std::chrono::steady_clock;

// The application with the in-memory MIDI layer and, when `pads`, a controller of 64
// pads: mute, solo, reverse and half speed of each of the 8 tracks, on notes and
// controllers.
struct FeedbackScene {
  explicit FeedbackScene(bool pads) {
    Audio_Init();
    Preferences_ResetDefaults();
    App_InitApplicationData(&app);
    output = midi.AddDevice("Pads", false, true);
    MidiPorts_UseBackend(&midi);
    OpenMidiPorts();
    App_Preferences().midi_feedback_port = pads ? 0 : -1;
    const Command commands[4] = {Command::TrackMute, Command::TrackSolo, Command::TrackReverse, Command::TrackSlow};
    for (int track = 0; pads && track < 8; ++track)
      for (int c = 0; c < 4; ++c)
        for (TriggerType type : {TriggerType::NoteOn, TriggerType::ControlChange}) {
          Trigger t = Trigger_Make(type);
          t.data1.SetInput(track * 4 + c, ValueRange::kSingle);
          t.channel.SetInput(0, ValueRange::kSingle);
          t.action = {CommandId(commands[c]), track};
          Triggers().Add(type, t);
        }
    App_Timer1(&app);  // every lamp sent once
    MidiOutput_Flush();
  }
  ~FeedbackScene() {
    CloseMidiPorts();
    MidiPorts_UseBackend(nullptr);
    Triggers().ClearAll();
    App_Detach(&app);
    Audio_Shutdown();
  }
  App app;
  MemoryMidiBackend midi;
  int output = -1;
};

void BM_MidiFeedbackStateChangeToOutput(benchmark::State& state) {
  FeedbackScene scene(true);
  std::vector<double> latencies;
  int k = 0;
  for (auto _ : state) {
    const size_t before = scene.midi.WriteLog(scene.output).size();
    const Clock::time_point changed = Clock::now();
    App_Command(&scene.app, Command::TrackMute, App_Parameter(k++ % 8, 0));
    App_Timer1(&scene.app);
    MidiOutput_Flush();
    const std::vector<MemoryMidiBackend::WriteRecord> log = scene.midi.WriteLog(scene.output);
    if (log.size() != before + 2) state.SkipWithError("the mute did not reach its two pads");
    latencies.push_back(std::chrono::duration<double, std::micro>(log.back().time - changed).count());
  }
  std::sort(latencies.begin(), latencies.end());
  if (!latencies.empty()) {
    state.counters["median_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
    state.counters["max_us"] = latencies.back();
    state.counters["tick_us"] = 33000;  // timer 1's period: the budget
  }
}
BENCHMARK(BM_MidiFeedbackStateChangeToOutput)->Unit(benchmark::kMicrosecond)->Iterations(2000)->UseRealTime();

// Timer 1 with nothing changing: the feedback pass reads the state and finds nothing to send.
void BM_Timer1Tick(benchmark::State& state) {
  FeedbackScene scene(state.range(0) != 0);
  for (auto _ : state) App_Timer1(&scene.app);
  state.SetLabel(state.range(0) ? "64 feedback pads" : "no feedback");
}
BENCHMARK(BM_Timer1Tick)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
