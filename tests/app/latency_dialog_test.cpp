// Set Latency: the range checks of OK; an accepted value is written to DeviceConfig.xml.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/app_fixture.h"
#include "app/latency_dialog.h"

namespace {

using LatencyDialogTest = AppTest;

TEST_F(LatencyDialogTest, RangeChecksOfOk) {
  LatencyDialog d = LatencyDialog_Open();
  EXPECT_EQ(d.milliseconds, "80.000000");
  const struct {
    const char* text;
    const char* message;  // null: accepted
  } cases[] = {
      {"1000.5", "Latency too long"},  {"", "Please enter a time in milliseconds"},
      {"0.09", "Latency too short"},   {"abc", "Latency too short"},
      {"1000", nullptr},               {"0.1", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    dialog.shown.clear();
    d.milliseconds = c.text;
    const bool closed = LatencyDialog_Ok(&d);
    EXPECT_EQ(closed, c.message == nullptr);
    if (c.message) {
      ASSERT_EQ(dialog.shown.size(), 1u);
      EXPECT_TRUE(dialog.Saw(c.message, "Error"));
    } else {
      EXPECT_TRUE(std::filesystem::exists(dir + "/DeviceConfig.xml"));
    }
  }
}

}  // namespace
