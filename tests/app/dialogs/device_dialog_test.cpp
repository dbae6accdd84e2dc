// Select Audio Devices without an audio layer: the list rule and OK without a choice.
#include "app/dialogs/device_dialog.h"

#include <gtest/gtest.h>

#include "app/app_fixture.h"
#include "app/settings/preferences.h"
#include "audio_io/audio_device.h"

namespace {

DeviceChoice Device(const char* name, int in, int out) { return {name, -1, -1, in, out}; }

std::string Names(const std::vector<DeviceChoice>& list) {
  std::string names;
  for (const DeviceChoice& d : list) names += d.name + " ";
  return names;
}

TEST(DeviceDialogLists, InputsAndOutputsByChannels) {
  std::vector<DeviceChoice> inputs, outputs;
  DeviceDialog_Split({Device("duplex", 2, 2), Device("mic", 1, 0), Device("hdmi", 0, 8), Device("dead", 0, 0)},
                     &inputs, &outputs);
  EXPECT_EQ(Names(inputs), "duplex mic dead ");
  EXPECT_EQ(Names(outputs), "duplex hdmi ");
}

// With nothing configured: JACK while a server runs, else ALSA's default device (the
// lists of this machine rarely show the ALSA case).
TEST(DeviceDialogLists, NothingConfiguredPrefersJackThenAlsa) {
  const HostApiChoice alsa{"ALSA", 8, 3}, oss{"OSS", 7, 1}, jack{"JACK Audio Connection Kit", 12, 2};
  EXPECT_EQ(DeviceDialog_PreferredDriver({alsa, oss, jack}), 2);
  EXPECT_EQ(DeviceDialog_PreferredDriver({oss, alsa}), 1);
  EXPECT_EQ(DeviceDialog_PreferredDriver({oss}), 0);
  EXPECT_EQ(DeviceDialog_PreferredDriver({}), -1);
}

using DeviceDialogTest = AppTest;

// (The dialog ending at once without a driver is checked through the window's dialog.)
TEST_F(DeviceDialogTest, OkNeedsAChoice) {
  DeviceDialog d;
  EXPECT_FALSE(DeviceDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Please select driver, devices, and sample rate.", "Error"));
}

// A new rate warns that the loops stay as they are, or with convert_sample_rate that
// they follow it; Cancel keeps the dialog open and the device as it was.
TEST_F(DeviceDialogTest, ANewRateSaysWhetherTheLoopsAreConverted) {
  DeviceDialog d;
  d.drivers = {{"JACK Audio Connection Kit", 12, 1}};
  d.inputs = d.outputs = {Device("system", 2, 2)};
  d.rates = {Audio_GetSampleRate() == 44100.0 ? 48000.0 : 44100.0};
  d.driver = d.input = d.output = d.rate = 0;
  for (const int convert : {0, 1}) {
    App_Preferences().convert_sample_rate = convert;
    dialog.answers = {IDCANCEL};
    EXPECT_FALSE(DeviceDialog_Ok(&d));
    EXPECT_TRUE(dialog.Saw(convert ? "New sample rate.\nCurrent loops will be converted to\nthe new rate.\nProceed?"
                                   : "New sample rate.\nCurrent loops will not be converted to\nthe new rate and may "
                                     "play incorrectly.\nProceed?",
                           "New Sample Rate"));
  }
}

// A round trip measured on one device and rate says nothing about another: OK with other
// devices or another rate forgets it; OK with the same ones keeps it.
TEST_F(DeviceDialogTest, ANewDeviceOrRateForgetsTheMeasuredRoundTrip) {
  const double rate = Audio_GetSampleRate();
  DeviceConfiguration_SetInputName("system");
  DeviceConfiguration_SetOutputName("system");
  DeviceDialog d;
  d.drivers = {{"JACK Audio Connection Kit", 12, 1}};
  d.inputs = d.outputs = {Device("system", 2, 2)};
  d.rates = {rate};
  d.driver = d.input = d.output = d.rate = 0;
  d.saved.driverType = Audio_GetHostApiType();
  Audio_SetMeasuredLatency(700);
  ASSERT_TRUE(DeviceDialog_Ok(&d));
  EXPECT_EQ(Audio_GetDeviceConfiguration()->measuredLatencyFrames, 700);

  d.inputs = {Device("usb", 2, 2)};
  ASSERT_TRUE(DeviceDialog_Ok(&d));
  EXPECT_EQ(Audio_GetDeviceConfiguration()->measuredLatencyFrames, -1);

  Audio_SetMeasuredLatency(700);
  d.rates = {rate == 44100.0 ? 48000.0 : 44100.0};
  dialog.answers = {IDOK};
  ASSERT_TRUE(DeviceDialog_Ok(&d));
  EXPECT_EQ(Audio_GetDeviceConfiguration()->measuredLatencyFrames, -1);
}

}  // namespace
