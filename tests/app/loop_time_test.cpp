// Loop-time settings: stored values, the panel's validation messages and tap tempo.
#include <gtest/gtest.h>

#include "engine/audio.h"
#include "engine/metronome.h"
#include "support/scripted_dialog.h"
#include "app/loop_time.h"

namespace {

TEST(LoopTimeSettings, DefaultsAndAcceptance) {
  LoopTimeSettings s;
  EXPECT_DOUBLE_EQ(LoopTime_ModeSeconds(s), 4.0);  // 2 measures of 4 beats at 120 bpm
  EXPECT_DOUBLE_EQ(LoopTime_MeasureSeconds(s), 2.0);
  LoopTime_SetMode(&s, 5);  // unknown modes fall back to seconds
  EXPECT_FALSE(LoopTime_SetLoopTime(&s, 0.05));
  EXPECT_FALSE(LoopTime_SetLoopTime(&s, 300.0));
  EXPECT_TRUE(LoopTime_SetLoopTime(&s, 240.0));
  EXPECT_DOUBLE_EQ(LoopTime_ModeSeconds(s), 240.0);
  EXPECT_FALSE(LoopTime_SetBeatsPerMeasure(&s, 17));
  EXPECT_FALSE(LoopTime_SetBeatsPerMeasure(&s, 0));
  EXPECT_EQ(s.beatsPerMeasure, 4);
  LoopTime_SetMode(&s, LoopTimeMaxTime);
  LoopTime_SetMaxManualTime(&s, 30.0);
  EXPECT_DOUBLE_EQ(LoopTime_InitialLoopSeconds(s), 30.0);
}

class LoopTimePanelTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Audio_Init()); }
  void TearDown() override { Audio_Shutdown(); }
  bool OnlyMessage(const std::string& text, const std::string& caption) const {
    return dialog.shown.size() == 1 && dialog.Saw(text, caption);
  }
  LoopTimeSettings s;
  ScriptedDialog dialog;
};

TEST_F(LoopTimePanelTest, TempoAndBeatsFields) {
  EXPECT_TRUE(LoopTime_ApplyTempoFields(&s, "90", "3"));
  EXPECT_DOUBLE_EQ(s.tempo, 90.0);
  EXPECT_EQ(s.beatsPerMeasure, 3);
  EXPECT_EQ(Audio_GetFramesPerBeat(), 32000);  // the metronome: a 2.0 s measure of 3 beats
  // Empty or over-long tempo texts are ignored without a word.
  EXPECT_FALSE(LoopTime_ApplyTempoFields(&s, "", "4"));
  EXPECT_FALSE(LoopTime_ApplyTempoFields(&s, std::string(31, '1'), "4"));
  EXPECT_TRUE(dialog.shown.empty());

  EXPECT_FALSE(LoopTime_ApplyTempoFields(&s, "19.9", "4"));
  EXPECT_TRUE(OnlyMessage("Tempo is out of range.", "Tempo Out of Range"));
  dialog.shown.clear();
  EXPECT_FALSE(LoopTime_ApplyTempoFields(&s, "100", "17"));
  EXPECT_TRUE(OnlyMessage("Beats per measure is out of range.", "Out of Range"));
  EXPECT_FALSE(LoopTime_ApplyTempoFields(&s, "100", "four"));
  EXPECT_DOUBLE_EQ(s.tempo, 90.0);

  // Zero beats pass the panel; the setter keeps the old beats and the metronome its clicks.
  EXPECT_TRUE(LoopTime_ApplyTempoFields(&s, "300", "0"));
  EXPECT_EQ(s.beatsPerMeasure, 3);
  EXPECT_EQ(Audio_GetFramesPerBeat(), 32000);
}

TEST_F(LoopTimePanelTest, LoopTimeFields) {
  EXPECT_TRUE(LoopTime_ApplyLoopTimeField(&s, "240"));
  for (const char* text : {"240.01", "0.09", "", "abc", "1234567890123456789012345678901"}) {
    SCOPED_TRACE(text);
    dialog.shown.clear();
    EXPECT_FALSE(LoopTime_ApplyLoopTimeField(&s, text));
    EXPECT_TRUE(OnlyMessage("Loop time is out of range.", "Loop Time Out of Range"));
    EXPECT_FALSE(LoopTime_ApplyMaxManualTimeField(&s, text));
  }
  EXPECT_DOUBLE_EQ(s.loopTime, 240.0);
  EXPECT_DOUBLE_EQ(s.maxManualTime, 20.0);
  EXPECT_TRUE(LoopTime_ApplyMaxManualTimeField(&s, "0.1"));
  EXPECT_DOUBLE_EQ(s.maxManualTime, 0.1);
}

TEST_F(LoopTimePanelTest, MeasuresField) {
  EXPECT_FALSE(LoopTime_ApplyMeasuresField(&s, "two"));
  EXPECT_TRUE(OnlyMessage("Measures is out of range.", "Measures Out of Range"));
  dialog.shown.clear();
  EXPECT_FALSE(LoopTime_ApplyMeasuresField(&s, "121"));  // 242 s at 120 bpm, 4 beats
  EXPECT_TRUE(OnlyMessage("Loop time is out of range.", "Loop Time Out of Range"));
  EXPECT_FALSE(LoopTime_ApplyMeasuresField(&s, "0"));
  EXPECT_TRUE(LoopTime_ApplyMeasuresField(&s, "120"));
  EXPECT_DOUBLE_EQ(LoopTime_MeasuresSeconds(s), 240.0);
}

// A clock the test moves by hand, in microseconds.
struct ManualClock {
  int64_t now = 1000000000;
  TapClock Clock() {
    return TapClock{[this] { return now; }, 1000000};
  }
};

TEST(TapTempo, AveragesFourTapsAndRestartsOutsideTheRange) {
  ManualClock clock;
  TapTempo tap;
  tap.clock = clock.Clock();
  LoopTimeSettings s;
  s.tempo = 90.0;
  EXPECT_EQ(TapTempo_Tap(&tap, &s), 0);  // arms only
  EXPECT_DOUBLE_EQ(s.tempo, 90.0);
  clock.now += 500000;
  EXPECT_EQ(TapTempo_Tap(&tap, &s), 120);  // fills the history
  EXPECT_DOUBLE_EQ(s.tempo, 120.0);
  clock.now += 600000;                     // 100 bpm
  EXPECT_EQ(TapTempo_Tap(&tap, &s), 115);  // (100 + 120 * 3) / 4
  clock.now += 600000;
  EXPECT_EQ(TapTempo_Tap(&tap, &s), 110);

  // More than 3 s: below 20 bpm, the averaging restarts at the next tempo.
  clock.now += 3100000;
  EXPECT_EQ(TapTempo_Tap(&tap, &s), 0);
  EXPECT_DOUBLE_EQ(s.tempo, 110.0);
  clock.now += 400000;  // 150 bpm
  EXPECT_EQ(TapTempo_Tap(&tap, &s), 150);

  // Taps faster than 300 bpm restart too; 300 itself counts.
  clock.now += 190000;
  EXPECT_EQ(TapTempo_Tap(&tap, &s), 0);
  clock.now += 200000;
  EXPECT_EQ(TapTempo_Tap(&tap, &s), 300);
  // Two taps at the same instant give no tempo at all.
  EXPECT_EQ(TapTempo_Tap(&tap, &s), 0);
}

}  // namespace
