#pragma once
// The real main window, or one dialog, around a headless application (see
// app_fixture.h), on the offscreen platform.
#include <QApplication>
#include <QDialog>
#include <memory>

#include "app/app_fixture.h"
#include "gui/key_filter.h"
#include "gui/main_window.h"
#include "gui/transport_panel.h"

// The program's one QApplication, made on first use; it lives for the whole test program.
QApplication* GuiApplication();

class GuiTest : public AppTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  template <class W = QWidget>
  W* Control(int id) const {
    return qobject_cast<W*>(window_->panel()->Control(id));
  }
  template <class W>
  W* Named(const char* name) const {
    return window_->findChild<W*>(name);
  }
  // Clicks a panel control by id.
  void Click(int id);
  // Runs queued events (the posted-command drain among them).
  static void Settle();

  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<KeyFilter> keys_;
};

class DialogWidgetTest : public AppTest {
 protected:
  void SetUp() override {
    GuiApplication();
    AppTest::SetUp();
  }
  void TearDown() override;
  template <class W>
  static W* Child(QWidget* dialog, const char* name) {
    return dialog->findChild<W*>(name);
  }
  // Presses the dialog's OK or Cancel button; true when the dialog then closed with OK.
  static bool Press(QDialog* dialog, bool ok);
};
