// OSC control from the network to the application: 1000 actions a second sent over
// loopback, each timed from its send to the moment the application has run it (the
// user-interface side here is this thread, woken as the window's drain is).
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <lo/lo.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/settings/preferences.h"
#include "app/startup.h"
#include "engine/audio.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kActions = 1000;

std::mutex g_lock;
std::condition_variable g_wake;
bool g_posted = false;

void Woken(void*) {
  std::lock_guard<std::mutex> guard(g_lock);
  g_posted = true;
  g_wake.notify_one();
}

std::vector<char> VolumePacket(int k) {
  lo_message m = lo_message_new();
  lo_message_add_string(m, "track_volume");
  lo_message_add_int32(m, 1);
  lo_message_add_float(m, static_cast<float>(k) / kActions);
  size_t size = 0;
  char* data = static_cast<char*>(lo_message_serialise(m, "/kestrine/action", nullptr, &size));
  std::vector<char> bytes(data, data + size);
  std::free(data);
  lo_message_free(m);
  return bytes;
}

void BM_OscActionSendToEffect1000PerSecond(benchmark::State& state) {
  Audio_Init();
  Preferences_ResetDefaults();
  App app;
  App_InitApplicationData(&app);
  app.oscPortFromCommandLine = 0;
  App_Preferences().osc_port = 0;
  // A free loopback port: the server asks the system for one.
  std::string error;
  app.osc = std::make_unique<AppOsc>();
  app.osc->server.Start(0, false, &error);
  app.osc->server.SetNotify([] { ControlCommands().Wake(); });
  ControlCommands().SetNotify(Woken, nullptr);
  const int port = app.osc->server.Port();

  std::vector<std::vector<char>> packets;
  for (int k = 0; k < kActions; ++k) packets.push_back(VolumePacket(k));
  std::vector<double> latencies;
  for (auto _ : state) {
    std::vector<Clock::time_point> sentAt(kActions);
    std::atomic<int> sent{0};
    std::thread sender([&] {
      const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      to.sin_port = htons(static_cast<uint16_t>(port));
      const Clock::time_point start = Clock::now();
      for (int k = 0; k < kActions; ++k) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(k));
        sentAt[k] = Clock::now();
        sent.store(k + 1);
        ::sendto(fd, packets[k].data(), packets[k].size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
      }
      ::close(fd);
    });
    int done = 0;
    while (done < kActions) {
      {
        std::unique_lock<std::mutex> guard(g_lock);
        g_wake.wait_for(guard, std::chrono::milliseconds(100), [] { return g_posted; });
        g_posted = false;
      }
      App_OscDrain(&app);
      ControlCommand c;
      while (ControlCommands().Take(&c)) {
        App_Command(&app, c.commandId, App_Parameter(c.track, c.value));
        const Clock::time_point now = Clock::now();
        const int k = static_cast<int>(std::lround(c.value * static_cast<double>(kActions) / 65535.0));
        if (k >= 0 && k < kActions && k < sent.load())
          latencies.push_back(std::chrono::duration<double, std::micro>(now - sentAt[k]).count());
        ++done;
      }
      if (app.osc->server.Ignored() > 0) break;
    }
    sender.join();
  }
  ControlCommands().SetNotify(nullptr, nullptr);
  App_StopOsc(&app);
  App_Detach(&app);
  Audio_Shutdown();
  std::sort(latencies.begin(), latencies.end());
  if (!latencies.empty()) {
    state.counters["median_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
    state.counters["max_us"] = latencies.back();
  }
  state.SetItemsProcessed(static_cast<int64_t>(latencies.size()));
}
BENCHMARK(BM_OscActionSendToEffect1000PerSecond)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
