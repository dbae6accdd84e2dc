#include "gui/message_box.h"

#include <QCheckBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStringList>
#include <algorithm>

namespace {

// The result a closed window gives: No for Yes/No, Cancel for OK/Cancel, OK alone.
int ClosedResult(int kind) {
  if (kind == MB_OK) return IDOK;
  return kind == MB_YESNO ? IDNO : IDCANCEL;
}

}  // namespace

QString MessageLayout_PadText(const QString& text) {
  const int lines = text.count('\n') + 1;
  if (lines == 1) return "\n\n" + text;
  if (lines == 2) return "\n" + text;
  return text;
}

int MessageLayout_LongestLine(const QString& text, const QString& checkBoxText,
                              const std::function<int(const QString&)>& lineWidth) {
  int longest = 0;
  for (const QString& line : text.split('\n') + checkBoxText.split('\n'))
    longest = std::max(longest, lineWidth(line));
  return longest;
}

int MessageLayout_Width(int longestLine, int buttonWidth, int screenWidth) {
  const int least = static_cast<int>(2.5 * buttonWidth);
  // The text field is nine tenths of the box; a few pixels spare for rounding.
  int width = std::max((longestLine + 4) * 10 / 9 + 1, least);
  if (screenWidth > 0) width = std::min(width, std::max(screenWidth * 6 / 10, least));
  return width;
}

QPoint MessageLayout_Position(const QRect* ownerClient, QSize size) {
  if (!ownerClient) return {320, 240};
  const QPoint centre = ownerClient->center();
  return {centre.x() - size.width() / 2, centre.y() - size.height() / 2 - 80};
}

int QtMessageDialog::Show(void*, const std::string& rawText, const std::string& caption, int kind,
                          const std::string& rawCheckText, MessageCheckAction checkAction) {
  const QString text = QString::fromStdString(rawText).left(kMessageTextLimit);
  const bool withCheck = !rawCheckText.empty() && checkAction;
  const QString checkText = withCheck ? QString::fromStdString(rawCheckText) : QString();
  const bool twoButtons = kind != MB_OK;

  QDialog dialog(owner_);
  dialog.setWindowTitle(QString::fromStdString(caption));
  dialog.setObjectName("MessageDialog");
  auto* label = new QLabel(MessageLayout_PadText(text), &dialog);
  label->setObjectName("id1292");
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  auto* check = new QCheckBox(checkText, &dialog);
  check->setObjectName("id1293");
  check->setVisible(withCheck);
  auto* first = new QPushButton(kind == MB_YESNO ? "Yes" : "OK", &dialog);
  first->setObjectName("id1");
  auto* second = new QPushButton(kind == MB_YESNO ? "No" : "Cancel", &dialog);
  second->setObjectName("id2");
  second->setVisible(twoButtons);

  const int margin = 10;
  const QSize button = first->sizeHint().expandedTo({75, 23});
  const QFontMetrics metrics(dialog.font());
  const int longest = MessageLayout_LongestLine(text, checkText, [&](const QString& line) {
    return metrics.horizontalAdvance(line);
  });
  const QScreen* screen = owner_ ? owner_->screen() : QGuiApplication::primaryScreen();
  int width = MessageLayout_Width(longest, button.width(), screen ? screen->availableGeometry().width() : 0);
  // The check box's own text is never cut: its indicator needs room the rule leaves out.
  if (withCheck) width = std::max(width, check->sizeHint().width() * 10 / 9 + 1);
  const int textWidth = width * 9 / 10;
  const int textHeight = std::max(label->heightForWidth(textWidth), QFontMetrics(dialog.font()).height() * 4);
  label->setGeometry((width - textWidth) / 2, margin, textWidth, textHeight);
  int y = margin + textHeight + margin;
  if (withCheck) {
    check->setGeometry((width - textWidth) / 2, y, textWidth, check->sizeHint().height());
    y += check->sizeHint().height() + margin;
  }
  if (twoButtons) {
    second->setGeometry(width - margin - button.width(), y, button.width(), button.height());
    first->setGeometry(width - 2 * margin - 2 * button.width(), y, button.width(), button.height());
  } else {
    first->setGeometry((width - button.width()) / 2, y, button.width(), button.height());
  }
  dialog.setFixedSize(width, y + button.height() + margin);

  // The owner's client area: a main window's central widget, below its menu bar.
  QRect client;
  if (owner_) {
    const auto* main = qobject_cast<QMainWindow*>(owner_);
    const QWidget* area = main && main->centralWidget() ? main->centralWidget() : owner_;
    client = QRect(area->mapToGlobal(QPoint(0, 0)), area->size());
  }
  dialog.move(MessageLayout_Position(owner_ ? &client : nullptr, dialog.size()));

  int result = ClosedResult(kind);
  bool confirmed = false;  // the first button, not the window's close button
  QObject::connect(first, &QPushButton::clicked, &dialog, [&] {
    confirmed = true;
    result = kind == MB_YESNO ? IDYES : IDOK;
    dialog.accept();
  });
  QObject::connect(second, &QPushButton::clicked, &dialog, [&] {
    result = kind == MB_YESNO ? IDNO : IDCANCEL;
    dialog.reject();
  });
  first->setDefault(true);
  first->setFocus();
  dialog.exec();
  if (withCheck && confirmed && check->isChecked()) checkAction();
  return result;
}
