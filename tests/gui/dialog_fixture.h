#pragma once
// The application brought up headless for the Qt dialogs' smoke tests, with an
// in-memory MIDI port pair and a QApplication on the offscreen platform.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "app/app.h"
#include "app/preferences.h"
#include "app/startup.h"
#include "control/memory_midi_backend.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"
#include "persist/config_directory.h"
#include "support/engine_fixture.h"

inline QApplication* GuiApplication() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
  static int argc = 1;
  static char name[] = "kestrine_gui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication application(argc, argv);
  return &application;
}

class DialogWidgetTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    GuiApplication();
    char pattern[] = "/tmp/kestrine_gui_XXXXXX";
    dir = mkdtemp(pattern);
    ConfigDirectory = dir;
    Preferences_ResetDefaults();
    app = std::make_unique<App>();
    ASSERT_TRUE(App_InitApplicationData(app.get()));
    midi.AddDevice("Pads", true, false);
    midi.AddDevice("Clock", false, true);
    MidiPorts_UseBackend(&midi);
    ASSERT_TRUE(OpenMidiPorts());
  }
  void TearDown() override {
    Triggers().StopLearn();
    CloseMidiPorts();
    MidiPorts_UseBackend(nullptr);
    Triggers().ClearAll();
    App_Detach(app.get());
    app.reset();
    ConfigDirectory.clear();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    EngineTest::TearDown();
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

  std::unique_ptr<App> app;
  MemoryMidiBackend midi;
  std::string dir;
};
