// Set Latency without an audio device: Measure says that none runs and changes nothing,
// and OK keeps or forgets the measured round trip by whether the latency changed. (The
// measurement itself runs against a JACK server in app/live.)
#include "app/dialogs/latency_dialog.h"

#include <gtest/gtest.h>

#include "app/app_fixture.h"
#include "audio_io/audio_device.h"

namespace {

using LatencyDialogTest = AppTest;

TEST_F(LatencyDialogTest, MeasureWithoutADeviceSaysSoAndChangesNothing) {
  Audio_SetMeasuredLatency(640);
  LatencyDialog d = LatencyDialog_Open();
  EXPECT_EQ(d.roundTrip, "Round trip: no audio device is running");
  EXPECT_FALSE(LatencyDialog_Measure(&d));
  EXPECT_TRUE(dialog.Saw("No audio device is running.\nChoose one in Options->Select Audio Devices.", "Set Latency"));
  EXPECT_FALSE(d.measuring);
  EXPECT_TRUE(LatencyDialog_PollMeasure(&d));
  EXPECT_EQ(d.proposedFrames, -1);
  LatencyDialog_Cancel(&d);
  EXPECT_EQ(Audio_GetDeviceConfiguration()->measuredLatencyFrames, 640);
}

// The same latency keeps the measurement; a new one (other buffers, perhaps) forgets it,
// unless this dialog measured anew.
TEST_F(LatencyDialogTest, OkKeepsTheMeasurementUnlessTheLatencyChanged) {
  Audio_SetMeasuredLatency(640);
  LatencyDialog d = LatencyDialog_Open();
  ASSERT_TRUE(LatencyDialog_Ok(&d));
  EXPECT_EQ(Audio_GetDeviceConfiguration()->measuredLatencyFrames, 640);

  d = LatencyDialog_Open();
  d.milliseconds = "20";
  ASSERT_TRUE(LatencyDialog_Ok(&d));
  EXPECT_EQ(Audio_GetDeviceConfiguration()->measuredLatencyFrames, -1);

  d = LatencyDialog_Open();
  d.milliseconds = "30";
  d.proposedFrames = 1512;  // as Measure leaves it
  ASSERT_TRUE(LatencyDialog_Ok(&d));
  EXPECT_EQ(Audio_GetDeviceConfiguration()->measuredLatencyFrames, 1512);
}

}  // namespace
