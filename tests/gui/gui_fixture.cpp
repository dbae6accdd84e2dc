#include "gui/gui_fixture.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>

#include "control/trigger_set.h"

QApplication* GuiApplication() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "gui_tests";
  static char* argv[] = {name, nullptr};
  return new QApplication(argc, argv);
}

void GuiTest::SetUp() {
  GuiApplication();
  AppTest::SetUp();
  window_ = std::make_unique<MainWindow>(app_.get());
  app_->window = window_.get();
  keys_ = std::make_unique<KeyFilter>(app_.get(), window_.get(), [this] { window_->Refresh(); });
  qApp->installEventFilter(keys_.get());
  window_->PlaceOnScreen();
  window_->show();
  window_->Refresh();
  window_->FocusPanel();
  Settle();
}

void GuiTest::TearDown() {
  qApp->removeEventFilter(keys_.get());
  keys_.reset();
  app_->window = &window;
  window_.reset();
  Settle();
  AppTest::TearDown();
}

void GuiTest::Click(int id) {
  auto* button = Control<QAbstractButton>(id);
  ASSERT_NE(button, nullptr) << id;
  QTest::mouseClick(button, Qt::LeftButton);
  Settle();
}

void GuiTest::Settle() { QCoreApplication::processEvents(); }

void DialogWidgetTest::TearDown() {
  Triggers().StopLearn();
  AppTest::TearDown();
}

bool DialogWidgetTest::Press(QDialog* dialog, bool ok) {
  dialog->findChild<QDialogButtonBox*>()->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
  return dialog->result() == QDialog::Accepted;
}
