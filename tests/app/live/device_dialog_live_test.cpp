// Select Audio Devices and Set Latency against a running JACK server (the dummy backend
// in CI): the lists, the rate probing, the stream closed while the dialog is open and
// reopened by OK or a new latency.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/dialogs/device_dialog.h"
#include "app/dialogs/latency_dialog.h"
#include "audio_io/audio_device.h"
#include "engine/audio.h"
#include "persist/config_directory.h"
#include "support/scripted_dialog.h"

namespace {

constexpr int JACK = 12;

class DeviceDialogLive : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* ci = getenv("CI");
    if (system("jack_lsp >/dev/null 2>&1") != 0) {
      if (ci && *ci && std::string(ci) != "false") FAIL() << "no JACK server is running on the CI machine";
      GTEST_SKIP() << "no JACK server is running: start jackd --no-realtime -d dummy -r 48000 -p 256";
    }
    char pattern[] = "/tmp/kestrine_devices_XXXXXX";
    ConfigDirectory = mkdtemp(pattern);
    AudioIo_Install();
    ASSERT_TRUE(Audio_Init());
    ASSERT_TRUE(Audio_SetHostApi(JACK));
    DeviceConfiguration_SetInputName("system");
    DeviceConfiguration_SetOutputName("system");
    ASSERT_TRUE(Audio_OpenConfiguredDevice());
  }
  void TearDown() override {
    if (Audio_GetEngine()) Audio_Shutdown();
    std::error_code ec;
    if (!ConfigDirectory.empty()) std::filesystem::remove_all(ConfigDirectory, ec);
    ConfigDirectory.clear();
  }
  // The stream is open and its callbacks run.
  static bool Running() {
    const uint64_t before = Audio_GetEngine()->callbacksFinished.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return Audio_IsStreamOpen() && Audio_GetEngine()->callbacksFinished.load() > before + 10;
  }
  ScriptedDialog messages;
};

// (Cancel bringing back the stream is checked through the window's device dialog.)
TEST_F(DeviceDialogLive, ListsJackProbesRatesAndOkOrANewLatencyReopens) {
  DeviceDialog d;
  ASSERT_TRUE(DeviceDialog_Open(&d));
  EXPECT_FALSE(Audio_IsStreamOpen());  // no audio while the dialog is open
  ASSERT_TRUE(d.driver >= 0 && d.input >= 0 && d.output >= 0 && d.rate >= 0);
  EXPECT_EQ(d.drivers[d.driver].type, JACK);
  EXPECT_TRUE(d.inputs[d.input].name == "system" && d.outputs[d.output].name == "system");
  EXPECT_EQ(DeviceDialog_RateTexts(d)[d.rate], "48000.0");  // the rate in use is selected
  EXPECT_NE(d.inputDetails.rates.find("48000.0  "), std::string::npos);

  ASSERT_TRUE(DeviceDialog_Ok(&d));
  EXPECT_TRUE(messages.shown.empty());  // the rate in use asks nothing
  EXPECT_TRUE(Running());
  EXPECT_TRUE(std::filesystem::exists(ConfigDirectory + "/DeviceConfig.xml"));

  LatencyDialog l = LatencyDialog_Open();
  l.milliseconds = "1000";
  ASSERT_TRUE(LatencyDialog_Ok(&l));
  EXPECT_DOUBLE_EQ(Audio_GetLatency(), 1.0);
  EXPECT_TRUE(Running());
}

}  // namespace
