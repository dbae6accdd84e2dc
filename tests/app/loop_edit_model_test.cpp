// The application's loop edit view on a real engine: commands on the track, the column
// model of the drawing, and which columns a play-position tick redraws.
#include <cmath>
#include <memory>
#include <set>

#include "app/app_fixture.h"
#include "app/loop_edit_model.h"
#include "app/panel_view.h"
#include "app/preferences.h"
#include "engine/buffers.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

class LoopEditTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    view = std::make_unique<AppLoopEdit>(&app());
    app().loopEdit = view.get();
    view->SetSize(100, 40);
  }

  // Strip 1's loop becomes exactly `frames` frames of `fill`.
  int Show(int frames, int channels, const std::function<float(int, int)>& fill) {
    const int s = slot(0);
    const auto bytes = static_cast<uint32_t>(frames * channels * 4);
    float* buffer = Audio_AllocBuffer(bytes, false);
    for (int f = 0; f < frames; ++f)
      for (int c = 0; c < channels; ++c) buffer[f * channels + c] = fill(f, c);
    Audio_PublishBuffer(s, buffer, bytes, static_cast<uint32_t>(frames), static_cast<uint32_t>(channels), false, 0);
    view->Reset(0);
    return s;
  }
  float Sample(int s, int frame) { return track(s).pBuffer.load()[frame * track(s).numChannels]; }
  std::vector<LoopEditColumn> Columns() {
    std::vector<LoopEditColumn> c;
    view->Columns(0, view->Width(), &c);
    return c;
  }

  std::unique_ptr<AppLoopEdit> view;
};

float Ramp(int f, int) { return static_cast<float>(f) / 1000.0f; }

}  // namespace

TEST_F(LoopEditTest, SelectionCommandsActOnTheTrack) {
  const int s = Show(1000, 1, Ramp);  // 10 frames per pixel
  // A caret at 0: "Set Start Point" is disabled and does nothing.
  EXPECT_FALSE(App_Panel(&app()).loopEdit.setStartPoint);
  Do(Command::SetStartPoint);
  EXPECT_EQ(Sample(s, 1), Ramp(1, 0));
  EXPECT_FALSE(app().dirty);

  Do(Command::EditTrimLoop);  // with a caret: 0..L - 1, nothing cut
  EXPECT_EQ(Audio_GetLoopLength(s), 1000);

  view->LeftDown(20, 5, false, false);
  view->LeftDown(50, 5, true, false);
  view->ButtonUp();
  EXPECT_TRUE(App_Panel(&app()).loopEdit.zoomSelection);
  Do(Command::LoopSelected);
  EXPECT_EQ(Audio_GetEditBegin(s), 200);
  EXPECT_EQ(Audio_GetEditEnd(s), 500);

  Do(Command::EditTrimLoop);
  EXPECT_EQ(Audio_GetLoopLength(s), 301);  // the trim keeps the range's end frame too
  EXPECT_EQ(Sample(s, 0), Ramp(200, 0));
  EXPECT_EQ(view->State().selEnd, 0);  // the old frames are gone: a caret at the start
  EXPECT_TRUE(app().dirty);

  App_SetDirty(&app(), false);
  view->LeftDown(33, 5, false, false);  // frame 99 of 301 frames over 100 pixels
  const int32_t caret = view->State().selStart;
  ASSERT_GT(caret, 0);
  EXPECT_TRUE(App_Panel(&app()).loopEdit.setStartPoint);
  const float atCaret = Sample(s, caret);
  Do(Command::SetStartPoint);
  EXPECT_EQ(Sample(s, 0), atCaret);
  EXPECT_EQ(view->State().selStart, 0);
  EXPECT_TRUE(app().dirty);
}

TEST_F(LoopEditTest, CursorCommandsKeysAndPanelButtons) {
  Show(1000, 2, Ramp);
  Do(Command::MoveCursorRight);
  App_KeyDown(&app(), Key::Shift);
  App_KeyDown(&app(), Key::Right);  // Shift: the selection grows
  EXPECT_EQ(view->State().selEnd, 20);
  Do(Command::SetMaxSelection, 8, 32768);  // half of the loop
  EXPECT_EQ(view->State().selEnd, 500);

  Do(Command::ZoomIn);
  EXPECT_TRUE(App_Panel(&app()).loopEdit.zoomOut);
  // Without the loop selection only Set Start Point (1271) keeps its own rule.
  Do(Command::SetCursorEnd);
  Audio_SetLoopSelection(strip(0).slot, 0);
  const PanelView p = App_Panel(&app());
  EXPECT_FALSE(p.loopEdit.zoomOut || p.loopEdit.zoomIn || p.loopEdit.trim || p.loopEdit.loopSelected);
  EXPECT_TRUE(p.loopEdit.setStartPoint);
}

