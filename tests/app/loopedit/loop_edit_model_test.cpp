// The application's loop edit view on a real engine: commands on the track, the column
// model of the drawing, and which columns a play-position tick redraws.
#include "app/loopedit/loop_edit_model.h"

#include <cmath>
#include <memory>

#include "app/app_fixture.h"
#include "app/panel_view.h"
#include "app/startup.h"
#include "engine/buffers.h"
#include "engine/loop_ops.h"

namespace {

class LoopEditTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    view = App_MakeLoopEditView(&app());
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
  void Drag(int from, int to) {
    view->LeftDown(from, 5, false, false);
    view->LeftDown(to, 5, true, false);
    view->ButtonUp();
  }

  std::unique_ptr<AppLoopEdit> view;
};

float Ramp(int f, int) { return static_cast<float>(f) / 1000.0f; }

}  // namespace

TEST_F(LoopEditTest, SelectionCommandsActOnTheTrackAndMarkTheSessionChanged) {
  const int s = Show(1000, 1, Ramp);  // 10 frames per pixel
  // A caret at 0: "Set Start Point" is disabled and does nothing.
  EXPECT_FALSE(App_Panel(&app()).loopEdit.setStartPoint);
  Do(Command::SetStartPoint);
  EXPECT_EQ(Sample(s, 1), Ramp(1, 0));
  Do(Command::EditTrimLoop);  // with a caret: 0..L - 1, nothing cut
  EXPECT_EQ(Audio_GetLoopLength(s), 1000);
  EXPECT_FALSE(app().session.dirty);

  Drag(20, 50);
  EXPECT_TRUE(App_Panel(&app()).loopEdit.zoomSelection);
  Do(Command::LoopSelected);
  EXPECT_TRUE(Audio_GetEditBegin(s) == 200 && Audio_GetEditEnd(s) == 500);
  Do(Command::EditTrimLoop);
  EXPECT_EQ(Audio_GetLoopLength(s), 301);  // the trim keeps the range's end frame too
  EXPECT_EQ(Sample(s, 0), Ramp(200, 0));
  EXPECT_EQ(view->State().selEnd, 0);  // the old frames are gone: a caret at the start
  EXPECT_TRUE(app().session.dirty);

  App_SetDirty(&app(), false);
  view->LeftDown(33, 5, false, false);  // frame 99 of 301 frames over 100 pixels
  const int32_t caret = view->State().selStart;
  ASSERT_GT(caret, 0);
  EXPECT_TRUE(App_Panel(&app()).loopEdit.setStartPoint);
  const float atCaret = Sample(s, caret);
  Do(Command::SetStartPoint);
  EXPECT_TRUE(Sample(s, 0) == atCaret && view->State().selStart == 0);
  EXPECT_TRUE(app().session.dirty);

  // The loop shortened elsewhere: the selection is kept inside it at the next look.
  Drag(90, 99);
  Audio_SetEditRange(s, 0, 99);
  ASSERT_TRUE(Audio_TrimLoop(s));
  view->Refresh();
  const LoopEditState& st = view->State();
  EXPECT_TRUE(st.selStart <= 100 && st.selEnd <= 100 && st.anchor <= 100) << st.selStart << " " << st.selEnd;
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

TEST_F(LoopEditTest, ColumnsSampleMinimumAndMaximumUntilTheTrackIsDeleted) {
  // A sine of 64 frames' period at half scale, left channel only.
  const auto sine = [](int f) { return 0.5f * static_cast<float>(std::sin(2 * 3.14159265358979 * f / 64)); };
  const int s = Show(6400, 2, [&](int f, int c) { return c == 0 ? sine(f) : 0.0f; });
  LoopEditTrack t;
  LoopEdit_ReadTrack(s, &t);
  // The last column stops at the loop's end; a column of 64 frames takes every other one.
  float min[2], max[2];
  LoopEdit_SampleColumn(t, 6384, 64, min, max);
  EXPECT_TRUE(min[0] == -0.5f && max[0] == sine(62) && min[1] == 0.0f && max[1] == 0.0f) << min[0] << " " << max[0];
  // 64 frames per column over 40 rows: lanes centred at 10 and 30, 10 rows a full scale.
  const std::vector<LoopEditColumn> cols = Columns();
  ASSERT_EQ(cols.size(), 100u);
  const LoopEditLane* lane = cols[7].lane;
  EXPECT_TRUE(lane[0].top == 5 && lane[0].bottom == 15 && lane[0].pen == PenWave);
  EXPECT_TRUE(lane[1].top == 30 && lane[1].bottom == 30 && lane[1].pen == PenZeroLine);  // silence: one pixel

  // An empty track draws nothing and ignores the mouse and the commands.
  Audio_DeleteLoop(s);
  EXPECT_TRUE(Columns().empty());
  view->LeftDown(50, 5, false, false);
  Do(Command::MoveCursorRight);
  Do(Command::EditTrimLoop);
  view->Refresh();
  EXPECT_EQ(view->State().selEnd, 0);
}

TEST_F(LoopEditTest, BackgroundPens) {
  // 96 columns of 1000 frames; a beat is 24000 frames, two beats a measure.
  const int s = Show(96000, 1, Ramp);
  view->SetSize(96, 20);
  app().loopTime.beatsPerMeasure = 2;
  Audio_SetEditRange(s, 48000, 96000);
  Drag(60, 70);  // frames 60000..70000 selected
  // Beat 1 starts after column 23, beat 2 (a measure) after 47; the selection's end
  // frame is not in it.
  const int pens[][2] = {{0, PenPosition}, {23, PenBeat},     {47, PenMeasure},   {71, PenBeat},
                         {30, PenUnlooped}, {50, PenLooped}, {65, PenSelection}, {70, PenLooped}};
  std::vector<LoopEditColumn> cols = Columns();
  for (const auto& p : pens) EXPECT_EQ(cols[p[0]].background, p[1]) << p[0];
  view->LeftDown(40, 5, false, false);  // a caret: its column in the selection pen
  EXPECT_EQ(Columns()[40].background, PenSelection);
}

TEST_F(LoopEditTest, PlayPositionRedrawsOnlyTheColumnsItCrossed) {
  Show(9600, 2, Ramp);  // 96 frames per column
  int repaints = 0;
  view->SetRepaintHook([&] { ++repaints; });
  EXPECT_TRUE(view->TakeDamage().full);
  view->Refresh();
  EXPECT_TRUE(view->TakeDamage().Empty() && repaints == 0);  // nothing moved

  using Ranges = std::vector<std::pair<int32_t, int32_t>>;
  track(strip(0).slot).position = 512;  // as the callback leaves it
  view->Refresh();
  EXPECT_EQ(view->TakeDamage().ranges, (Ranges{{0, 6}}));  // frame 512: column 5
  track(strip(0).slot).position = 300;  // past the loop's end
  view->Refresh();
  EXPECT_EQ(view->TakeDamage().ranges, (Ranges{{5, 100}, {0, 4}}));
  EXPECT_EQ(repaints, 2);

  Audio_SetEditRange(strip(0).slot, 100, 9000);  // anything else the drawing shows: every column
  view->Refresh();
  EXPECT_TRUE(view->TakeDamage().full);
}

// What the user does to the shown loop shows at once: an erase zeroes the buffer in
// place (the same buffer, the same length) and a take is written behind the play head.
TEST_F(LoopEditTest, AnEraseOrATakeRedrawsEveryColumnAtOnce) {
  Show(9600, 2, [](int, int) { return 0.5f; });
  view->TakeDamage();
  view->Refresh();
  ASSERT_TRUE(view->TakeDamage().Empty());
  Do(Command::TransportErase);
  EXPECT_TRUE(view->TakeDamage().full);
  EXPECT_EQ(Columns()[50].lane[0].pen, PenZeroLine);

  Do(Command::TransportRecord);
  ASSERT_EQ(Audio_GetTransportState(), Recording);
  view->TakeDamage();
  for (int tick = 0; tick < 2; ++tick) {  // every refresh while the shown track records
    view->Refresh();
    EXPECT_TRUE(view->TakeDamage().full) << tick;
  }
  Do(Command::TransportStop);
  view->Refresh();  // the take may have swapped the buffer: one more full redraw
  view->TakeDamage();
  view->Refresh();
  EXPECT_FALSE(view->TakeDamage().full);
}

// An engine assertion closes the window at the next timer tick; the fatal path (here a
// tempo below 20) saves the session once, says where and closes it.
TEST_F(LoopEditTest, AnEngineAssertionOrATempoBelowTwentyEndsTheProgram) {
  Audio_Assert("Invalid feedback setting", "audio", 1);
  EXPECT_FALSE(window.closed);
  App_Timer1(&app());
  ASSERT_TRUE(window.closed);
  window.closed = false;
  Show(1000, 1, Ramp);
  app().loopTime.tempo = 10.0;
  EXPECT_EQ(view->Track().framesPerBeat, 24000);  // half a second
  EXPECT_TRUE(window.closed);
  App_FatalError(&app(), "loop_edit", 7);  // a second one does nothing
  EXPECT_EQ(sessions.calls, std::vector<std::string>{"SaveInProgress"});
  EXPECT_NE(dialog.shown.back().text.find("exiting.\nAttempted to save session in directory:\n" + dir + "/InProgress"),
            std::string::npos);
}
