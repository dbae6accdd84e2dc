// Select Audio Devices and Set Latency without an audio layer: the list rule, the dialog
// ending at once when there is no driver, and the latency's range.
#include "app/device_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/app_fixture.h"
#include "app/latency_dialog.h"

namespace {

DeviceChoice Device(const char* name, int in, int out) {
  DeviceChoice d;
  d.name = name;
  d.maxInputChannels = in;
  d.maxOutputChannels = out;
  return d;
}

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

using DeviceDialogTest = AppTest;

TEST_F(DeviceDialogTest, NoDriverEndsTheDialogAndOkNeedsAChoice) {
  DeviceDialog d;
  EXPECT_FALSE(DeviceDialog_Open(&d));  // the audio layer offers no host API here
  EXPECT_TRUE(dialog.Saw("Portaudio found no sound card drivers.", "Error"));
  EXPECT_FALSE(DeviceDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Please select driver, devices, and sample rate.", "Error"));
}

TEST_F(DeviceDialogTest, LatencyRangeChecksOfOk) {
  LatencyDialog d = LatencyDialog_Open();
  const char* const cases[][2] = {  // text, message (null: accepted and written)
      {"1000.5", "Latency too long"}, {"", "Please enter a time in milliseconds"}, {"0.09", "Latency too short"},
      {"abc", "Latency too short"},   {"1000", nullptr},                         {"0.1", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    dialog.shown.clear();
    d.milliseconds = c[0];
    EXPECT_EQ(LatencyDialog_Ok(&d), c[1] == nullptr);
    EXPECT_TRUE(!c[1] || (dialog.shown.size() == 1 && dialog.Saw(c[1], "Error")));
    EXPECT_EQ(std::filesystem::exists(dir + "/DeviceConfig.xml"), c[1] == nullptr);
    std::filesystem::remove(dir + "/DeviceConfig.xml");
  }
}

}  // namespace
