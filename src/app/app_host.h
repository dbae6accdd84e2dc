#pragma once
// What the application asks of its surroundings, as small interfaces. The Qt window
// implements them; tests install recording doubles. Every seam may be left out (null):
// a missing window does nothing, a missing dialog answers Cancel, a missing session
// store or loop edit view performs nothing and reports failure where a result is due.
// The application calls every seam on the user-interface thread only.
#include <memory>
#include <string>
#include <vector>

// The main window as the application sees it.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void ShowTitleBar(bool shown) = 0;
  virtual void EnableMenuEntry(int command, bool enabled) = 0;
  virtual void FocusPanel() = 0;
  // Draws the application's state now (panel, strips, title), as after an entry point.
  virtual void Refresh() = 0;
  // Shows or hides the whole window (the session manager asks); the program runs on
  // either way. A window that cannot hide ignores it.
  virtual void ShowWindow(bool shown) { (void)shown; }
  // Destroys the window: the program ends through the normal shutdown.
  virtual void Close() = 0;
  // Timers 1 (33 ms) and 2 (2 ms); false when they could not be started.
  virtual bool StartTimers() = 0;
  virtual void StopTimers() = 0;
  // One-shot timer 3 that ends the beat flash.
  virtual void StartFlashTimer(int milliseconds) = 0;
};

// Modal dialogs owned by other parts of the program. Each returns true for OK.
enum class ModalDialog {
  Metronome,
  SetLatency,
  Preferences,
  MidiControl,
  SelectAudioDevices,
  SelectSkin,
  SetLoopTime,
  AsioControlPanel,
};

struct AboutText {
  std::string title;    // the program's title
  std::string version;  // "Version 1.73"
  std::string skin;     // "Current Skin: %s" / "Current Skin: None"
  std::string author;   // "Skin Author: %s" / "Skin Author: None"
};

class DialogHost {
 public:
  virtual ~DialogHost() = default;
  // "Select Track": *strip is 0..7 on OK.
  virtual bool SelectTrack(int* strip) = 0;
  // The quicksave name typed by the user.
  virtual bool QuicksaveName(std::string* name) = 0;
  virtual bool Run(ModalDialog dialog) = 0;
  virtual void About(const AboutText& text) = 0;
  virtual void Help(const std::vector<std::string>& lines) = 0;
};

// A session load under way: its loop files are read off the user-interface thread, and
// the application moves it on each time it is woken, until it ends.
class SessionLoading {
 public:
  virtual ~SessionLoading() = default;
  // Goes on as far as it can without waiting; true once the load has ended.
  virtual bool Advance() = 0;
  // Once ended: true when the session was loaded.
  virtual bool Loaded() const = 0;
  // Skips what is left to read; the load then ends at its next Advance.
  virtual void Cancel() = 0;
  // The load was cancelled (here or from its progress window) before it had read all.
  virtual bool Cancelled() const { return false; }
};

// A load that ended as it began (a store that loads at once).
class EndedLoading final : public SessionLoading {
 public:
  explicit EndedLoading(bool loaded) : loaded_(loaded) {}
  bool Advance() override { return true; }
  bool Loaded() const override { return loaded_; }
  void Cancel() override {}

 private:
  bool loaded_;
};

// A session save under way: its loop files are written off the user-interface thread,
// and the application moves it on each time it is woken, until it ends.
class SessionSaving {
 public:
  virtual ~SessionSaving() = default;
  // Goes on as far as it can without waiting (to the end when `wait`); true once the
  // save has ended.
  virtual bool Advance(bool wait) = 0;
  // Once ended: true when everything was written.
  virtual bool Saved() const = 0;
};

// A save that ended as it began (a store that saves at once, a save refused at once).
class EndedSaving final : public SessionSaving {
 public:
  explicit EndedSaving(bool saved) : saved_(saved) {}
  bool Advance(bool) override { return true; }
  bool Saved() const override { return saved_; }

 private:
  bool saved_;
};

// Sessions, quicksaves and the default configuration (written by the sessions work).
// `base` is a path without extension.
class SessionStore {
 public:
  virtual ~SessionStore() = default;
  virtual bool Save(const std::string& base) = 0;
  virtual bool Load(const std::string& base) = 0;
  // The same loads in steps (see SessionLoading). A store that has nothing to wait for
  // loads at once.
  virtual std::unique_ptr<SessionLoading> StartLoad(const std::string& base) {
    return std::make_unique<EndedLoading>(Load(base));
  }
  virtual std::unique_ptr<SessionLoading> StartLoadQuicksave(int number) {
    return std::make_unique<EndedLoading>(LoadQuicksave(number));
  }
  // The same saves in steps (see SessionSaving). A store that has nothing to wait for
  // saves at once.
  virtual std::unique_ptr<SessionSaving> StartSave(const std::string& base) {
    return std::make_unique<EndedSaving>(Save(base));
  }
  virtual std::unique_ptr<SessionSaving> StartQuicksave(const std::string& name) {
    return std::make_unique<EndedSaving>(Quicksave(name));
  }
  virtual bool DefaultExists() = 0;
  virtual bool SaveDefault() = 0;
  virtual bool LoadDefault() = 0;
  virtual bool Quicksave(const std::string& name) = 0;
  virtual bool LoadQuicksave(int number) = 0;  // 1..8
  // The fatal-error save: the current session as the "InProgress" quicksave, no prompts.
  virtual bool SaveInProgress() = 0;
};

// The loop edit view's model (cursor, selection, zoom and the operations on them).
enum class ZoomStep { In, Out, OutFull, ToSelection };
// Which of the view's buttons may be pressed now.
struct LoopEditButtons {
  bool trim = true;           // 1262 "Cut Unselected"
  bool zoomSelection = true;  // 1263 "Zoom  Select."
  bool zoomOutFull = true;    // 1265
  bool zoomIn = true;         // 1268
  bool zoomOut = true;        // 1269
  bool loopSelected = true;   // 1270
  bool setStartPoint = true;  // 1271
  bool operator==(const LoopEditButtons&) const = default;
};
class LoopEditModel {
 public:
  virtual ~LoopEditModel() = default;
  virtual void MoveCursor(int direction, bool wholeBeat, bool selection) = 0;
  // Arrow keys, with the held Control and Shift flags.
  virtual void CursorKey(int direction, bool control, bool shift) = 0;
  // A fraction of the loop for the cursor (selection minimum) or the selection maximum.
  virtual void SetPosition(double fraction, bool snapToBeat, bool maximum) = 0;
  virtual void CursorToLoopEdge(bool end, bool selection) = 0;
  virtual void Zoom(ZoomStep step) = 0;
  virtual void Trim() = 0;
  virtual void LoopSelection() = 0;
  virtual void SetStartPoint() = 0;
  // The current strip changed or its loop was replaced.
  virtual void Reset(int strip) = 0;
  // The shown loop may have changed: the next paint redraws every column.
  virtual void Redraw() = 0;
  // The periodic refresh (timer 1): play position, auto-scroll of a drag.
  virtual void Refresh() { Redraw(); }
  virtual LoopEditButtons Buttons() const { return {}; }
};
