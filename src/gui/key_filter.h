#pragma once
// The application-wide keyboard hook: every key meant for the main window reaches the
// application's keyboard handler (key-down, character, key-up) before the widgets and
// shortcuts see it. Characters are never consumed; Enter and Tab that commit a panel
// field are.
#include <QObject>

#include "app/app.h"

class QKeyEvent;
class QWidget;

// The application's key for a Qt key code.
Key KeyFilter_Key(int qtKey);

class KeyFilter : public QObject {
  Q_OBJECT

 public:
  // `window` is the main window; `handled` runs after each key the application saw.
  KeyFilter(App* app, QWidget* window, std::function<void()> handled, QObject* parent = nullptr);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool KeyPress(QKeyEvent* event);
  App* app_;
  QWidget* window_;
  std::function<void()> handled_;
};
