#include "gui/key_filter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

Key KeyFilter_Key(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Return: case Qt::Key_Enter: return Key::Enter;
    case Qt::Key_Tab: case Qt::Key_Backtab: return Key::Tab;
    case Qt::Key_Left: return Key::Left;
    case Qt::Key_Right: return Key::Right;
    case Qt::Key_Shift: return Key::Shift;
    case Qt::Key_Control: return Key::Control;
    case Qt::Key_Z: return Key::Z;
    case Qt::Key_Y: return Key::Y;
    case Qt::Key_F1: return Key::F1;
    default: return Key::Other;
  }
}

KeyFilter::KeyFilter(App* app, QWidget* window, std::function<void()> handled, QObject* parent)
    : QObject(parent), app_(app), window_(window), handled_(std::move(handled)) {}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  // Keys for dialogs and menus are theirs. A key the focus widget ignores travels up
  // its parents; the application sees it once, at the first receiver.
  if (!widget || widget->window() != window_) return false;
  QWidget* focus = QApplication::focusWidget();
  if (focus ? widget != focus : widget != window_) return false;

  auto* key = static_cast<QKeyEvent*>(event);
  bool consumed = false;
  if (event->type() == QEvent::KeyPress) {
    consumed = KeyPress(key);
  } else if (!key->isAutoRepeat()) {
    App_KeyUp(app_, KeyFilter_Key(key->key()));
  }
  if (handled_) handled_();
  return consumed;
}

bool KeyFilter::KeyPress(QKeyEvent* event) {
  const Key key = KeyFilter_Key(event->key());
  const bool editing = app_->focus != PanelField::None;
  App_KeyDown(app_, key);
  // Enter or Tab committed the field: its character goes nowhere.
  if (editing && (key == Key::Enter || key == Key::Tab)) return true;
  // Alt+letter belongs to the menu bar's mnemonics, as a system key would.
  if (event->modifiers() & Qt::AltModifier) return false;
  const QString text = event->text();
  if (text.size() == 1 && text[0].unicode() > 0 && text[0].unicode() < 256) App_Character(app_, text[0].unicode());
  return false;
}
