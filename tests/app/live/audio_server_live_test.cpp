// A JACK server that comes and goes around the program (one of the test's own): Select
// Audio Devices lists what runs now, not what ran at start-up, and a first start opens a
// running server by itself.
#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/app_fixture.h"
#include "app/dialogs/device_dialog.h"
#include "app/settings/preferences.h"
#include "app/startup.h"
#include "audio_io/audio_device.h"
#include "audio_io/jack_client_loss.h"
#include "control/midi_ports.h"
#include "engine/audio.h"
#include "persist/config_directory.h"
#include "support/private_jack_server.h"
#include "support/scripted_dialog.h"

namespace {

constexpr int JACK = 12;

bool ListsJack(const DeviceDialog& d) {
  return std::any_of(d.drivers.begin(), d.drivers.end(), [](const HostApiChoice& h) { return h.type == JACK; });
}

bool ChoseJackSystem(const DeviceDialog& d) {
  return d.driver >= 0 && d.drivers[d.driver].type == JACK && d.input >= 0 && d.output >= 0 &&
         d.inputs[d.input].name == "system" && d.outputs[d.output].name == "system";
}

class AudioServerLive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PrivateJackServer::Usable()) GTEST_SKIP() << "jackd is not installed";
    char pattern[] = "/tmp/kestrine_server_XXXXXX";
    dir_ = mkdtemp(pattern);
    ConfigDirectory = dir_;
  }
  void TearDown() override {
    if (Audio_GetEngine()) Audio_Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    ConfigDirectory.clear();
  }
  bool StreamRuns() const {
    const uint64_t before = Audio_GetEngine()->callbacksFinished.load();
    return Within(2.0, [&] { return Audio_GetEngine()->callbacksFinished.load() > before + 10; });
  }
  bool KestrinePorts() const {
    const std::vector<std::string> ports = server_.Ports();
    for (const char* port : {"Kestrine:in_0", "Kestrine:in_1", "Kestrine:out_0", "Kestrine:out_1"})
      if (std::find(ports.begin(), ports.end(), port) == ports.end()) return false;
    return true;
  }

  PrivateJackServer server_{"devices"};
  std::string dir_;
  ScriptedDialog messages;
};

TEST_F(AudioServerLive, TheDeviceDialogListsAServerStartedAfterTheProgramAndDropsOneThatStopped) {
  AudioIo_Install();
  ASSERT_TRUE(Audio_Init());  // no server yet
  {
    DeviceDialog d;
    DeviceDialog_Open(&d);
    EXPECT_FALSE(ListsJack(d));
    DeviceDialog_Cancel(&d);
  }
  ASSERT_TRUE(server_.Start());

  // No stream runs: opening looks again.
  DeviceDialog d;
  ASSERT_TRUE(DeviceDialog_Open(&d));
  ASSERT_TRUE(ChoseJackSystem(d)) << "nothing configured: JACK's system device is offered first";
  ASSERT_TRUE(DeviceDialog_Ok(&d));
  EXPECT_TRUE(StreamRuns());
  EXPECT_TRUE(KestrinePorts()) << "the client started afresh carries the program's name";

  // The dialog closes the running stream; the server goes, and a rescan no longer lists it.
  DeviceDialog again;
  ASSERT_TRUE(DeviceDialog_Open(&again));
  EXPECT_TRUE(ChoseJackSystem(again));
  server_.Stop(SIGTERM);
  ASSERT_TRUE(Within(2.0, [] { return JackClientLoss_Happened(); }));
  DeviceDialog_Rescan(&again);
  EXPECT_FALSE(ListsJack(again));

  ASSERT_TRUE(server_.Start());
  messages.shown.clear();
  ASSERT_TRUE(DeviceDialog_Rescan(&again));
  EXPECT_TRUE(ChoseJackSystem(again));
  ASSERT_TRUE(DeviceDialog_Ok(&again));
  EXPECT_TRUE(StreamRuns());
  EXPECT_TRUE(KestrinePorts());
  EXPECT_TRUE(messages.shown.empty());
}

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(AudioServerLive, AFirstStartOpensTheRunningServerAndKeepsItForTheNextStart) {
  ASSERT_TRUE(server_.Start());
  MemoryMidiBackend midi;
  MidiPorts_UseBackend(&midi);
  Preferences_ResetDefaults();
  RecordingWindow window;
  RecordingSessions sessions;
  AppSeams seams{};
  seams.window = &window, seams.sessions = &sessions;
  const std::string deviceConfig = dir_ + "/DeviceConfig.xml";

  for (int start = 0; start < 2; ++start) {  // the first start, then one with the file it wrote
    SCOPED_TRACE(start);
    App app;
    ASSERT_TRUE(App_Start(&app, dir_, seams));
    EXPECT_FALSE(messages.Saw("Please go to Options->Select Audio Devices\nand choose an audio device.",
                              "Select an Audio Device"));
    EXPECT_EQ(Audio_GetHostApiType(), JACK);
    EXPECT_TRUE(Audio_IsStreamOpen() && StreamRuns());
    const std::string text = FileText(deviceConfig);
    EXPECT_NE(text.find("<driver_type>12</driver_type>"), std::string::npos) << text;
    EXPECT_NE(text.find("<input_device_name>system</input_device_name>"), std::string::npos) << text;
    EXPECT_NE(text.find("<output_device_name>system</output_device_name>"), std::string::npos) << text;
    App_Shutdown(&app);
  }
  MidiPorts_UseBackend(nullptr);
}

}  // namespace
