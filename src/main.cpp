// kestrine_headless: the toolkit-free core of Kestrine without a window, for a few
// seconds: full start-up (configuration files, audio device, MIDI ports), the timers,
// then the normal shutdown. A quick check of a machine's audio and MIDI set-up.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/app.h"
#include "app/settings/file_locations.h"
#include "app/startup.h"

namespace {

// A window that is not there: timers are run by the loop below.
class HeadlessWindow final : public WindowHost {
 public:
  void SetTitle(const std::string& title) override { std::printf("%s\n", title.c_str()); }
  void ShowTitleBar(bool) override {}
  void EnableMenuEntry(int, bool) override {}
  void FocusPanel() override {}
  void Refresh() override {}
  void Close() override { closed = true; }
  bool StartTimers() override { return true; }
  void StopTimers() override {}
  void StartFlashTimer(int) override {}
  bool closed = false;
};

}  // namespace

int main() {
  std::error_code ec;
  const std::filesystem::path start = std::filesystem::current_path(ec);
  static App app;
  HeadlessWindow window;
  AppSeams seams;
  seams.window = &window;
  const FileLocations where = FileLocations_Resolve(FileLocations_FromEnvironment(ec ? std::string() : start.string()));
  if (!App_Start(&app, where, seams)) return 0;
  std::printf("Kestrine running without a window for 2 seconds.\n");

  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::seconds(2);
  auto nextRefresh = Clock::now();
  while (Clock::now() < end && !window.closed) {
    App_Timer2(&app);
    App_DrainCommands(&app);
    if (Clock::now() >= nextRefresh) {
      App_Timer1(&app);
      nextRefresh += std::chrono::milliseconds(33);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (App_Close(&app)) window.Close();
  App_Shutdown(&app);
  std::printf("Kestrine shut down cleanly.\n");
  return 0;
}
