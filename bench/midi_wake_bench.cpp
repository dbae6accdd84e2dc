// What watching the MIDI inputs costs and gains beside polling them every 2 ms: the
// process's wake-ups while an enabled input is silent, and the delay from an event's
// arrival to its trigger firing. A thread here stands for the window's thread: either it
// waits for the drain to be woken and runs MidiPollWoken, as the window's drain does, or
// it runs MidiPoll on a 2 ms timer, as timer 2 does.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "control/fire_action.h"
#include "control/memory_midi_backend.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"

namespace {

using Clock = std::chrono::steady_clock;

// Voluntary context switches of every thread of the process: each is a sleep, so each
// return from one is a wake-up.
long ProcessWakeups() {
  long total = 0;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) total += std::stol(line.substr(24));
  }
  return total;
}

// Records when each fired trigger ran.
struct Stamps : TransportNow {
  std::atomic<int64_t> last{0};
  bool ExecuteTransportNow(uint32_t) override {
    last.store(Clock::now().time_since_epoch().count());
    return true;
  }
};

// The window's thread, woken by the drain's notification or by its 2 ms timer.
class UiThread {
 public:
  explicit UiThread(bool timer) : timer_(timer) {
    if (!timer_) ControlCommands().SetNotify(&Notify, this);
    thread_ = std::thread([this] { Run(); });
  }
  ~UiThread() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stop_ = true;
    }
    woken_.notify_one();
    thread_.join();
    ControlCommands().SetNotify(nullptr, nullptr);
  }

 private:
  static void Notify(void* self) {
    auto* ui = static_cast<UiThread*>(self);
    {
      std::lock_guard<std::mutex> guard(ui->lock_);
      ui->posted_ = true;
    }
    ui->woken_.notify_one();
  }
  void Run() {
    auto next = Clock::now();
    std::unique_lock<std::mutex> hold(lock_);
    while (!stop_) {
      if (timer_) {
        next += std::chrono::milliseconds(2);
        woken_.wait_until(hold, next, [this] { return stop_; });
        hold.unlock();
        MidiPoll();
      } else {
        woken_.wait(hold, [this] { return stop_ || posted_; });
        posted_ = false;
        hold.unlock();
        MidiPollWoken();
      }
      hold.lock();
    }
  }

  const bool timer_;
  std::mutex lock_;
  std::condition_variable woken_;
  bool posted_ = false, stop_ = false;
  std::thread thread_;
};

// One enabled input with a learned pad; state.range(0): 1 watched, 0 polled by timer 2.
struct Scene {
  explicit Scene(bool watched) {
    midi.AddDevice("Pads", true, false);
    midi.OfferWakeDescriptors(watched);
    MidiPorts_UseBackend(&midi);
    OpenMidiPorts();
    Trigger t = Trigger_Make(TriggerType::NoteOn);
    t.data1.SetInput(60, ValueRange::kSingle);
    t.action = {32813, 0};
    Triggers().Add(TriggerType::NoteOn, t);
    RecomputeEnabledInputs();
    Control_InstallTransportNow(&stamps);
  }
  ~Scene() {
    Control_InstallTransportNow(nullptr);
    CloseMidiPorts();
    MidiPorts_UseBackend(nullptr);
    Triggers().ClearAll();
  }
  MemoryMidiBackend midi;
  Stamps stamps;
};

void BM_MidiIdleWakeupsPerSecond(benchmark::State& state) {
  const bool watched = state.range(0) == 1;
  Scene scene(watched);
  double perSecond = 0;
  for (auto _ : state) {
    UiThread ui(!watched);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // settled
    const long before = ProcessWakeups();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    perSecond = static_cast<double>(ProcessWakeups() - before) / seconds;
  }
  state.counters["wakeups_per_s"] = perSecond;
  state.counters["timer2"] = MidiPorts_PollingWanted() ? 1 : 0;
}
BENCHMARK(BM_MidiIdleWakeupsPerSecond)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_MidiArrivalToDispatch(benchmark::State& state) {
  const bool watched = state.range(0) == 1;
  Scene scene(watched);
  std::vector<double> delaysUs;
  std::mt19937 random(7);
  std::uniform_int_distribution<int> gapUs(500, 4000);  // arrivals at any phase of the timer
  for (auto _ : state) {
    UiThread ui(!watched);
    for (int i = 0; i < 400; ++i) {
      std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
      const int64_t sent = Clock::now().time_since_epoch().count();
      scene.midi.Inject(0, MidiMessage(0x90, 60, 100));
      // Sleeping here keeps a core free for the window's thread; its stamp is its own.
      while (scene.stamps.last.load() < sent) std::this_thread::sleep_for(std::chrono::microseconds(200));
      delaysUs.push_back(static_cast<double>(scene.stamps.last.load() - sent) / 1000.0);
    }
  }
  std::sort(delaysUs.begin(), delaysUs.end());
  state.counters["median_us"] = delaysUs[delaysUs.size() / 2];
  state.counters["p99_us"] = delaysUs[delaysUs.size() * 99 / 100];
}
BENCHMARK(BM_MidiArrivalToDispatch)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
