// The loop edit view's rules without an engine: mapping, zoom, pan, snap, cursor
// operations, mouse and the buttons' enable rules.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "app/loop_edit_state.h"

namespace {

LoopEditState Caret(int32_t frame) {
  LoopEditState s;
  s.selStart = s.selEnd = s.anchor = frame;
  return s;
}

LoopEditState Range(int32_t start, int32_t end, int32_t anchor) {
  LoopEditState s;
  s.selStart = start;
  s.selEnd = end;
  s.anchor = anchor;
  return s;
}

// 1000 frames over 100 pixels, 100 frames per beat.
const LoopEditGeometry kGeo{1000, 100, 50, 100};

}  // namespace

TEST(LoopEditMapping, RoundTripsAtEveryWidthAndLength) {
  for (int32_t width : {1, 7, 1000}) {
    for (int32_t length : {0, 1, 240 * 48000}) {
      SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(length));
      const LoopEditState s;
      const LoopEditGeometry g{length, width, 10, 24000};
      int32_t previous = 0;
      for (int32_t x = 0; x <= width; ++x) {
        const int32_t f = LoopEdit_FrameAt(s, g, x);
        ASSERT_GE(f, 0);
        ASSERT_LE(f, std::max(length - 1, 0));
        ASSERT_GE(f, previous);  // never runs backwards
        previous = f;
        if (x < width && length >= width) {
          ASSERT_EQ(LoopEdit_ColumnOf(s, g, f), x);
        }
      }
      for (int32_t f : {0, length / 3, length - 1}) {
        if (f < 0) continue;
        const int64_t x = LoopEdit_ColumnOf(s, g, f);
        ASSERT_GE(x, 0);
        ASSERT_LT(x, width);
        ASSERT_LE(LoopEdit_FrameAt(s, g, x), f);
      }
    }
  }
  // Outside the view: columns beyond the area, never column 0 for a frame just before it.
  LoopEditState zoomed;
  zoomed.viewStart = 0.5;
  EXPECT_LT(LoopEdit_ColumnOf(zoomed, kGeo, 499), 0);
  EXPECT_EQ(LoopEdit_ColumnOf(zoomed, kGeo, 500), 0);
  EXPECT_EQ(LoopEdit_FrameAt(zoomed, kGeo, -5), 500);  // x clamped to the area
}

TEST(LoopEditMapping, FramesPerBeatAndSnap) {
  bool invalid = true;
  EXPECT_EQ(LoopEdit_FramesPerBeat(48000, 120, &invalid), 24000);
  EXPECT_FALSE(invalid);
  EXPECT_EQ(LoopEdit_FramesPerBeat(44100, 20, &invalid), 132300);
  EXPECT_FALSE(invalid);
  EXPECT_EQ(LoopEdit_FramesPerBeat(48000, 19.9, &invalid), 24000);  // half a second
  EXPECT_TRUE(invalid);

  const struct {
    int32_t frame, snapped;
  } rows[] = {{149, 100}, {150, 100} /* half-way: earlier */, {151, 200}, {0, 0}, {-5, 0}, {990, 999}, {2000, 999}};
  for (const auto& r : rows) EXPECT_EQ(LoopEdit_Snap(r.frame, kGeo), r.snapped) << r.frame;
}

TEST(LoopEditView, ZoomAndPan) {
  LoopEditState s;
  for (int i = 0; i < 3; ++i) LoopEdit_Zoom(&s, kGeo, ZoomStep::In);
  const double w = std::pow(2.0 / 3.0, 3);
  EXPECT_NEAR(s.viewEnd - s.viewStart, w, 1e-12);
  EXPECT_NEAR(s.viewStart, (1 - w) / 2, 1e-12);  // the middle
  EXPECT_TRUE(LoopEdit_Buttons(s).zoomOut);
  LoopEdit_Zoom(&s, kGeo, ZoomStep::Out);
  EXPECT_NEAR(s.viewEnd - s.viewStart, 1.5 * w, 1e-12);

  // Pan keeps the width and stops at the ends; a shift toward a reached end is ignored.
  const double width = s.viewEnd - s.viewStart;
  LoopEdit_Pan(&s, kGeo, -100000);
  EXPECT_EQ(s.viewStart, 0.0);
  EXPECT_NEAR(s.viewEnd, width, 1e-12);
  LoopEdit_Pan(&s, kGeo, 100000);
  EXPECT_EQ(s.viewEnd, 1.0);
  EXPECT_NEAR(s.viewStart, 1.0 - width, 1e-12);

  for (int i = 0; i < 10; ++i) LoopEdit_Zoom(&s, kGeo, ZoomStep::Out);
  EXPECT_EQ(s.viewStart, 0.0);
  EXPECT_EQ(s.viewEnd, 1.0);
  EXPECT_FALSE(LoopEdit_Buttons(s).zoomOut);
  EXPECT_FALSE(LoopEdit_Buttons(s).zoomOutFull);

  // Zoom to selection only for a range.
  s = Caret(300);
  LoopEdit_Zoom(&s, kGeo, ZoomStep::ToSelection);
  EXPECT_EQ(s.viewEnd, 1.0);
  s = Range(250, 500, 250);
  LoopEdit_Zoom(&s, kGeo, ZoomStep::ToSelection);
  EXPECT_EQ(s.viewStart, 0.25);
  EXPECT_EQ(s.viewEnd, 0.5);
  LoopEdit_Zoom(&s, kGeo, ZoomStep::OutFull);
  EXPECT_EQ(s.viewStart, 0.0);
  EXPECT_EQ(s.viewEnd, 1.0);
}

