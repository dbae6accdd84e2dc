// The dialog seams on Qt, driven while they are open: Select Track answers the chosen
// strip, the quicksave name dialog stays open on a name the application refuses, and
// file filters reach Qt with "*.*" meaning every file.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>

#include "gui/dialogs.h"
#include "gui/gui_fixture.h"
#include "persist/config_directory.h"

namespace {

QDialog* OpenDialog() { return qobject_cast<QDialog*>(QApplication::activeModalWidget()); }

void PressOk(QDialog* d) { d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click(); }

}  // namespace

TEST_F(GuiTest, SelectTrackAndQuicksaveNameDialogs) {
  QtDialogHost host(&app(), window_.get());
  QTimer::singleShot(0, [] {
    QDialog* d = OpenDialog();
    ASSERT_NE(d, nullptr);
    d->findChild<QRadioButton*>("id1120")->click();  // track 6
    PressOk(d);
  });
  int strip = 0;
  EXPECT_TRUE(host.SelectTrack(&strip));
  EXPECT_EQ(strip, 5);

  // An empty name is refused with the dialog left open; a good one is taken.
  QTimer::singleShot(0, [] {
    QDialog* d = OpenDialog();
    ASSERT_NE(d, nullptr);
    auto* field = d->findChild<QLineEdit*>("id1257");
    field->clear();
    PressOk(d);
    EXPECT_TRUE(d->isVisible());
    field->setText("Gig");
    PressOk(d);
  });
  std::string name;
  EXPECT_TRUE(host.QuicksaveName(&name));
  EXPECT_EQ(name, "Gig");
  EXPECT_TRUE(dialog.Saw("No name entered for quicksave.", "Error"));

  // The option dialogs open modally, Select Skin among them.
  const auto cancel = [](const char* title) {
    QTimer::singleShot(0, [title] {
      QDialog* d = OpenDialog();
      ASSERT_NE(d, nullptr);
      EXPECT_EQ(d->windowTitle(), title);
      d->reject();
    });
  };
  cancel("Metronome");
  EXPECT_FALSE(host.Run(ModalDialog::Metronome));
  std::filesystem::create_directories(std::filesystem::path(ConfigDirectory) / "Skins");
  cancel("Select Skin");
  EXPECT_FALSE(host.Run(ModalDialog::SelectSkin));
  EXPECT_FALSE(host.Run(ModalDialog::AsioControlPanel));
}

TEST(FileDialogFilter, PatternsForQt) {
  EXPECT_EQ(FileDialog_QtFilter({{"Session Files (*.session)", "*.session"}, {"All Files (*.*)", "*.*"}}),
            "Session Files (*.session);;All Files (*)");
  EXPECT_EQ(FileDialog_QtFilter({{"wav Files", "*.wav"}}), "wav Files (*.wav)");
}
