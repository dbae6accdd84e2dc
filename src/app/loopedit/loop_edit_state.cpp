#include "app/loopedit/loop_edit_state.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int32_t kMouseTolerance = 8;   // pixels above and below the area
constexpr int32_t kMaxOvershoot = 10;    // pixels beyond an edge that count for scrolling
constexpr int32_t kScrollPerPixel = 3;

int32_t ClampFrame(int64_t frame, int32_t length) {
  return static_cast<int32_t>(std::clamp<int64_t>(frame, 0, std::max<int32_t>(length, 0)));
}

void SnapSelection(LoopEditState* s, const LoopEditGeometry& g) {
  s->selStart = LoopEdit_Snap(s->selStart, g);
  s->selEnd = LoopEdit_Snap(s->selEnd, g);
}

// The end nearer `frame` moves to it: the end when the midpoint lies before the frame
// (or at it, for a shift-click), else the start.
void MoveNearerEnd(LoopEditState* s, int32_t frame, bool endAtMidpoint) {
  const int64_t mid = (static_cast<int64_t>(s->selStart) + s->selEnd) / 2;
  if (mid < frame || (endAtMidpoint && mid == frame))
    s->selEnd = frame;
  else
    s->selStart = frame;
}

bool InTolerance(const LoopEditGeometry& g, int32_t x, int32_t y) {
  return x >= 0 && x < g.width && y >= -kMouseTolerance && y < g.height + kMouseTolerance;
}

bool InArea(const LoopEditGeometry& g, int32_t y) { return y >= 0 && y < g.height && g.length > 0; }

}  // namespace

int32_t LoopEdit_FrameAt(const LoopEditState& s, const LoopEditGeometry& g, int64_t x) {
  if (g.length <= 0 || g.width <= 0) return 0;
  const double cx = static_cast<double>(std::clamp<int64_t>(x, 0, g.width));
  const auto frame = static_cast<int64_t>(cx * g.length * (s.viewEnd - s.viewStart) / g.width) +
                     static_cast<int64_t>(g.length * s.viewStart);
  return static_cast<int32_t>(std::clamp<int64_t>(frame, 0, g.length - 1));
}

int64_t LoopEdit_ColumnOf(const LoopEditState& s, const LoopEditGeometry& g, int64_t frame) {
  const auto first = static_cast<int64_t>(s.viewStart * g.length);
  // At least one frame in view, so that no zoom divides by zero.
  const int64_t shown = std::max<int64_t>(1, static_cast<int64_t>(g.length * (s.viewEnd - s.viewStart)));
  // The column whose frames (FrameAt(x) up to FrameAt(x + 1)) hold `frame`: the inverse
  // of FrameAt, so that a caret is drawn in the column that was clicked. Rounded down,
  // so that a frame just before the view is not shown in column 0.
  const int64_t scaled = (frame - first + 1) * g.width - 1;
  return scaled >= 0 ? scaled / shown : -((-scaled + shown - 1) / shown);
}

int32_t LoopEdit_FramesPerColumn(const LoopEditState& s, const LoopEditGeometry& g) {
  if (g.width <= 0) return 1;
  return std::max<int32_t>(1, static_cast<int32_t>((s.viewEnd - s.viewStart) * g.length / g.width));
}

int32_t LoopEdit_FramesPerBeat(double sampleRate, double tempo, bool* invalidTempo) {
  const bool invalid = !(tempo >= 20.0);
  if (invalidTempo) *invalidTempo = invalid;
  return static_cast<int32_t>(invalid ? sampleRate * 0.5 : sampleRate * 60.0 / tempo);
}

int32_t LoopEdit_Snap(int32_t frame, const LoopEditGeometry& g) {
  int64_t f = std::max<int32_t>(frame, 0);
  const int32_t beat = g.framesPerBeat;
  if (beat > 0) {
    const int64_t remainder = f % beat;
    f -= remainder;
    if (2 * remainder > beat) f += beat;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(f, 0, std::max<int32_t>(g.length - 1, 0)));
}

