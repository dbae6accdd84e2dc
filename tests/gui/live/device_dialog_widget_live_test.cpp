// The Qt device dialog against a running JACK server: it lists the devices, a rate is
// chosen, and Cancel brings back the stream it closed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>

#include <cstdlib>
#include <string>

#include "audio_io/audio_device.h"
#include "engine/audio.h"
#include "gui/device_dialog_widget.h"
#include "support/scripted_dialog.h"

namespace {

TEST(DeviceDialogWidgetLive, OpensListsAndCancelReopens) {
  const char* ci = std::getenv("CI");
  if (std::system("jack_lsp >/dev/null 2>&1") != 0) {
    if (ci && *ci && std::string(ci) != "false") FAIL() << "no JACK server is running on the CI machine";
    GTEST_SKIP() << "no JACK server is running";
  }
  int argc = 1;
  char name[] = "device_dialog_live";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  ScriptedDialog messages;
  AudioIo_Install();
  ASSERT_TRUE(Audio_Init());
  ASSERT_TRUE(Audio_SetHostApi(12));
  DeviceConfiguration_SetInputName("system");
  DeviceConfiguration_SetOutputName("system");
  ASSERT_TRUE(Audio_OpenConfiguredDevice());
  {
    DeviceDialogWidget dialog(nullptr, nullptr);
    ASSERT_TRUE(dialog.Opened());
    dialog.show();
    EXPECT_FALSE(Audio_IsStreamOpen());
    EXPECT_FALSE(dialog.Inputs()->findItems("system", Qt::MatchExactly).isEmpty());
    ASSERT_GT(dialog.Rates()->count(), 0);
    dialog.Rates()->setCurrentRow(0);
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
  EXPECT_TRUE(Audio_IsStreamOpen());
  Audio_Shutdown();
}

}  // namespace
