// The loop edit view's rules without an engine: mapping, zoom, pan, snap, cursor
// operations and the mouse.
#include "app/loopedit/loop_edit_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

namespace {

LoopEditState Sel(int32_t start, int32_t end, int32_t anchor) {
  LoopEditState s;
  s.selStart = start;
  s.selEnd = end;
  s.anchor = anchor;
  return s;
}
LoopEditState Caret(int32_t frame) { return Sel(frame, frame, frame); }

const LoopEditGeometry kGeo{1000, 100, 50, 100};  // 10 frames a pixel, 100 a beat

}  // namespace

TEST(LoopEditMapping, RoundTripsAtEveryWidthAndLength) {
  const LoopEditState s;
  for (int32_t width : {1, 7, 1000}) {
    for (int32_t length : {0, 1, 240 * 48000}) {
      SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(length));
      const LoopEditGeometry g{length, width, 10, 24000};
      for (int32_t x = 0, previous = 0; x <= width; ++x) {
        const int32_t f = LoopEdit_FrameAt(s, g, x);
        ASSERT_TRUE(f >= previous && f <= std::max(length - 1, 0));  // in the loop, never backwards
        previous = f;
        ASSERT_TRUE(x == width || length < width || LoopEdit_ColumnOf(s, g, f) == x) << x;
      }
      for (int32_t f : {0, length / 3, length - 1}) {
        const int64_t x = LoopEdit_ColumnOf(s, g, f);
        ASSERT_TRUE(f < 0 || (x >= 0 && x < width && LoopEdit_FrameAt(s, g, x) <= f)) << f;
      }
      // An arrow key moves at least one frame, however many pixels a frame spans.
      LoopEditState moved = s;
      LoopEdit_Move(&moved, g, 1, false, false);
      EXPECT_EQ(moved.selStart, length == 0 ? 0 : std::max(1, length / width));
    }
  }
  LoopEditState zoomed;
  zoomed.viewStart = 0.5;
  EXPECT_LT(LoopEdit_ColumnOf(zoomed, kGeo, 499), 0);  // just before the view: not column 0
  EXPECT_EQ(LoopEdit_ColumnOf(zoomed, kGeo, 500), 0);
}

TEST(LoopEditMapping, FramesPerBeatAndSnap) {
  bool invalid = true;
  EXPECT_EQ(LoopEdit_FramesPerBeat(44100, 20, &invalid), 132300);
  EXPECT_FALSE(invalid);
  EXPECT_EQ(LoopEdit_FramesPerBeat(48000, 19.9, &invalid), 24000);  // half a second
  EXPECT_TRUE(invalid);
  const int32_t rows[][2] = {{149, 100}, {150, 100} /* half-way: earlier */, {151, 200}, {-5, 0}, {990, 999}};
  for (const auto& r : rows) EXPECT_EQ(LoopEdit_Snap(r[0], kGeo), r[1]) << r[0];
}

TEST(LoopEditView, ZoomAndPan) {
  LoopEditState s;
  for (int i = 0; i < 3; ++i) LoopEdit_Zoom(&s, kGeo, ZoomStep::In);
  const double w = std::pow(2.0 / 3.0, 3);  // a third less each time, about the middle
  EXPECT_TRUE(std::fabs(s.viewStart - (1 - w) / 2) < 1e-12 && std::fabs(s.viewEnd - (1 + w) / 2) < 1e-12);
  LoopEdit_Zoom(&s, kGeo, ZoomStep::Out);  // half as wide again
  LoopEdit_Pan(&s, kGeo, 100000);  // keeps the width, stops at the end
  EXPECT_TRUE(s.viewEnd == 1.0 && std::fabs(s.viewStart - (1 - 1.5 * w)) < 1e-12) << s.viewStart;
  for (int i = 0; i < 4; ++i) LoopEdit_Zoom(&s, kGeo, ZoomStep::Out);
  EXPECT_TRUE(s.viewStart == 0.0 && s.viewEnd == 1.0 && !LoopEdit_Buttons(s).zoomOut);
  s = Sel(250, 500, 250);
  LoopEdit_Zoom(&s, kGeo, ZoomStep::ToSelection);
  EXPECT_TRUE(s.viewStart == 0.25 && s.viewEnd == 0.5);
}

