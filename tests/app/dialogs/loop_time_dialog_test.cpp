// Set Loop Time: what OK refuses with which message, what it gives which tracks, and that
// the stored time shows at the next opening.
#include "app/dialogs/loop_time_dialog.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/app_fixture.h"
#include "app/settings/preferences.h"
#include "engine/audio.h"
#include "engine/metronome.h"

namespace {

class LoopTimeDialogTest : public AppTest {
 protected:
  LoopTimeDialog Open(LoopTimeChoice choice) {
    LoopTimeDialog d = LoopTimeDialog_Open(App_SessionParts(&app()));
    d.choice = choice;
    return d;
  }
  // The strip's loop lasts `seconds`.
  bool Lasts(int strip, double seconds) { return std::fabs(Audio_GetLoopSeconds(slot(strip)) - seconds) < 1e-4; }
};

TEST_F(LoopTimeDialogTest, TempoModeStoresTheTimeAndShowsItNextTime) {
  LoopTimeDialog d = Open(LoopTimeChoice::Seconds);
  d.seconds = "3";
  ASSERT_TRUE(LoopTimeDialog_Ok(&d));
  d = LoopTimeDialog_Open(App_SessionParts(&app()));
  EXPECT_TRUE(d.choice == LoopTimeChoice::Seconds && d.focus == LoopTimeDialogField::Seconds);
  LoopTimeDialog_Enter(&d, LoopTimeDialogField::Measures);
  EXPECT_EQ(d.choice, LoopTimeChoice::Tempo);
  app().loopTime.beatsPerMeasure = 3;  // the metronome is built with these, not 4
  d.tempo = "120";
  d.measures = "2";
  ASSERT_TRUE(LoopTimeDialog_Ok(&d));  // 60 / 120 x 3 beats x 2 measures
  EXPECT_TRUE(app().loopTime.loopTime == 3.0 && app().loopTime.mode == 1);
  EXPECT_EQ(Audio_GetFramesPerBeat(), 24000);
  EXPECT_EQ(app().fields[PanelField::Measures], "2");

  d = LoopTimeDialog_Open(App_SessionParts(&app()));
  EXPECT_TRUE(d.seconds == "3.0000" && d.tempo == "120.0000" && d.focus == LoopTimeDialogField::Measures);
}

TEST_F(LoopTimeDialogTest, OkRefusesWithItsMessageAndStaysOpen) {
  using C = LoopTimeChoice;
  // The fields, and the one message shown (null: accepted).
  const struct { C choice; const char *seconds, *tempo, *measures, *maxTime, *message; } cases[] = {
      {C::Tempo, "", "19.9", "2", "", "Tempo out of range"},
      {C::Tempo, "", "300", "2", "", nullptr},
      {C::Tempo, "", "300.01", "2", "", "Tempo out of range"},
      {C::Tempo, "", " ", "2", "", "Please enter a tempo"},
      {C::Tempo, "", "20", "41", "", "Time too long"},
      {C::Seconds, "240", "", "", "", nullptr},
      {C::Seconds, "240.01", "", "", "", "Time too long"},
      {C::Seconds, "0.09", "", "", "", "Time too short.\nButton = 0"},
      {C::Seconds, "", "", "", "", "Please enter a time in seconds"},
      {C::Manual, "", "", "", "", "Please enter a maximum manual loop time"},
      {C::Manual, "", "", "", "0.05", "Time too short."},
      {C::Manual, "", "", "", "241", "Time too long."},
      {C::Manual, "", "", "", "12.5", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.seconds) + "|" + c.tempo + "|" + c.maxTime);
    dialog.shown.clear();
    LoopTimeDialog d = Open(c.choice);
    d.seconds = c.seconds;
    d.tempo = c.tempo;
    d.measures = c.measures;
    d.maxTime = c.maxTime;
    EXPECT_EQ(LoopTimeDialog_Ok(&d), c.message == nullptr);
    EXPECT_TRUE(!c.message || (dialog.shown.size() == 1 && dialog.Saw(c.message, "Error")));
  }
  EXPECT_TRUE(app().loopTime.maxManualTime == 12.5 && app().loopTime.mode == 2);
}

TEST_F(LoopTimeDialogTest, TargetsAndEraseQuestions) {
  strip(1).empty = false;  // a recorded track: only "all" reaches it
  LoopTimeDialog d = Open(LoopTimeChoice::Seconds);
  d.seconds = "3";
  d.setAll = true;
  dialog.answers = {IDCANCEL};
  EXPECT_FALSE(LoopTimeDialog_Ok(&d));  // a cancelled question changes nothing, the dialog stays
  EXPECT_TRUE(dialog.Saw("This will erase all loops! Proceed?", "Erase All Loops?"));
  EXPECT_TRUE(Lasts(0, 4.0) && app().loopTime.loopTime == 4.0);

  d.setAll = false;
  d.setEmpty = true;
  dialog.shown.clear();
  ASSERT_TRUE(LoopTimeDialog_Ok(&d));
  EXPECT_TRUE(dialog.shown.empty());  // empty tracks are given the time without asking
  EXPECT_TRUE(Lasts(7, 3.0) && Lasts(1, 4.0));

  App_Preferences().warn_erase_loops = 0;
  d.setEmpty = false;
  d.setAll = true;
  d.seconds = "5";
  ASSERT_TRUE(LoopTimeDialog_Ok(&d));
  EXPECT_TRUE(dialog.shown.empty() && Lasts(1, 5.0));

  // Manual gives the current track the time and clears the recorded-or-loaded mark.
  App_Preferences().warn_erase_loops = 1;
  app().loopTime.firstLoopSet = true;
  d = Open(LoopTimeChoice::Manual);
  EXPECT_FALSE(LoopTimeDialog_CheckBoxesEnabled(d));
  d.maxTime = "6";
  ASSERT_TRUE(LoopTimeDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("This will erase current loop. Proceed?", "Erase Loop?"));
  EXPECT_FALSE(app().loopTime.firstLoopSet);
  EXPECT_TRUE(Lasts(0, 6.0) && Lasts(2, 5.0));
}

}  // namespace
