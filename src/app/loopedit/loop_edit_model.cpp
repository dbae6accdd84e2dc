#include "app/loopedit/loop_edit_model.h"

#include <algorithm>
#include <utility>

#include "app/settings/preferences.h"
#include "engine/audio.h"
#include "engine/loop_ops.h"
#include "engine/transport.h"

AppLoopEdit::AppLoopEdit(const TrackStrips* tracks, const LoopTimeState* loopTime, LoopEditEvents events)
    : tracks_(tracks), loopTime_(loopTime), events_(std::move(events)) {}

int AppLoopEdit::Slot() const { return TrackStrips_CurrentSlot(tracks_); }

int32_t AppLoopEdit::FramesPerBeat() {
  const AudioEngine* e = Audio_GetEngine();
  bool invalidTempo = false;
  const int32_t frames = LoopEdit_FramesPerBeat(e ? e->sampleRate.load() : 48000.0, loopTime_->tempo, &invalidTempo);
  // The panel and the session loader keep the tempo at 20 or more: anything else is a
  // fault of the program, which ends through the fatal-error path (once).
  if (invalidTempo && events_.fault) events_.fault(__LINE__);
  return frames;
}

LoopEditGeometry AppLoopEdit::Geometry() {
  LoopEditTrack t;
  LoopEdit_ReadTrack(Slot(), &t);  // a slot without a usable buffer has length 0
  LoopEditGeometry g{t.length, width_, height_, FramesPerBeat()};
  LoopEdit_Clamp(&state_, g);  // the loop may have become shorter since the last look
  return g;
}

LoopEditTrack AppLoopEdit::Track() {
  LoopEditTrack t;
  LoopEdit_ReadTrack(Slot(), &t);
  t.position = position_;
  t.framesPerBeat = FramesPerBeat();
  t.beatsPerMeasure = loopTime_->beatsPerMeasure;
  t.beatLines = App_Preferences().show_edit_beat_lines != 0;
  return t;
}

AppLoopEdit::Shown AppLoopEdit::ShownNow(const LoopEditTrack& t) const {
  return Shown{Slot(), t.buffer, t.length, t.channels, t.editBegin, t.editEnd,
               t.framesPerBeat, t.beatsPerMeasure, width_, height_, t.beatLines};
}

void AppLoopEdit::Notify() {
  if (state_.fullRedraw) damage_.full = true;
  if (!damage_.Empty() && repaint_) repaint_();
}

// ---- Cursor operations and commands ----

void AppLoopEdit::MoveCursor(int direction, bool wholeBeat, bool selection) {
  LoopEdit_Move(&state_, Geometry(), direction, wholeBeat, selection);
  Notify();
}

void AppLoopEdit::CursorKey(int direction, bool control, bool shift) { MoveCursor(direction, control, shift); }

void AppLoopEdit::SetPosition(double fraction, bool snapToBeat, bool maximum) {
  LoopEdit_SetFromFraction(&state_, Geometry(), fraction, snapToBeat, maximum);
  Notify();
}

void AppLoopEdit::CursorToLoopEdge(bool end, bool selection) {
  LoopEdit_ToLoopEdge(&state_, Geometry(), end, selection);
  Notify();
}

void AppLoopEdit::Zoom(ZoomStep step) {
  LoopEdit_Zoom(&state_, Geometry(), step);
  Notify();
}

void AppLoopEdit::Trim() {
  const LoopEditGeometry g = Geometry();
  if (g.length <= 0) return;
  const int slot = Slot();
  // A caret keeps the whole loop (the trim takes the range's end as its last frame).
  if (LoopEdit_IsCaret(state_))
    Audio_SetEditRange(slot, 0, g.length - 1);
  else
    Audio_SetEditRange(slot, state_.selStart, state_.selEnd);
  const bool cuts = Audio_GetEditBegin(slot) != 0 || Audio_GetEditEnd(slot) < g.length - 1;
  if (Audio_TrimLoop(slot) && cuts) {
    // The frames the selection named are gone: start afresh on the shorter loop.
    LoopEdit_ResetState(&state_);
    if (events_.loopChanged) events_.loopChanged();
  }
  Redraw();
}

