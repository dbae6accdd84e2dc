// Select Audio Devices without an audio layer: the list rule, the channel pairs, and the
// dialog ending at once when there is no driver.
#include <gtest/gtest.h>

#include "app/app_fixture.h"
#include "app/device_dialog.h"

namespace {

DeviceChoice Device(const char* name, int in, int out) {
  DeviceChoice d;
  d.name = name;
  d.maxInputChannels = in;
  d.maxOutputChannels = out;
  return d;
}

std::vector<std::string> Names(const std::vector<DeviceChoice>& list) {
  std::vector<std::string> names;
  for (const DeviceChoice& d : list) names.push_back(d.name);
  return names;
}

TEST(DeviceDialogLists, InputsAndOutputsByChannels) {
  std::vector<DeviceChoice> inputs, outputs;
  DeviceDialog_Split({Device("duplex", 2, 2), Device("mic", 1, 0), Device("hdmi", 0, 8), Device("dead", 0, 0)},
                     &inputs, &outputs);
  EXPECT_EQ(Names(inputs), (std::vector<std::string>{"duplex", "mic", "dead"}));
  EXPECT_EQ(Names(outputs), (std::vector<std::string>{"duplex", "hdmi"}));
  // A driver of output-only devices: all are outputs, no inputs.
  DeviceDialog_Split({Device("a", 0, 2), Device("b", 0, 6)}, &inputs, &outputs);
  EXPECT_TRUE(inputs.empty());
  EXPECT_EQ(Names(outputs), (std::vector<std::string>{"a", "b"}));

  EXPECT_EQ(DeviceDialog_ChannelPairs(3), (std::vector<std::string>{"1-2", "3-4"}));
  EXPECT_EQ(DeviceDialog_ChannelPairs(2), (std::vector<std::string>{"1-2"}));
  EXPECT_TRUE(DeviceDialog_ChannelPairs(0).empty());
}

using DeviceDialogTest = AppTest;

TEST_F(DeviceDialogTest, NoDriverEndsTheDialogAndOkNeedsAChoice) {
  DeviceDialog d;
  EXPECT_FALSE(DeviceDialog_Open(&d));  // the audio layer offers no host API here
  EXPECT_TRUE(dialog.Saw("Portaudio found no sound card drivers.", "Error"));
  EXPECT_FALSE(DeviceDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Please select driver, devices, and sample rate.", "Error"));
}

}  // namespace
