// The Qt Set Latency dialog on a JACK server of the test's own, the program's outputs
// patched back to its inputs: Measure shows the round trip found, and OK makes it the
// one recording is moved back by.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "audio_io/audio_device.h"
#include "engine/audio.h"
#include "gui/latency_dialog_widget.h"
#include "persist/config_directory.h"
#include "support/private_jack_server.h"
#include "support/scripted_dialog.h"

namespace {

TEST(LatencyDialogWidgetLive, MeasureShowsTheRoundTripAndOkStoresIt) {
  if (!PrivateJackServer::Usable()) GTEST_SKIP() << "jackd is not installed";
  PrivateJackServer server("latency-widget");
  ASSERT_TRUE(server.Start());
  int argc = 1;
  char name[] = "latency_dialog_live";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  ScriptedDialog messages;
  char pattern[] = "/tmp/kestrine_latency_widget_XXXXXX";
  ConfigDirectory = mkdtemp(pattern);
  AudioIo_Install();
  ASSERT_TRUE(Audio_Init());
  ASSERT_TRUE(Audio_SetHostApi(12));
  DeviceConfiguration_SetInputName("system");
  DeviceConfiguration_SetOutputName("system");
  ASSERT_TRUE(Audio_OpenConfiguredDevice());
  // The server's own tools, on this test's server (the environment names it).
  ASSERT_EQ(std::system("jack_disconnect system:capture_1 Kestrine:in_0 >/dev/null 2>&1;"
                        "jack_disconnect system:capture_2 Kestrine:in_1 >/dev/null 2>&1;"
                        "jack_connect Kestrine:out_0 Kestrine:in_0 && jack_connect Kestrine:out_1 Kestrine:in_1"),
            0);
  {
    LatencyDialogWidget dialog(nullptr);
    dialog.show();
    auto* measure = dialog.findChild<QPushButton*>("measure");
    auto* roundTrip = dialog.findChild<QLabel*>("roundTrip");
    ASSERT_TRUE(measure && roundTrip);
    EXPECT_TRUE(roundTrip->text().endsWith("as the device reports it")) << roundTrip->text().toStdString();
    measure->click();
    EXPECT_FALSE(measure->isEnabled());  // one measurement at a time
    EXPECT_TRUE(QTest::qWaitFor([&] { return measure->isEnabled(); }, 5000));
    EXPECT_EQ(roundTrip->text(), "Round trip: 512 frames (10.67 ms), measured");
    EXPECT_TRUE(messages.shown.empty());
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_EQ(Audio_GetLatencyFrames(), 512);
  Audio_Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(ConfigDirectory, ec);
  ConfigDirectory.clear();
}

}  // namespace
