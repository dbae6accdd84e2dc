// Loop-time settings: stored values, the panel's validation messages and tap tempo.
#include "app/model/loop_time.h"

#include <gtest/gtest.h>

#include "engine/audio.h"
#include "engine/metronome.h"
#include "support/scripted_dialog.h"

namespace {

class LoopTimePanelTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Audio_Init()); }
  void TearDown() override { Audio_Shutdown(); }
  // The only message shown since the last call, which forgets it.
  bool Said(const std::string& text, const std::string& caption) {
    const bool only = dialog.shown.size() == 1 && dialog.Saw(text, caption);
    dialog.shown.clear();
    return only;
  }
  LoopTimeSettings s;
  ScriptedDialog dialog;
};

TEST_F(LoopTimePanelTest, TempoAndBeatsFieldsSetTheMetronome) {
  EXPECT_TRUE(LoopTime_ApplyTempoFields(&s, "90", "3"));
  EXPECT_TRUE(s.tempo == 90.0 && s.beatsPerMeasure == 3);
  EXPECT_EQ(Audio_GetFramesPerBeat(), 32000);  // the metronome: a 2.0 s measure of 3 beats
  // Empty or over-long tempo texts are ignored without a word.
  EXPECT_FALSE(LoopTime_ApplyTempoFields(&s, "", "4"));
  EXPECT_FALSE(LoopTime_ApplyTempoFields(&s, std::string(31, '1'), "4"));
  EXPECT_TRUE(dialog.shown.empty());
  EXPECT_FALSE(LoopTime_ApplyTempoFields(&s, "19.9", "4"));
  EXPECT_TRUE(Said("Tempo is out of range.\nUse 20 to 300 BPM.", "Tempo Out of Range"));
  EXPECT_FALSE(LoopTime_ApplyTempoFields(&s, "100", "17"));
  EXPECT_TRUE(Said("Beats per measure is out of range.", "Out of Range"));
  EXPECT_FALSE(LoopTime_ApplyTempoFields(&s, "100", "four"));
  EXPECT_DOUBLE_EQ(s.tempo, 90.0);

  // Zero beats pass the panel; the setter keeps the old beats and the metronome its clicks.
  EXPECT_TRUE(LoopTime_ApplyTempoFields(&s, "300", "0"));
  EXPECT_EQ(s.beatsPerMeasure, 3);
  EXPECT_EQ(Audio_GetFramesPerBeat(), 32000);
}

TEST_F(LoopTimePanelTest, SecondsAndMeasuresFields) {
  EXPECT_TRUE(LoopTime_ApplyLoopTimeField(&s, "240"));
  for (const char* text : {"240.01", "0.09", "", "abc", "1234567890123456789012345678901"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(LoopTime_ApplyLoopTimeField(&s, text));
    EXPECT_TRUE(Said("Loop time is out of range.", "Loop Time Out of Range"));
    EXPECT_FALSE(LoopTime_ApplyMaxManualTimeField(&s, text));
    dialog.shown.clear();  // the same message again
  }
  EXPECT_TRUE(s.loopTime == 240.0 && s.maxManualTime == 20.0);
  EXPECT_TRUE(LoopTime_ApplyMaxManualTimeField(&s, "0.1") && s.maxManualTime == 0.1);

  EXPECT_FALSE(LoopTime_ApplyMeasuresField(&s, "two"));
  EXPECT_TRUE(Said("Measures is out of range.", "Measures Out of Range"));
  EXPECT_FALSE(LoopTime_ApplyMeasuresField(&s, "121"));  // 242 s at 120 bpm, 4 beats
  EXPECT_TRUE(Said("Loop time is out of range.", "Loop Time Out of Range"));
  EXPECT_FALSE(LoopTime_ApplyMeasuresField(&s, "0"));
  EXPECT_TRUE(LoopTime_ApplyMeasuresField(&s, "120"));
  EXPECT_DOUBLE_EQ(LoopTime_MeasuresSeconds(s), 240.0);
}

TEST(TapTempo, AveragesFourTapsAndRestartsOutsideTheRange) {
  int64_t now = 1000000000;  // microseconds, moved by hand
  TapTempo tap;
  tap.clock = TapClock{[&now] { return now; }, 1000000};
  LoopTimeSettings s;
  s.tempo = 90.0;
  // Each row: the time since the previous tap and the tempo it gives (0: arms only).
  const int64_t taps[][2] = {
      {0, 0},      {500000, 120},  // the first tempo fills the history
      {600000, 115},               // 100 bpm: (100 + 120 x 3) / 4
      {3100000, 0}, {400000, 150},  // below 20 bpm: averaging restarts at the next tempo
      {190000, 0},  {200000, 300},  // faster than 300 bpm restarts too; 300 itself counts
      {0, 0},                       // two taps at the same instant give no tempo at all
  };
  double tempo = 90.0;
  for (const auto& t : taps) {
    now += t[0];
    EXPECT_EQ(TapTempo_Tap(&tap, &s), t[1]) << "after " << t[0];
    if (t[1]) tempo = static_cast<double>(t[1]);
    EXPECT_DOUBLE_EQ(s.tempo, tempo);  // a tap that only arms leaves the tempo
  }
}

}  // namespace
