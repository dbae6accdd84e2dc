#pragma once
// The headless application (app_fixture.h) with a QApplication on the offscreen
// platform, for the dialogs' smoke tests.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include "app/app_fixture.h"
#include "control/trigger_set.h"

class DialogWidgetTest : public AppTest {
 protected:
  void SetUp() override {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
      static int argc = 1;
      static char name[] = "kestrine_gui_tests";
      static char* argv[] = {name, nullptr};
      new QApplication(argc, argv);  // lives for the whole test program
    }
    AppTest::SetUp();
  }
  void TearDown() override {
    Triggers().StopLearn();
    AppTest::TearDown();
  }
  template <class W>
  static W* Child(QWidget* dialog, const char* name) {
    return dialog->findChild<W*>(name);
  }
  // Presses the dialog's OK or Cancel button; true when the dialog then closed with OK.
  static bool Press(QDialog* dialog, bool ok) {
    auto* box = dialog->findChild<QDialogButtonBox*>();
    box->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    return dialog->result() == QDialog::Accepted;
  }
};