TEST_F(LoopEditTest, ColumnsSampleMinimumAndMaximum) {
  // A sine of 64 frames' period at half scale, left channel only.
  const int s = Show(6400, 2, [](int f, int c) { return c == 0 ? 0.5f * static_cast<float>(std::sin(2 * kPi * f / 64)) : 0.0f; });
  LoopEditTrack t;
  LoopEdit_ReadTrack(s, &t);
  ASSERT_EQ(t.length, 6400);
  const struct {
    int32_t first, count;
    float min, max;
  } rows[] = {
      {0, 64, -0.5f, 0.5f},                                       // 32 frames 2 apart: a whole period
      {0, 8, 0.0f, 0.5f * static_cast<float>(std::sin(2 * kPi * 7 / 64))},  // 8 frames one apart
      {6384, 64, -0.5f, 0.5f * static_cast<float>(std::sin(2 * kPi * 62 / 64))},  // stops at the end
  };
  for (const auto& r : rows) {
    float min[2], max[2];
    LoopEdit_SampleColumn(t, r.first, r.count, min, max);
    EXPECT_FLOAT_EQ(min[0], r.min) << r.first << " " << r.count;
    EXPECT_FLOAT_EQ(max[0], r.max) << r.first << " " << r.count;
    EXPECT_EQ(min[1], 0.0f);
  }
  // 64 frames per column over 40 rows: lanes centred at 10 and 30, 10 rows a full scale.
  const std::vector<LoopEditColumn> cols = Columns();
  ASSERT_EQ(cols.size(), 100u);
  const LoopEditLane* lane = cols[7].lane;
  EXPECT_TRUE(lane[0].top == 5 && lane[0].bottom == 15 && lane[0].pen == PenWave);
  EXPECT_TRUE(lane[1].top == 30 && lane[1].bottom == 30 && lane[1].pen == PenZeroLine);  // silence: one pixel
}

TEST_F(LoopEditTest, BackgroundPensWithAndWithoutBeatLines) {
  // 96 columns of 1000 frames; a beat is 24000 frames, two beats a measure.
  const int s = Show(96000, 1, Ramp);
  view->SetSize(96, 20);
  app().loopTime.beatsPerMeasure = 2;
  Audio_SetEditRange(s, 48000, 96000);
  view->LeftDown(60, 5, false, false);
  view->LeftDown(70, 5, true, false);  // frames 60000..70000 selected
  view->ButtonUp();
  std::vector<LoopEditColumn> cols = Columns();
  ASSERT_EQ(cols.size(), 96u);
  // Beat 1 starts after column 23, beat 2 (a measure) after 47; the selection's end
  // frame is not in it.
  const int pens[][2] = {{0, PenPosition}, {23, PenBeat},     {47, PenMeasure},   {71, PenBeat},
                         {30, PenUnlooped}, {50, PenLooped}, {65, PenSelection}, {70, PenLooped}};
  for (const auto& p : pens) EXPECT_EQ(cols[p[0]].background, p[1]) << p[0];

  App_Preferences().show_edit_beat_lines = 0;
  cols = Columns();
  const std::set<int> allowed{PenSelection, PenLooped, PenUnlooped, PenPosition};
  for (const LoopEditColumn& c : cols) EXPECT_TRUE(allowed.count(c.background)) << int(c.background);
  EXPECT_EQ(cols[47].background, PenUnlooped);

  view->LeftDown(40, 5, false, false);  // a caret: its column in the selection pen
  view->ButtonUp();
  EXPECT_EQ(Columns()[40].background, PenSelection);
}

TEST_F(LoopEditTest, EmptyTrackDrawsNothingAndIgnoresTheMouse) {
  Audio_DeleteLoop(Show(1000, 1, Ramp));
  EXPECT_TRUE(Columns().empty());
  view->LeftDown(50, 5, false, false);
  Do(Command::MoveCursorRight);
  Do(Command::EditTrimLoop);
  view->Refresh();
  EXPECT_EQ(view->State().selEnd, 0);
}

TEST_F(LoopEditTest, PlayPositionRedrawsOnlyTheColumnsItCrossed) {
  Show(9600, 2, Ramp);  // 96 frames per column
  int repaints = 0;
  view->SetRepaintHook([&] { ++repaints; });
  EXPECT_TRUE(view->TakeDamage().full);
  view->Refresh();
  EXPECT_TRUE(view->TakeDamage().Empty());  // nothing moved
  EXPECT_EQ(repaints, 0);

  track(strip(0).slot).position = 512;  // as the callback leaves it
  view->Refresh();
  LoopEditDamage d = view->TakeDamage();
  EXPECT_FALSE(d.full);
  EXPECT_EQ(d.ranges, (std::vector<std::pair<int32_t, int32_t>>{{0, 6}}));  // frame 512: column 5
  EXPECT_EQ(repaints, 1);

  track(strip(0).slot).position = 300;  // past the loop's end
  view->Refresh();
  d = view->TakeDamage();
  EXPECT_EQ(d.ranges, (std::vector<std::pair<int32_t, int32_t>>{{5, 100}, {0, 4}}));

  // Anything else the drawing shows changed: every column.
  Audio_SetEditRange(strip(0).slot, 100, 9000);
  view->Refresh();
  EXPECT_TRUE(view->TakeDamage().full);
  Do(Command::ZoomIn);
  EXPECT_TRUE(view->TakeDamage().full);
  view->Redraw();  // the track changed
  EXPECT_TRUE(view->TakeDamage().full);
}

TEST_F(LoopEditTest, TempoBelowTwentyEndsTheProgramThroughTheFatalPath) {
  Show(1000, 1, Ramp);
  app().loopTime.tempo = 10.0;
  EXPECT_EQ(view->Track().framesPerBeat, 24000);  // half a second
  EXPECT_TRUE(window.closed);
  EXPECT_EQ(sessions.calls, std::vector<std::string>{"SaveInProgress"});
}