TEST(LoopEditView, CursorOperations) {
  using Op = std::function<void(LoopEditState*)>;
  auto move = [](int d, bool beat, bool sel) -> Op {
    return [=](LoopEditState* s) { LoopEdit_Move(s, kGeo, d, beat, sel); };
  };
  auto fraction = [](double v, bool snap, bool max) -> Op {
    return [=](LoopEditState* s) { LoopEdit_SetFromFraction(s, kGeo, v, snap, max); };
  };
  auto edge = [](bool end, bool sel) -> Op { return [=](LoopEditState* s) { LoopEdit_ToLoopEdge(s, kGeo, end, sel); }; };
  const struct {
    const char* name;
    LoopEditState before;
    Op op;
    int32_t start, end, anchor;
  } rows[] = {
      {"pixel right", Caret(0), move(1, false, false), 10, 10, 10},
      {"pixel left stops at 0", Caret(5), move(-1, false, false), 0, 0, 0},
      {"pixel right stops at L", Caret(995), move(1, false, false), 1000, 1000, 1000},
      {"plain move collapses a range", Range(100, 200, 100), move(1, false, false), 110, 110, 110},
      {"beat right", Caret(0), move(1, true, false), 100, 100, 100},
      {"beat left", Caret(300), move(-1, true, false), 200, 200, 200},
      {"select right from a caret", Caret(100), move(1, false, true), 100, 110, 100},
      {"select left from a caret", Caret(100), move(-1, false, true), 90, 100, 100},
      {"select left moves the end away from the anchor", Range(100, 130, 100), move(-1, false, true), 100, 120, 100},
      {"end moved past the start turns over", Range(100, 105, 100), move(-1, false, true), 95, 100, 100},
      {"anchor after the start moves the start", Range(95, 100, 100), move(-1, false, true), 85, 100, 100},
      {"select a beat right", Caret(100), move(1, true, true), 100, 200, 100},
      {"fraction sets the caret", Caret(100), fraction(0.25, false, false), 250, 250, 250},
      {"fraction to a beat", Caret(100), fraction(0.26, true, false), 300, 300, 300},
      {"fraction sets the minimum of a range", Range(100, 200, 100), fraction(0.05, false, false), 50, 200, 100},
      {"minimum not past the maximum", Range(100, 200, 100), fraction(0.5, false, false), 200, 200, 100},
      {"maximum", Caret(100), fraction(0.5, false, true), 100, 500, 100},
      {"maximum not below the minimum", Range(300, 400, 300), fraction(0.1, false, true), 300, 300, 300},
      {"caret to the end", Range(10, 20, 10), edge(true, false), 999, 999, 999},
      {"caret to the start", Range(10, 20, 10), edge(false, false), 0, 0, 0},
      {"selection to the end", Caret(10), edge(true, true), 10, 999, 10},
      {"selection to the start", Range(10, 20, 10), edge(false, true), 0, 20, 10},
  };
  for (const auto& r : rows) {
    LoopEditState s = r.before;
    r.op(&s);
    EXPECT_EQ(s.selStart, r.start) << r.name;
    EXPECT_EQ(s.selEnd, r.end) << r.name;
    EXPECT_EQ(s.anchor, r.anchor) << r.name;
    // While dragging every cursor operation is ignored.
    LoopEditState dragging = r.before;
    dragging.dragging = true;
    r.op(&dragging);
    EXPECT_EQ(dragging.selStart, r.before.selStart) << r.name;
    EXPECT_EQ(dragging.selEnd, r.before.selEnd) << r.name;
  }
}