void AppLoopEdit::LoopSelection() {
  const LoopEditGeometry g = Geometry();
  if (g.length <= 0) return;
  if (LoopEdit_IsCaret(state_))
    Audio_SetEditRange(Slot(), 0, g.length);
  else
    Audio_SetEditRange(Slot(), state_.selStart, state_.selEnd);
  Redraw();
}

void AppLoopEdit::SetStartPoint() {
  Geometry();
  if (!LoopEdit_Buttons(state_).setStartPoint) return;
  if (Audio_NudgeLoop(Slot(), state_.selStart)) {
    state_.selStart = state_.selEnd = state_.anchor = 0;
    if (events_.loopChanged) events_.loopChanged();
  }
  Redraw();
}

void AppLoopEdit::Reset(int) {
  LoopEdit_ResetState(&state_);
  Notify();
}

void AppLoopEdit::Redraw() {
  state_.fullRedraw = true;
  Notify();
}

LoopEditButtons AppLoopEdit::Buttons() const { return LoopEdit_Buttons(state_); }

// ---- The periodic refresh ----

void AppLoopEdit::AddRange(int64_t from, int64_t to) {
  from = std::max<int64_t>(from, 0);
  to = std::min<int64_t>(to, width_);
  if (from < to) damage_.ranges.emplace_back(static_cast<int32_t>(from), static_cast<int32_t>(to));
}

void AppLoopEdit::Refresh() {
  const LoopEditGeometry g = Geometry();
  LoopEdit_AutoScroll(&state_, g);
  LoopEditTrack t = Track();
  const int32_t position = std::clamp(Audio_GetLoopPosition(Slot()), 0, std::max(t.length - 1, 0));
  if (ShownNow(t) != shown_) state_.fullRedraw = true;
  // A take is written behind the play head (the input arrives a latency late) and an
  // overdub changes every pass: while the shown track records, all of it is redrawn.
  const TransportState transport = Audio_GetTransportState();
  if ((transport == Recording || transport == Inserting) && Transport_RecordTrack(Audio_GetEngine()) == Slot())
    state_.fullRedraw = true;
  if (!state_.fullRedraw && position != position_) {
    // Only the columns the play position crossed, in its direction of travel; a wrap
    // covers the old column to the area's right end and the left end to the new one.
    const int64_t from = LoopEdit_ColumnOf(state_, g, position_);
    const int64_t to = LoopEdit_ColumnOf(state_, g, position);
    const bool forward = Audio_GetTrackRate(Slot()) >= 0.0;
    const int64_t a = forward ? from : to, b = forward ? to : from;
    if (a <= b) {
      AddRange(a, b + 1);
    } else {
      AddRange(a, width_);
      AddRange(0, b + 1);
    }
  }
  position_ = position;
  Notify();
}

// ---- The window's side ----

void AppLoopEdit::SetSize(int32_t width, int32_t height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  Redraw();
}

bool AppLoopEdit::LeftDown(int32_t x, int32_t y, bool shift, bool control) {
  const bool handled = LoopEdit_LeftDown(&state_, Geometry(), x, y, shift, control);
  Notify();
  return handled;
}

bool AppLoopEdit::RightDown(int32_t x, int32_t y) { return LoopEdit_RightDown(&state_, Geometry(), x, y); }

bool AppLoopEdit::MouseMove(int32_t x, int32_t y, bool control) {
  const bool handled = LoopEdit_MouseMove(&state_, Geometry(), x, y, control);
  Notify();
  return handled;
}

void AppLoopEdit::ButtonUp() { LoopEdit_ButtonUp(&state_); }

LoopEditDamage AppLoopEdit::TakeDamage() {
  if (state_.fullRedraw) damage_.full = true;
  LoopEditDamage d = std::move(damage_);
  damage_ = {};
  if (d.full) {
    d.ranges.clear();
    state_.fullRedraw = false;
    shown_ = ShownNow(Track());
  }
  return d;
}

void AppLoopEdit::Columns(int32_t x0, int32_t x1, std::vector<LoopEditColumn>* out) {
  Geometry();
  LoopEdit_Columns(state_, Track(), width_, height_, x0, x1, out);
}