TEST(LoopEditView, CursorOperations) {
  using Op = std::function<void(LoopEditState*)>;
  auto move = [](int d, bool beat, bool sel) -> Op { return [=](LoopEditState* s) { LoopEdit_Move(s, kGeo, d, beat, sel); }; };
  auto at = [](double v, bool snap, bool max) -> Op {
    return [=](LoopEditState* s) { LoopEdit_SetFromFraction(s, kGeo, v, snap, max); };
  };
  auto edge = [](bool end, bool sel) -> Op { return [=](LoopEditState* s) { LoopEdit_ToLoopEdge(s, kGeo, end, sel); }; };
  const struct { const char* name; LoopEditState before; Op op; int32_t start, end, anchor; } rows[] = {
      {"caret to the end", Sel(10, 20, 10), edge(true, false), 999, 999, 999},
      {"stops at L", Caret(995), move(1, false, false), 1000, 1000, 1000},
      {"plain move collapses a range", Sel(100, 200, 100), move(1, false, false), 110, 110, 110},
      {"beat right", Caret(0), move(1, true, false), 100, 100, 100},
      {"the end away from the anchor", Sel(100, 130, 100), move(-1, false, true), 100, 120, 100},
      {"turns over the anchor", Sel(100, 105, 100), move(-1, false, true), 95, 100, 100},
      {"anchor after the start", Sel(95, 100, 100), move(-1, false, true), 85, 100, 100},
      {"fraction: to a beat", Caret(100), at(0.26, true, false), 300, 300, 300},
      {"fraction: minimum", Sel(100, 200, 100), at(0.05, false, false), 50, 200, 100},
      {"fraction: maximum not below the minimum", Sel(300, 400, 300), at(0.1, false, true), 300, 300, 300},
      {"selection to the start", Sel(10, 20, 10), edge(false, true), 0, 20, 10},
  };
  for (const auto& r : rows) {
    LoopEditState s = r.before;
    r.op(&s);
    EXPECT_TRUE(s.selStart == r.start && s.selEnd == r.end && s.anchor == r.anchor)
        << r.name << ": " << s.selStart << " " << s.selEnd << " " << s.anchor;
    s = r.before;
    s.dragging = true;  // ignored while dragging
    r.op(&s);
    EXPECT_TRUE(s.selStart == r.before.selStart && s.selEnd == r.before.selEnd) << r.name;
  }
}

TEST(LoopEditView, MouseClicksDragsAndScrolls) {
  LoopEditGeometry g{1000, 1000, 50, 100};  // one frame a pixel
  LoopEditState s;
  LoopEdit_LeftDown(&s, g, 150, 10, false, true);
  EXPECT_EQ(s.selStart, 100);  // Ctrl exactly half-way: the earlier beat
  LoopEdit_LeftDown(&s, g, 151, 10, false, true);
  EXPECT_EQ(s.anchor, 200);
  LoopEdit_LeftDown(&s, g, 320, 10, true, false);  // Shift on a caret: from the anchor
  EXPECT_TRUE(s.selStart == 200 && s.selEnd == 320);
  LoopEdit_LeftDown(&s, g, 210, 10, true, false);  // on a range: the nearer end
  EXPECT_TRUE(s.selStart == 210 && s.selEnd == 320);
  LoopEdit_ButtonUp(&s);
  // Up to 8 pixels above or below: handled, nothing changes; further out: not ours.
  for (int y : {-8, 57}) EXPECT_TRUE(LoopEdit_LeftDown(&s, g, 500, y, false, false));
  for (int y : {-9, 58}) EXPECT_FALSE(LoopEdit_LeftDown(&s, g, 500, y, false, false));
  EXPECT_TRUE(s.selStart == 210 && !s.leftDown);

  g = {10000, 100, 50, 1000};  // 100 frames a pixel
  s = LoopEditState{};
  LoopEdit_Zoom(&s, g, ZoomStep::In);
  LoopEdit_LeftDown(&s, g, 50, 10, false, false);
  LoopEdit_MouseMove(&s, g, 104, 10, false);  // beyond the right edge: 3 x 5 pixels
  EXPECT_TRUE(s.scrollSpeed == 15 && s.selEnd == LoopEdit_FrameAt(s, g, 100));
  LoopEdit_MouseMove(&s, g, 400, 10, false);  // the overshoot counts up to 10 pixels
  EXPECT_EQ(s.scrollSpeed, 30);
  for (int i = 0; i < 100; ++i) LoopEdit_AutoScroll(&s, g);
  EXPECT_TRUE(s.viewEnd == 1.0 && s.selEnd == 9999);
  LoopEdit_ButtonUp(&s);
  EXPECT_FALSE(LoopEdit_AutoScroll(&s, g));
}