TEST(LoopEditView, MouseClicks) {
  // One frame per pixel, beats of 100 frames.
  const LoopEditGeometry g{1000, 1000, 50, 100};
  LoopEditState s;
  EXPECT_TRUE(LoopEdit_LeftDown(&s, g, 150, 10, false, true));
  EXPECT_EQ(s.selStart, 100);  // exactly half-way: the earlier beat
  EXPECT_TRUE(LoopEdit_LeftDown(&s, g, 151, 10, false, true));
  EXPECT_EQ(s.selStart, 200);
  EXPECT_EQ(s.anchor, 200);
  LoopEdit_ButtonUp(&s);

  // Shift-click: from the anchor for a caret, then the nearer end of the range.
  LoopEdit_LeftDown(&s, g, 320, 10, true, false);
  EXPECT_EQ(s.selStart, 200);
  EXPECT_EQ(s.selEnd, 320);
  LoopEdit_LeftDown(&s, g, 260, 10, true, false);  // at the midpoint: the end
  EXPECT_EQ(s.selEnd, 260);
  LoopEdit_LeftDown(&s, g, 210, 10, true, false);
  EXPECT_EQ(s.selStart, 210);
  EXPECT_EQ(s.selEnd, 260);
  LoopEdit_ButtonUp(&s);

  // Up to 8 pixels above or below: handled, nothing changes; further out: not ours.
  const LoopEditState before = s;
  EXPECT_TRUE(LoopEdit_LeftDown(&s, g, 500, -8, false, false));
  EXPECT_TRUE(LoopEdit_LeftDown(&s, g, 500, 57, false, false));
  EXPECT_FALSE(LoopEdit_LeftDown(&s, g, 500, -9, false, false));
  EXPECT_FALSE(LoopEdit_LeftDown(&s, g, 500, 58, false, false));
  EXPECT_FALSE(LoopEdit_LeftDown(&s, g, 1000, 10, false, false));
  EXPECT_EQ(s.selStart, before.selStart);
  EXPECT_EQ(s.selEnd, before.selEnd);
  EXPECT_FALSE(s.leftDown);

  // An empty track ignores the mouse.
  const LoopEditGeometry empty{0, 1000, 50, 100};
  EXPECT_FALSE(LoopEdit_MouseMove(&s, empty, 10, 10, false));
  LoopEdit_LeftDown(&s, empty, 10, 10, false, false);
  EXPECT_EQ(s.selStart, before.selStart);
  EXPECT_FALSE(s.leftDown);
}

TEST(LoopEditView, DragScrollAndPan) {
  const LoopEditGeometry g{10000, 100, 50, 1000};  // 100 frames per pixel
  LoopEditState s;
  LoopEdit_Zoom(&s, g, ZoomStep::In);  // 1/6 .. 5/6
  LoopEdit_LeftDown(&s, g, 50, 10, false, false);
  const int32_t caret = s.selStart;
  EXPECT_TRUE(LoopEdit_MouseMove(&s, g, 60, 10, false));
  EXPECT_TRUE(s.dragging);
  EXPECT_EQ(s.selStart, caret);
  EXPECT_GT(s.selEnd, caret);

  // Beyond the right edge: the end goes to the edge, the scroll speed is 3 x the
  // overshoot, limited to 10 pixels.
  LoopEdit_MouseMove(&s, g, 104, 10, false);
  EXPECT_EQ(s.scrollSpeed, 15);
  EXPECT_EQ(s.selEnd, LoopEdit_FrameAt(s, g, 100));
  LoopEdit_MouseMove(&s, g, 400, 10, false);
  EXPECT_EQ(s.scrollSpeed, 30);
  const double start = s.viewStart;
  EXPECT_TRUE(LoopEdit_AutoScroll(&s, g));
  EXPECT_GT(s.viewStart, start);
  EXPECT_EQ(s.selEnd, LoopEdit_FrameAt(s, g, 100));
  for (int i = 0; i < 100; ++i) LoopEdit_AutoScroll(&s, g);
  EXPECT_EQ(s.viewEnd, 1.0);
  EXPECT_EQ(s.selEnd, 9999);
  LoopEdit_MouseMove(&s, g, -20, 10, true);  // left edge, snapped to a beat
  EXPECT_EQ(s.scrollSpeed, -30);
  EXPECT_EQ(s.selStart % 1000, 0);
  LoopEdit_ButtonUp(&s);
  EXPECT_FALSE(s.dragging);
  EXPECT_FALSE(LoopEdit_AutoScroll(&s, g));

  // Right button: the loop follows the pointer.
  s.viewStart = 0.2;
  s.viewEnd = 0.5;
  EXPECT_TRUE(LoopEdit_RightDown(&s, g, 50, 10));
  LoopEdit_MouseMove(&s, g, 40, 10, false);  // 10 pixels to the left: later frames
  EXPECT_NEAR(s.viewStart, 0.23, 1e-12);
  EXPECT_NEAR(s.viewEnd, 0.53, 1e-12);
}

TEST(LoopEditView, ButtonEnableRules) {
  const struct {
    LoopEditState s;
    bool zoomSelection, setStartPoint;
  } rows[] = {
      {Caret(0), false, false},
      {Caret(5), false, true},
      {Range(0, 5, 0), true, false},
  };
  for (const auto& r : rows) {
    const LoopEditButtons b = LoopEdit_Buttons(r.s);
    EXPECT_EQ(b.zoomSelection, r.zoomSelection);
    EXPECT_EQ(b.setStartPoint, r.setStartPoint);
    EXPECT_TRUE(b.trim && b.loopSelected && b.zoomIn);
    EXPECT_FALSE(b.zoomOut || b.zoomOutFull);  // the whole loop in view
  }
}
