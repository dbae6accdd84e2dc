#pragma once
// The real main window around a headless application (see app_fixture.h), offscreen.
#include <QApplication>
#include <memory>

#include "app/app_fixture.h"
#include "gui/key_filter.h"
#include "gui/main_window.h"
#include "gui/transport_panel.h"

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
