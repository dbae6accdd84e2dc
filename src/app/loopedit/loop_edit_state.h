#pragma once
// The loop edit view's state and every rule on it that needs no engine: the mapping
// between pixel columns and frames, zoom and pan, snapping to beats, the cursor
// operations, the mouse and the buttons' enable rules. Frames are sample frames of the
// shown track; the view is the visible part of the loop as fractions 0..1 of its length.
// Plain data and free functions; user-interface thread only.
#include <cstdint>

#include "app/app_host.h"

struct LoopEditState {
  double viewStart = 0.0;
  double viewEnd = 1.0;
  // Frames, start <= end; equal values are a caret.
  int32_t selStart = 0;
  int32_t selEnd = 0;
  // Where the last plain click or cursor move put the caret; shift-click extends from it.
  int32_t anchor = 0;
  bool leftDown = false;   // left button pressed inside the view (the mouse is captured)
  bool rightDown = false;  // right button pressed inside the view (panning)
  bool dragging = false;
  bool snap = false;  // Ctrl held during the last mouse event
  int32_t lastX = 0;
  int32_t lastY = 0;
  int32_t scrollSpeed = 0;  // pixels per refresh while a drag is beyond an edge
  bool fullRedraw = true;
};

// What the rules read besides the state: the track's length and beat, the area's size.
struct LoopEditGeometry {
  int32_t length = 0;         // frames
  int32_t width = 1;          // pixels
  int32_t height = 1;         // pixels
  int32_t framesPerBeat = 0;  // 0: no beats
};

inline bool LoopEdit_IsCaret(const LoopEditState& s) { return s.selStart == s.selEnd; }

// The frame under pixel column x (x clamped to 0..width), limited to length - 1.
int32_t LoopEdit_FrameAt(const LoopEditState& s, const LoopEditGeometry& g, int64_t x);
// The column showing `frame` (the last of its columns when a frame spans several);
// outside 0..width - 1 when the frame is not in view.
int64_t LoopEdit_ColumnOf(const LoopEditState& s, const LoopEditGeometry& g, int64_t frame);
// Frames in one pixel column of the current view, at least 1.
int32_t LoopEdit_FramesPerColumn(const LoopEditState& s, const LoopEditGeometry& g);

// truncate(sampleRate x 60 / tempo). A tempo below 20 is a programming error: it sets
// *invalidTempo and gives sampleRate x 0.5.
int32_t LoopEdit_FramesPerBeat(double sampleRate, double tempo, bool* invalidTempo);
// `frame` rounded to the nearest beat (a remainder above half a beat rounds up; exactly
// half-way goes to the earlier beat), then clamped to 0..length - 1.
int32_t LoopEdit_Snap(int32_t frame, const LoopEditGeometry& g);

// Keeps the selection and anchor inside 0..length (after the loop changed length).
void LoopEdit_Clamp(LoopEditState* s, const LoopEditGeometry& g);
// Selection, anchor and view back to their initial values.
void LoopEdit_ResetState(LoopEditState* s);

void LoopEdit_Zoom(LoopEditState* s, const LoopEditGeometry& g, ZoomStep step);
// Moves the view by d pixels' worth, stopping at 0 and 1 with its width kept.
void LoopEdit_Pan(LoopEditState* s, const LoopEditGeometry& g, int32_t pixels);

// Cursor operations (ignored while dragging). A step is one pixel's worth of frames, or
// half a beat + 1 frame followed by a snap to the nearest beat.
void LoopEdit_Move(LoopEditState* s, const LoopEditGeometry& g, int direction, bool wholeBeat, bool selection);
// A fraction v of the visible range: the caret (when the selection is a caret) or the
// selection minimum, or with `maximum` the selection maximum; `snap` rounds it to a beat.
void LoopEdit_SetFromFraction(LoopEditState* s, const LoopEditGeometry& g, double v, bool snap, bool maximum);
// Caret to the loop's start (0) or end (length - 1); with `selection` only that end of
// the selection moves.
void LoopEdit_ToLoopEdge(LoopEditState* s, const LoopEditGeometry& g, bool end, bool selection);

// Mouse, in coordinates of the waveform area. A press up to 8 pixels above or below the
// area is handled but changes nothing. Each returns true when the view handled it.
bool LoopEdit_LeftDown(LoopEditState* s, const LoopEditGeometry& g, int32_t x, int32_t y, bool shift, bool control);
bool LoopEdit_RightDown(LoopEditState* s, const LoopEditGeometry& g, int32_t x, int32_t y);
bool LoopEdit_MouseMove(LoopEditState* s, const LoopEditGeometry& g, int32_t x, int32_t y, bool control);
// Button released or capture lost: dragging and panning end.
void LoopEdit_ButtonUp(LoopEditState* s);
// The periodic refresh during a drag beyond an edge: pans by the scroll speed and moves
// the dragged end to the frame at that edge. True when anything moved.
bool LoopEdit_AutoScroll(LoopEditState* s, const LoopEditGeometry& g);

LoopEditButtons LoopEdit_Buttons(const LoopEditState& s);
