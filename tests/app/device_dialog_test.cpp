// Select Audio Devices without an audio layer: the list rule and OK without a choice.
#include "app/device_dialog.h"

#include <gtest/gtest.h>

#include "app/app_fixture.h"

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

using DeviceDialogTest = AppTest;

// (The dialog ending at once without a driver is checked through the window's dialog.)
TEST_F(DeviceDialogTest, OkNeedsAChoice) {
  DeviceDialog d;
  EXPECT_FALSE(DeviceDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Please select driver, devices, and sample rate.", "Error"));
}

}  // namespace
