// Trigger matching and MIDI polling costs.
#include <benchmark/benchmark.h>

#include "control/fire_action.h"
#include "control/memory_midi_backend.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"

namespace {

// Counts what fires instead of posting it, so the benchmark measures matching alone.
struct CountingTransport : TransportNow {
  long runs = 0;
  bool ExecuteTransportNow(uint32_t) override {
    ++runs;
    return true;
  }
};

// 1000 control-change triggers; `matching` of them match the event sent.
void FillControlChanges(TriggerSet& set, int matching) {
  for (int i = 0; i < 1000; ++i) {
    Trigger t = Trigger_Make(TriggerType::ControlChange);
    t.data1.SetInput(i < matching ? 7 : 8 + i % 100, ValueRange::kSingle);
    t.data2.SetInput(0, 127);
    t.data2.SetOutput(0, 127);
    t.action = {32813, i % 9};
    set.Add(TriggerType::ControlChange, t);
  }
}

void BM_MatchOneEventAgainst1000Triggers(benchmark::State& state) {
  TriggerSet set;
  FillControlChanges(set, static_cast<int>(state.range(0)));
  CountingTransport transport;
  Control_InstallTransportNow(&transport);
  int value = 0;
  for (auto _ : state) {
    set.DispatchMidi(0, 0, 0xB0, 7, value);
    value = (value + 1) & 0x7F;
  }
  Control_InstallTransportNow(nullptr);
  benchmark::DoNotOptimize(transport.runs);
  // Time per trigger walked (shown in seconds).
  state.counters["per_trigger"] = benchmark::Counter(
      1000.0 * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// Arg: how many of the 1000 triggers match (and fire).
BENCHMARK(BM_MatchOneEventAgainst1000Triggers)->Arg(1)->Arg(1000);

void BM_MidiPollIdleTable(benchmark::State& state) {
  MemoryMidiBackend midi;
  for (int i = 0; i < 16; ++i) midi.AddDevice("In", true, true);
  MidiPorts_UseBackend(&midi);
  OpenMidiPorts();
  for (auto _ : state) MidiPoll();
  CloseMidiPorts();
  MidiPorts_UseBackend(nullptr);
}
// Sixteen open, enabled, silent inputs on the in-memory layer.
BENCHMARK(BM_MidiPollIdleTable);

void BM_MidiPollNoDevices(benchmark::State& state) {
  MidiPorts_UseBackend(nullptr);  // PortMidi: no devices where there is no sequencer
  OpenMidiPorts();
  for (auto _ : state) MidiPoll();
  CloseMidiPorts();
}
BENCHMARK(BM_MidiPollNoDevices);

}  // namespace
