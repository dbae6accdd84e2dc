// Select Audio Devices and Set Latency against a running JACK server (the dummy backend
// in CI): the lists, the rate probing, the stream closed while the dialog is open and
// reopened by OK or Cancel.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/device_dialog.h"
#include "app/latency_dialog.h"
#include "audio_io/audio_device.h"
#include "engine/audio.h"
#include "persist/config_directory.h"
#include "support/scripted_dialog.h"

namespace {

constexpr int JACK = 12;

class DeviceDialogLive : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* ci = std::getenv("CI");
    const bool mustRun = ci && *ci && std::string(ci) != "false";
    if (std::system("jack_lsp >/dev/null 2>&1") != 0) {
      if (mustRun) FAIL() << "no JACK server is running on the CI machine";
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
  static bool CallbacksAdvance() {
    AudioEngine* e = Audio_GetEngine();
    const uint64_t before = e->callbacksFinished.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return e->callbacksFinished.load() > before + 10;
  }
  static int Find(const std::vector<DeviceChoice>& list, const std::string& name) {
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i].name == name) return static_cast<int>(i);
    return -1;
  }
  ScriptedDialog messages;
};

TEST_F(DeviceDialogLive, ListsJackProbesRatesAndReopensOnOk) {
  DeviceDialog d;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(DeviceDialog_Open(&d));
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("open_ms", std::to_string(ms));
  std::printf("device dialog opened in %.1f ms\n", ms);
  EXPECT_FALSE(Audio_IsStreamOpen());  // no audio while the dialog is open

  ASSERT_TRUE(d.driver >= 0);
  EXPECT_EQ(d.drivers[d.driver].type, JACK);
  EXPECT_TRUE(std::none_of(d.drivers.begin(), d.drivers.end(), [](const HostApiChoice& h) { return h.type == 3; }));
  ASSERT_GE(Find(d.inputs, "system"), 0);
  ASSERT_GE(Find(d.outputs, "system"), 0);
  EXPECT_EQ(d.inputs[d.input].name, "system");
  EXPECT_EQ(d.outputDetails.channels, d.outputs[d.output].maxOutputChannels);
  const std::vector<std::string> rates = DeviceDialog_RateTexts(d);
  EXPECT_NE(std::find(rates.begin(), rates.end(), "48000.0"), rates.end());
  ASSERT_GE(d.rate, 0);  // the rate in use is selected
  EXPECT_EQ(rates[d.rate], "48000.0");
  EXPECT_NE(d.inputDetails.rates.find("48000.0  "), std::string::npos);

  ASSERT_TRUE(DeviceDialog_Ok(&d));
  EXPECT_TRUE(messages.shown.empty());  // the rate in use asks nothing
  EXPECT_TRUE(Audio_IsStreamOpen());
  EXPECT_TRUE(CallbacksAdvance());
  EXPECT_TRUE(std::filesystem::exists(ConfigDirectory + "/DeviceConfig.xml"));
}

TEST_F(DeviceDialogLive, CancelReopensThePreviousDevice) {
  const int input = Audio_GetInputDevice();
  DeviceDialog d;
  ASSERT_TRUE(DeviceDialog_Open(&d));
  EXPECT_FALSE(Audio_IsStreamOpen());
  DeviceDialog_Cancel(&d);
  EXPECT_TRUE(Audio_IsStreamOpen());
  EXPECT_EQ(Audio_GetInputDevice(), input);
  EXPECT_TRUE(CallbacksAdvance());
  EXPECT_FALSE(std::filesystem::exists(ConfigDirectory + "/DeviceConfig.xml"));
}

TEST_F(DeviceDialogLive, LatencyReopensTheStream) {
  LatencyDialog d = LatencyDialog_Open();
  d.milliseconds = "1000.5";
  EXPECT_FALSE(LatencyDialog_Ok(&d));
  d.milliseconds = "1000";
  ASSERT_TRUE(LatencyDialog_Ok(&d));
  EXPECT_DOUBLE_EQ(Audio_GetLatency(), 1.0);
  EXPECT_TRUE(CallbacksAdvance());
}

}  // namespace
