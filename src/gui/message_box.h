#pragma once
// The program's message box on Qt: OK, Yes/No or OK/Cancel, with the optional "do not
// warn me again" check box. Its layout rules (padding of short texts, width from the
// longest line, placement over the main window) are plain functions so they can be
// checked without a display.
#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>

#include "engine/message_dialog.h"

class QWidget;

// Longest text shown; longer texts are cut.
inline constexpr int kMessageTextLimit = 1019;

// Short texts sit in the middle of the text field: one line gets two leading line
// feeds, two lines one, three or more none.
QString MessageLayout_PadText(const QString& text);
// The widest line in pixels (of the text and the check-box text, as `lineWidth`
// measures a line).
int MessageLayout_LongestLine(const QString& text, const QString& checkBoxText,
                              const std::function<int(const QString&)>& lineWidth);
// Wide enough for the longest line in the text field (nine tenths of the box), so the
// text breaks only at its own line ends; at least 2.5 x the first button's width; at
// most 60 % of the screen's width (longer lines wrap between words).
int MessageLayout_Width(int longestLine, int buttonWidth, int screenWidth);
// Top-left corner: centred over the owner's client area and raised 80 pixels;
// (320, 240) without an owner.
QPoint MessageLayout_Position(const QRect* ownerClient, QSize dialogSize);

class QtMessageDialog final : public MessageDialog {
 public:
  // `owner` is the window dialogs centre over (may be null).
  explicit QtMessageDialog(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }
  int Show(void* owner, const std::string& text, const std::string& caption, int kind,
           const std::string& checkBoxText, MessageCheckAction checkBoxAction) override;

 private:
  QWidget* owner_;
};
