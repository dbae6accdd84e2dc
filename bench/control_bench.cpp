// Trigger matching and MIDI polling costs, and the timing of the MIDI clock.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "control/fire_action.h"
#include "control/memory_midi_backend.h"
#include "control/midi_output.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"
#include "engine/audio.h"
#include "engine/metronome.h"

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

// Spread of a set of times in microseconds: standard deviation and the largest distance
// from the mean.
struct Spread {
  double mean = 0, sd = 0, worst = 0;
};
Spread SpreadOf(const std::vector<double>& us) {
  Spread s;
  if (us.empty()) return s;
  for (double v : us) s.mean += v;
  s.mean /= static_cast<double>(us.size());
  for (double v : us) {
    s.sd += (v - s.mean) * (v - s.mean);
    s.worst = std::max(s.worst, std::abs(v - s.mean));
  }
  s.sd = std::sqrt(s.sd / static_cast<double>(us.size()));
  return s;
}

// When each timing clock reaches the MIDI layer, against where its frame falls. A
// simulated sound card calls the engine's callback every `frames` frames at 48 kHz in
// real time, with the clock hook installed at 120 beats per minute (a clock every 1000
// frames); the clock of frame f belongs at start + f / rate, plus a constant latency
// that the figures leave out (each is a spread around the mean). Counters, in
// microseconds:
//   jitter_sd, jitter_worst   the clocks as written by the output thread;
//   buffer_sd, buffer_worst   a clock written at the start of its callback with no delay
//                             at all, the best any write from inside the callback could do;
//   queue_mean                time from the hook queueing a clock to its write;
//   queue_max                 the longest such time since the program started.
void BM_MidiClockJitter(benchmark::State& state) {
  const unsigned long frames = static_cast<unsigned long>(state.range(0));
  constexpr double kRate = 48000.0;
  constexpr long kTotalFrames = 4 * 48000;
  MemoryMidiBackend midi;
  const int out = midi.AddDevice("Out", false, true);
  MidiSendSettings settings;
  settings.send_midi_sync = 1;
  MidiPorts_UseBackend(&midi);
  MidiPorts_UseSendSettings(&settings);
  OpenMidiPorts();
  Audio_Init();
  AudioEngine* e = Audio_GetEngine();
  e->latencyFrames = 0;
  Audio_SetMetronomeTime(2.0, 4, true);
  const int perClock = e->framesPerClock;
  MidiHooks_Install();
  std::vector<float> in(2 * frames, 0.0f), buffer(2 * frames);
  std::vector<double> written, inCallback;
  const MidiOutputStats before = MidiOutput_Stats();

  // A sound card's callback thread runs with real-time priority; so does the simulated
  // one where the system allows it (device_rt = 1), above the MIDI output thread.
  int oldPolicy = 0;
  sched_param oldParam{}, rt{};
  pthread_getschedparam(pthread_self(), &oldPolicy, &oldParam);
  rt.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
  const bool deviceRt = pthread_setschedparam(pthread_self(), SCHED_FIFO, &rt) == 0;

  for (auto _ : state) {
    const size_t logged = midi.WriteLog(out).size();
    Audio_PlayLooping();
    const auto start = std::chrono::steady_clock::now();
    auto at = [&](double frame) { return start + std::chrono::nanoseconds(std::llround(frame * 1e9 / kRate)); };
    for (long f = 0; f < kTotalFrames; f += static_cast<long>(frames)) {
      std::this_thread::sleep_until(at(static_cast<double>(f)));
      Audio_ProcessStream(e, in.data(), buffer.data(), frames);
    }
    Audio_StopLooping();
    MidiOutput_Flush();
    const std::vector<MemoryMidiBackend::WriteRecord> log = midi.WriteLog(out);
    for (size_t k = logged; k < log.size(); ++k) {
      const double frame = static_cast<double>((k - logged) * static_cast<size_t>(perClock));
      const double bufferStart = std::floor(frame / static_cast<double>(frames)) * static_cast<double>(frames);
      written.push_back(std::chrono::duration<double, std::micro>(log[k].time - at(frame)).count());
      inCallback.push_back((bufferStart - frame) * 1e6 / kRate);
    }
  }
  const MidiOutputStats after = MidiOutput_Stats();
  pthread_setschedparam(pthread_self(), oldPolicy, &oldParam);
  MidiHooks_Remove();
  Audio_Shutdown();
  CloseMidiPorts();
  MidiPorts_UseBackend(nullptr);
  MidiPorts_UseSendSettings(nullptr);

  const Spread w = SpreadOf(written), c = SpreadOf(inCallback);
  state.counters["clocks"] = static_cast<double>(written.size());
  state.counters["jitter_sd"] = w.sd;
  state.counters["jitter_worst"] = w.worst;
  state.counters["buffer_sd"] = c.sd;
  state.counters["buffer_worst"] = c.worst;
  const double count = static_cast<double>(after.written - before.written);
  state.counters["queue_mean"] = count > 0 ? 1e-3 * static_cast<double>(after.totalDelayNs - before.totalDelayNs) / count : 0;
  state.counters["queue_max"] = 1e-3 * static_cast<double>(after.maxDelayNs);
  state.counters["dropped"] = static_cast<double>(after.dropped - before.dropped);
  state.counters["device_rt"] = deviceRt ? 1 : 0;
}
// Arg: frames per callback. Four seconds of real time per run.
BENCHMARK(BM_MidiClockJitter)->Arg(64)->Arg(256)->Arg(512)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
