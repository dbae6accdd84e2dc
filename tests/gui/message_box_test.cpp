// The message box: layout rules as plain functions, and the real dialog driven while it
// is open (buttons, check box, the result of closing it).
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <functional>

#include "gui/gui_fixture.h"
#include "gui/message_box.h"

namespace {

int checkActions = 0;
void CountCheckAction() { ++checkActions; }

// Shows the dialog and runs `act` on it once it is open.
int ShowAndAct(QtMessageDialog& box, const std::string& text, int kind, const std::string& check,
               MessageCheckAction action, const std::function<void(QDialog*)>& act) {
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    act(dialog);
  });
  return box.Show(nullptr, text, "Caption", kind, check, action);
}

QAbstractButton* Button(QDialog* d, const char* id) { return d->findChild<QAbstractButton*>(id); }

}  // namespace

TEST(MessageLayout, ShortTextsArePaddedToTheMiddleAndWidthFollowsTheLongestLine) {
  const std::pair<const char*, const char*> pads[] = {
      {"one", "\n\none"}, {"one\ntwo", "\none\ntwo"}, {"a\nb\nc", "a\nb\nc"}};
  for (const auto& [text, padded] : pads) EXPECT_EQ(MessageLayout_PadText(text), padded) << text;

  // The widest line of the text or the check box, 10 px a character here.
  const auto tenEach = [](const QString& line) { return 10 * static_cast<int>(line.size()); };
  EXPECT_EQ(MessageLayout_LongestLine("short\n" + QString(30, 'x'), "", tenEach), 300);
  EXPECT_EQ(MessageLayout_LongestLine("short", QString(40, 'c'), tenEach), 400);
  // The line fits the text field (nine tenths); at least 2.5 x the button (75 -> 187);
  // at most 60 % of a 1280 px screen.
  EXPECT_EQ(MessageLayout_Width(300, 75, 1280), 338);
  EXPECT_EQ(MessageLayout_Width(50, 75, 1280), 187);
  EXPECT_EQ(MessageLayout_Width(2000, 75, 1280), 768);

  EXPECT_EQ(MessageLayout_Position(nullptr, QSize(200, 100)), QPoint(320, 240));
  const QRect owner(100, 100, 800, 600);  // centre (499, 399)
  EXPECT_EQ(MessageLayout_Position(&owner, QSize(200, 100)), QPoint(399, 269));
}

class MessageBoxTest : public GuiTest {};

TEST_F(MessageBoxTest, ButtonsCheckBoxAndResults) {
  QtMessageDialog box(window_.get());
  checkActions = 0;

  // Kind 0: one OK button, focused; no check box without an action.
  int result = ShowAndAct(box, "Saved.", 0, "Do not warn me about this again", nullptr, [](QDialog* d) {
    EXPECT_FALSE(Button(d, "id2")->isVisible());
    EXPECT_EQ(d->focusWidget(), Button(d, "id1"));
    EXPECT_EQ(Button(d, "id1")->text(), "OK");
    EXPECT_FALSE(d->findChild<QCheckBox*>("id1293")->isVisible());
    EXPECT_EQ(d->findChild<QLabel*>("id1292")->text(), "\n\nSaved.");
    Button(d, "id1")->click();
  });
  EXPECT_EQ(result, 1);

  // Kind 4 closed by the window: No (7), and the ticked box does nothing.
  result = ShowAndAct(box, "Continue?", 4, "Do not warn me about this again", CountCheckAction, [](QDialog* d) {
    EXPECT_EQ(Button(d, "id1")->text(), "Yes");
    EXPECT_EQ(Button(d, "id2")->text(), "No");
    d->findChild<QCheckBox*>("id1293")->setChecked(true);
    d->close();
  });
  EXPECT_EQ(result, 7);
  EXPECT_EQ(checkActions, 0);

  // Yes with the box ticked switches the warning off.
  result = ShowAndAct(box, "Continue?", 4, "Do not warn me about this again", CountCheckAction, [](QDialog* d) {
    EXPECT_TRUE(d->findChild<QCheckBox*>("id1293")->isVisible());
    d->findChild<QCheckBox*>("id1293")->setChecked(true);
    Button(d, "id1")->click();
  });
  EXPECT_EQ(result, 6);
  EXPECT_EQ(checkActions, 1);

  // Other kinds: OK / Cancel, 1 or 2; the second button 10 px from the right edge.
  result = ShowAndAct(box, "Proceed?", 1, "", nullptr, [](QDialog* d) {
    EXPECT_EQ(Button(d, "id2")->text(), "Cancel");
    EXPECT_EQ(d->width() - Button(d, "id2")->geometry().right() - 1, 10);
    Button(d, "id2")->click();
  });
  EXPECT_EQ(result, 2);

  // A path and a sentence stay on their own lines; a long paragraph wraps within 60 %
  // of the screen.
  const std::string twoLines = "No audio device is running.\nChoose one in Options->Select Audio Devices.";
  ShowAndAct(box, twoLines, 0, "", nullptr, [](QDialog* d) {
    auto* label = d->findChild<QLabel*>("id1292");
    const QFontMetrics metrics(label->font());
    EXPECT_EQ(label->height(), std::max(metrics.height() * 4, label->heightForWidth(label->width())));
    EXPECT_LE(label->heightForWidth(label->width()), metrics.lineSpacing() * 3 + 2);  // no line broken
    d->close();
  });
  const QString paragraph = QString("a long sentence of words ").repeated(30);
  ShowAndAct(box, paragraph.toStdString(), 0, "", nullptr, [](QDialog* d) {
    EXPECT_LE(d->width(), d->screen()->availableGeometry().width() * 6 / 10);
    d->close();
  });

  // Over-long texts are cut to 1019 characters.
  ShowAndAct(box, std::string(1500, 'x'), 0, "", nullptr, [](QDialog* d) {
    EXPECT_EQ(d->findChild<QLabel*>("id1292")->text().count('x'), 1019);
    d->close();
  });
}
