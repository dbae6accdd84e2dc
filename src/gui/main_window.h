#pragma once
// The main window: a frame around the transport panel with the menu bar, the three
// timers and the drain of posted commands. It is the application's WindowHost.
#include <QHash>
#include <QMainWindow>
#include <QTimer>
#include <atomic>

#include "app/app.h"

class QAction;
class TransportPanel;

class MainWindow : public QMainWindow, public WindowHost {
  Q_OBJECT

 public:
  explicit MainWindow(App* app, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Draws everything the application shows (title, panel); after every entry point.
  void Refresh() override;
  // Runs the posted commands in order.
  void Drain();
  // Sizes the window to the panel and centres it on the screen.
  void PlaceOnScreen();
  // Sizes the window to the panel (and the menu bar while it shows), within the screen.
  void FitToPanel();

  TransportPanel* panel() const { return panel_; }
  QAction* MenuAction(int command) const { return actions_.value(command, nullptr); }
  bool closed() const { return closed_; }
  bool PollingMidi() const { return midi_.isActive(); }  // timer 2 runs

  // WindowHost
  void SetTitle(const std::string& title) override;
  void ShowTitleBar(bool shown) override;
  void EnableMenuEntry(int command, bool enabled) override;
  void FocusPanel() override;
  void ShowWindow(bool shown) override;
  void Close() override;
  bool StartTimers() override;
  void StopTimers() override;
  void StartFlashTimer(int milliseconds) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void Tick();
  static void CommandPosted(void* user);

  App* app_;
  TransportPanel* panel_;
  QHash<int, QAction*> actions_;
  // Timer 2 runs only while some MIDI input is polled (checked at every timer 1 tick).
  void PollMidiWhenWanted();
  QTimer refresh_, midi_, flash_;
  bool closing_ = false;  // the application closes the window: no question
  bool closed_ = false;
  std::atomic<bool> drainQueued_{false};
};