void LoopEdit_Clamp(LoopEditState* s, const LoopEditGeometry& g) {
  s->selStart = ClampFrame(s->selStart, g.length);
  s->selEnd = ClampFrame(s->selEnd, g.length);
  s->anchor = ClampFrame(s->anchor, g.length);
}

void LoopEdit_ResetState(LoopEditState* s) {
  s->viewStart = 0.0;
  s->viewEnd = 1.0;
  s->selStart = s->selEnd = s->anchor = 0;
  s->fullRedraw = true;
}

void LoopEdit_Zoom(LoopEditState* s, const LoopEditGeometry& g, ZoomStep step) {
  const double w = s->viewEnd - s->viewStart;
  switch (step) {
    case ZoomStep::In:
      s->viewStart += w / 6;
      s->viewEnd -= w / 6;
      break;
    case ZoomStep::Out:
      s->viewStart = std::max(0.0, s->viewStart - w / 4);
      s->viewEnd = std::min(1.0, s->viewEnd + w / 4);
      break;
    case ZoomStep::OutFull:
      s->viewStart = 0.0;
      s->viewEnd = 1.0;
      break;
    case ZoomStep::ToSelection:
      if (LoopEdit_IsCaret(*s) || g.length <= 0) return;
      s->viewStart = std::clamp(static_cast<double>(s->selStart) / g.length, 0.0, 1.0);
      s->viewEnd = std::max(s->viewStart, std::clamp(static_cast<double>(s->selEnd) / g.length, 0.0, 1.0));
      break;
  }
  s->fullRedraw = true;
}

void LoopEdit_Pan(LoopEditState* s, const LoopEditGeometry& g, int32_t pixels) {
  if (g.width <= 0 || pixels == 0) return;
  const double w = s->viewEnd - s->viewStart;
  const double shift = w * pixels / g.width;
  if ((shift < 0 && s->viewStart <= 0.0) || (shift > 0 && s->viewEnd >= 1.0)) return;
  s->viewStart += shift;
  s->viewEnd += shift;
  if (s->viewStart < 0.0) {
    s->viewStart = 0.0;
    s->viewEnd = w;
  } else if (s->viewEnd > 1.0) {
    s->viewEnd = 1.0;
    s->viewStart = 1.0 - w;
  }
  s->fullRedraw = true;
}

void LoopEdit_Move(LoopEditState* s, const LoopEditGeometry& g, int direction, bool wholeBeat, bool selection) {
  if (s->dragging || g.length <= 0) return;
  const int64_t step = wholeBeat ? g.framesPerBeat / 2 + 1 : LoopEdit_FramesPerColumn(*s, g);
  const int64_t d = direction < 0 ? -step : step;
  if (!selection) {
    int32_t caret = ClampFrame(s->selStart + d, g.length);
    if (wholeBeat) caret = LoopEdit_Snap(caret, g);
    s->selStart = s->selEnd = s->anchor = caret;
  } else {
    const bool moveStart = (LoopEdit_IsCaret(*s) && direction < 0) || s->anchor > s->selStart;
    int32_t& end = moveStart ? s->selStart : s->selEnd;
    end = ClampFrame(end + d, g.length);
    if (wholeBeat) end = LoopEdit_Snap(end, g);
    // An end moved past the other one: the selection turns over the anchor.
    if (s->selStart > s->selEnd) std::swap(s->selStart, s->selEnd);
  }
  s->fullRedraw = true;
}

void LoopEdit_SetFromFraction(LoopEditState* s, const LoopEditGeometry& g, double v, bool snap, bool maximum) {
  if (s->dragging || g.length <= 0) return;
  int64_t frame = static_cast<int64_t>((s->viewEnd - s->viewStart) * g.length * v + g.length * s->viewStart);
  if (snap) frame = LoopEdit_Snap(ClampFrame(frame, g.length), g);
  if (maximum) {
    s->selEnd = ClampFrame(std::max<int64_t>(frame, s->selStart), g.length);
  } else if (LoopEdit_IsCaret(*s)) {
    s->selStart = s->selEnd = s->anchor = ClampFrame(frame, g.length);
  } else {
    s->selStart = ClampFrame(std::min<int64_t>(frame, s->selEnd), g.length);
  }
  s->fullRedraw = true;
}

