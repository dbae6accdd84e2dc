#pragma once
// The application's loop edit view: the view state bound to the current strip's track,
// the commands and cursor operations the application routes to it, the mouse, and which
// columns the window must paint. The window (or a test) sets the area's size, forwards
// the mouse, and on each repaint request takes the damage and paints those columns.
// User-interface thread only.
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "app/app_host.h"
#include "app/loopedit/loop_edit_columns.h"
#include "app/loopedit/loop_edit_state.h"
#include "app/model/loop_time.h"
#include "app/strips/track_strips.h"

// What the view tells its owner: a loop was changed (trimmed, its start moved), and a
// fault of the program (a tempo the panel and loader never allow) at a source line.
struct LoopEditEvents {
  std::function<void()> loopChanged;
  std::function<void(int line)> fault;
};

// The columns the next paint must draw: all of them, or the ranges [from, to) that the
// play position crossed since the last paint.
struct LoopEditDamage {
  bool full = false;
  std::vector<std::pair<int32_t, int32_t>> ranges;
  bool Empty() const { return !full && ranges.empty(); }
};

class AppLoopEdit final : public LoopEditModel {
 public:
  // Shows the record track of `tracks` on the grid of `loopTime`; both outlive the view.
  AppLoopEdit(const TrackStrips* tracks, const LoopTimeState* loopTime, LoopEditEvents events);

  // ---- What the application routes here ----
  void MoveCursor(int direction, bool wholeBeat, bool selection) override;
  void CursorKey(int direction, bool control, bool shift) override;
  void SetPosition(double fraction, bool snapToBeat, bool maximum) override;
  void CursorToLoopEdge(bool end, bool selection) override;
  void Zoom(ZoomStep step) override;
  void Trim() override;
  void LoopSelection() override;
  void SetStartPoint() override;
  void Reset(int strip) override;
  void Redraw() override;
  void Refresh() override;
  LoopEditButtons Buttons() const override;

  // ---- The window's side ----
  // The waveform area's size in pixels (until a window gives one: 400 x 100).
  void SetSize(int32_t width, int32_t height);
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // Called whenever something needs painting; the window asks for a paint.
  void SetRepaintHook(std::function<void()> hook) { repaint_ = std::move(hook); }
  // Mouse in area coordinates; true when the view handled the event.
  bool LeftDown(int32_t x, int32_t y, bool shift, bool control);
  bool RightDown(int32_t x, int32_t y);
  bool MouseMove(int32_t x, int32_t y, bool control);
  void ButtonUp();  // either button released, or the capture lost
  // What to paint now; clears it.
  LoopEditDamage TakeDamage();
  // Columns x0..x1 - 1 as they are now, from a fresh copy of the track's buffer fields.
  void Columns(int32_t x0, int32_t x1, std::vector<LoopEditColumn>* out);

  const LoopEditState& State() const { return state_; }
  // The shown track as the next paint reads it (tests and the benchmark).
  LoopEditTrack Track();

 private:
  // What a drawing depends on besides the view state: when any of it changes between
  // two refreshes, the next paint redraws every column.
  struct Shown {
    int slot = -1;
    const float* buffer = nullptr;
    int32_t length = 0, channels = 0, editBegin = 0, editEnd = 0;
    int32_t framesPerBeat = 0, beatsPerMeasure = 0, width = 0, height = 0;
    bool beatLines = false;
    bool operator==(const Shown&) const = default;
  };

  int Slot() const;
  int32_t FramesPerBeat();
  LoopEditGeometry Geometry();
  Shown ShownNow(const LoopEditTrack& track) const;
  void AddRange(int64_t from, int64_t to);
  void Notify();

  const TrackStrips* tracks_;
  const LoopTimeState* loopTime_;
  LoopEditEvents events_;
  LoopEditState state_;
  int32_t width_ = 400;
  int32_t height_ = 100;
  int32_t position_ = 0;  // play position the paints show
  Shown shown_;
  LoopEditDamage damage_;
  std::function<void()> repaint_;
};
