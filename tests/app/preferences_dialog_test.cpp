// Preferences: live monitor controls and what Cancel puts back; OK's steps, the ones that
// keep the dialog open and what stays applied then; the file written.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/app_fixture.h"
#include "app/preferences_dialog.h"
#include "engine/audio.h"
#include "engine/undo.h"

namespace {

using PreferencesDialogTest = AppTest;

TEST_F(PreferencesDialogTest, LiveControlsAndCancel) {
  PreferencesDialog d = PreferencesDialog_Open();
  EXPECT_EQ(d.slider[0], 127);
  EXPECT_EQ(PreferencesDialog_SliderLabel(d, MonitorSlider::Volume), "Volume: 100");
  EXPECT_EQ(d.delayMax, "640");
  ASSERT_EQ(d.ports.size(), 1u);  // the fixture's one open output
  EXPECT_EQ(d.ports[0].name, "Clock");

  PreferencesDialog_MoveSlider(&d, MonitorSlider::Volume, 64);
  EXPECT_EQ(PreferencesDialog_SliderLabel(d, MonitorSlider::Volume), "Volume: 50");
  EXPECT_DOUBLE_EQ(engine()->latentVolume, 64 / 127.0);
  PreferencesDialog_SetMonitor(&d, true);
  EXPECT_EQ(engine()->latentInput, 1);
  PreferencesDialog_SetUseLoopEffectsMix(&d, false);
  EXPECT_TRUE(PreferencesDialog_EffectsMixEnabled(d));
  PreferencesDialog_SetSendSync(&d, true);
  EXPECT_EQ(App_Preferences().midi.send_midi_sync, 1);
  d.boxes[0] = true;  // taken only by OK

  PreferencesDialog_Cancel(&d);
  EXPECT_DOUBLE_EQ(engine()->latentVolume, 1.0);
  EXPECT_EQ(App_Preferences().latent_input_volume, 127);
  EXPECT_EQ(engine()->latentInput, 0);
  EXPECT_EQ(App_Preferences().latent_input_use_loop_effects_mix, 1);
  EXPECT_EQ(App_Preferences().midi.send_midi_sync, 0);
  EXPECT_EQ(App_Preferences().spacebar_record, 0);
}

TEST_F(PreferencesDialogTest, OkStepsThatKeepTheDialogOpen) {
  PreferencesDialog d = PreferencesDialog_Open();
  for (const char* text : {"199", "5001", "", "many"}) {
    SCOPED_TRACE(text);
    dialog.shown.clear();
    d.delayMax = text;
    EXPECT_FALSE(PreferencesDialog_Ok(&d));
    EXPECT_TRUE(dialog.Saw("Max Delay Time is out of range (200 to 5000).", "Delay Time Out of Range"));
  }
  EXPECT_EQ(App_Preferences().delay_max_milliseconds, 640);

  // A declined stereo question stops OK after the delay and the undo switch.
  d.delayMax = "2000";
  d.undo = false;
  d.stereo = false;
  dialog.answers = {IDCANCEL};
  EXPECT_FALSE(PreferencesDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Changing from Stereo to Mono will erase current recording loop, proceed?", "Erase Loop?"));
  EXPECT_EQ(App_Preferences().delay_max_milliseconds, 2000);
  EXPECT_EQ(App_Preferences().undo, 0);
  EXPECT_EQ(App_Preferences().stereo_record, 1);

  // A missing directory stops it after the check boxes, which stay stored.
  d.boxes[0] = true;
  d.quicksaveDirectory = dir + "/nowhere";
  dialog.shown.clear();
  EXPECT_FALSE(PreferencesDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Quicksave path does not exist.", "Error"));
  EXPECT_EQ(App_Preferences().stereo_record, 0);
  EXPECT_EQ(Audio_GetTrackChannels(App_CurrentSlot(&app())), 1);
  EXPECT_EQ(App_Preferences().spacebar_record, 1);

  d.quicksaveDirectory = dir;
  d.mixToDiskDirectory = std::string(244, 'x');
  EXPECT_FALSE(PreferencesDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Mix to Disk Path too long", "Error"));
  EXPECT_EQ(d.mixToDiskDirectory, "");
  EXPECT_FALSE(std::filesystem::exists(dir + "/Preferences.xml"));

  d.boxes[14] = true;  // "Filter Preceeds Delay in Effects Chain" reaches the engine
  EXPECT_TRUE(PreferencesDialog_Ok(&d));
  EXPECT_EQ(App_Preferences().quicksave_directory, dir);
  EXPECT_EQ(App_Preferences().filter_before_delay, 1);
  EXPECT_TRUE(std::filesystem::exists(dir + "/Preferences.xml"));
}

}  // namespace