void LoopEdit_ToLoopEdge(LoopEditState* s, const LoopEditGeometry& g, bool end, bool selection) {
  if (s->dragging || g.length <= 0) return;
  if (!selection) {
    s->selStart = s->selEnd = s->anchor = end ? g.length - 1 : 0;
  } else if (end) {
    s->selEnd = g.length - 1;
    s->selStart = std::min(s->selStart, s->selEnd);
  } else {
    s->selStart = 0;
  }
  s->fullRedraw = true;
}

bool LoopEdit_LeftDown(LoopEditState* s, const LoopEditGeometry& g, int32_t x, int32_t y, bool shift, bool control) {
  if (!InTolerance(g, x, y)) return false;
  if (!InArea(g, y)) return true;
  s->leftDown = true;
  s->snap = control;
  s->lastX = x;
  s->lastY = y;
  const int32_t frame = LoopEdit_FrameAt(*s, g, x);
  if (shift) {
    if (!LoopEdit_IsCaret(*s)) {
      MoveNearerEnd(s, frame, true);
    } else {
      s->selStart = std::min(s->anchor, frame);
      s->selEnd = std::max(s->anchor, frame);
    }
    if (control) SnapSelection(s, g);
  } else {
    s->selStart = s->selEnd = s->anchor = control ? LoopEdit_Snap(frame, g) : frame;
  }
  s->fullRedraw = true;
  return true;
}

bool LoopEdit_RightDown(LoopEditState* s, const LoopEditGeometry& g, int32_t x, int32_t y) {
  if (!InTolerance(g, x, y)) return false;
  if (!InArea(g, y)) return true;
  s->rightDown = true;
  s->lastX = x;
  s->lastY = y;
  return true;
}

bool LoopEdit_MouseMove(LoopEditState* s, const LoopEditGeometry& g, int32_t x, int32_t y, bool control) {
  if (g.length <= 0) return false;
  if (s->rightDown) {
    const int32_t d = s->lastX - x;  // the loop follows the pointer
    s->lastX = x;
    s->lastY = y;
    LoopEdit_Pan(s, g, d);
    return true;
  }
  if (!s->leftDown) return false;
  s->dragging = true;
  s->snap = control;
  // Beyond an edge: the refresh keeps scrolling, faster the further out.
  if (x < 0) {
    s->scrollSpeed = kScrollPerPixel * std::max(x, -kMaxOvershoot);
    x = 0;
  } else if (x > g.width - 1) {
    s->scrollSpeed = kScrollPerPixel * std::min(x - (g.width - 1), kMaxOvershoot);
    x = g.width;  // the frame at the area's right end
  } else {
    s->scrollSpeed = 0;
  }
  s->lastX = x;
  s->lastY = y;
  MoveNearerEnd(s, LoopEdit_FrameAt(*s, g, x), false);
  if (control) SnapSelection(s, g);
  s->fullRedraw = true;
  return true;
}

void LoopEdit_ButtonUp(LoopEditState* s) {
  s->leftDown = s->rightDown = s->dragging = false;
  s->scrollSpeed = 0;
}

bool LoopEdit_AutoScroll(LoopEditState* s, const LoopEditGeometry& g) {
  if (!s->dragging || s->scrollSpeed == 0 || g.length <= 0) return false;
  LoopEdit_Pan(s, g, s->scrollSpeed);
  MoveNearerEnd(s, LoopEdit_FrameAt(*s, g, s->scrollSpeed < 0 ? 0 : g.width), false);
  if (s->snap) SnapSelection(s, g);
  s->fullRedraw = true;
  return true;
}

LoopEditButtons LoopEdit_Buttons(const LoopEditState& s) {
  LoopEditButtons b;
  const bool fullView = s.viewStart <= 0.0 && s.viewEnd >= 1.0;
  b.zoomOut = b.zoomOutFull = !fullView;
  b.zoomSelection = !LoopEdit_IsCaret(s);
  b.setStartPoint = LoopEdit_IsCaret(s) && s.selStart != 0;
  return b;
}
