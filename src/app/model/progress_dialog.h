#pragma once
// The small modeless window that shows how far a long load has come (a session, a skin).
// Toolkit-free: the Qt window implements it, tests install a recording double; with none
// installed nothing is shown. User-interface thread only.
#include <string>

class ProgressDialog {
 public:
  virtual ~ProgressDialog() = default;
  // Shows the window titled `title` with a bar from 0 to `range`, at 0.
  virtual void Open(const std::string& title, int range) = 0;
  // Advances the bar by one (never past its range).
  virtual void Step() = 0;
  virtual void Close() = 0;
  // The user asked to stop the load (the window's Cancel button); polled by the load.
  virtual bool CancelRequested() { return false; }
};

void ProgressDialog_Install(ProgressDialog* dialog);
ProgressDialog* ProgressDialog_Installed();

// One progress window for the life of a load: opened when `shown`, stepped at most
// `range` times, closed when the load ends however it ends.
class ProgressWindow {
 public:
  ProgressWindow(bool shown, const std::string& title, int range);
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;
  void Step();
  bool Cancelled() const { return dialog_ && dialog_->CancelRequested(); }

 private:
  ProgressDialog* dialog_;
  int left_;
};
