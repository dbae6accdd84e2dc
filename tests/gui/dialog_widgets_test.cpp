// One smoke test per Qt dialog: open it offscreen, change one control, close it, and
// check that the change reached the application.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QListWidget>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include "audio_io/loop_files.h"
#include "control/action_catalogue.h"
#include "engine/audio.h"
#include "gui/device_dialog_widget.h"
#include "gui/gui_fixture.h"
#include "gui/latency_dialog_widget.h"
#include "gui/loop_time_dialog_widget.h"
#include "gui/metronome_dialog_widget.h"
#include "gui/path_field.h"
#include "gui/midi_control_dialog_widget.h"
#include "gui/preferences_dialog_widget.h"

namespace {

TEST_F(DialogWidgetTest, LoopTimeDialogTakesTheTypedSeconds) {
  LoopTimeDialogWidget dialog(nullptr, &app());
  dialog.show();
  auto* seconds = Child<QLineEdit>(&dialog, "1013");
  ASSERT_NE(seconds, nullptr);
  Child<QRadioButton>(&dialog, "1164")->click();
  seconds->setText("6");
  EXPECT_TRUE(Press(&dialog, true));
  EXPECT_DOUBLE_EQ(app().loopTime.loopTime, 6.0);
  EXPECT_EQ(app().loopTime.mode, 0);
}

TEST_F(DialogWidgetTest, LatencyDialogRefusesTooLongAndStaysOpen) {
  LatencyDialogWidget dialog(nullptr);
  dialog.show();
  Child<QLineEdit>(&dialog, "milliseconds")->setText("1000.5");
  EXPECT_FALSE(Press(&dialog, true));
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(this->dialog.Saw("Latency too long", "Error"));
  EXPECT_FALSE(Press(&dialog, false));
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DialogWidgetTest, LatencyDialogMeasureWithoutADeviceSaysSo) {
  LatencyDialogWidget dialog(nullptr);
  dialog.show();
  auto* measure = Child<QPushButton>(&dialog, "measure");
  ASSERT_NE(measure, nullptr);
  measure->click();
  EXPECT_TRUE(this->dialog.Saw("No audio device is running.\nChoose one in Options->Select Audio Devices.", "Set Latency"));
  EXPECT_TRUE(measure->isEnabled());
  EXPECT_EQ(Child<QLabel>(&dialog, "roundTrip")->text(), "Round trip: no audio device is running");
}

TEST_F(DialogWidgetTest, PreferencesSliderActsAtOnceAndCancelPutsItBack) {
  PreferencesDialogWidget dialog(nullptr);
  dialog.show();
  auto* volume = Child<QSlider>(&dialog, "1206");
  ASSERT_NE(volume, nullptr);
  volume->setValue(64);
  EXPECT_DOUBLE_EQ(Audio_GetEngine()->latentVolume, 64 / 127.0);
  EXPECT_FALSE(Press(&dialog, false));
  EXPECT_DOUBLE_EQ(Audio_GetEngine()->latentVolume, 1.0);
}

TEST_F(DialogWidgetTest, PreferencesSaveFormatAndSeamCrossfadeAreTakenByOk) {
  PreferencesDialogWidget dialog(nullptr);
  dialog.show();
  auto* format = Child<QComboBox>(&dialog, "loop_file_format");
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->currentIndex(), 0);
  format->setCurrentIndex(2);
  auto* oscPort = Child<QLineEdit>(&dialog, "osc_port");
  ASSERT_NE(oscPort, nullptr);
  EXPECT_EQ(oscPort->text(), "0");
  Child<QCheckBox>(&dialog, "osc_all_interfaces")->setChecked(true);
  auto* feedback = Child<QComboBox>(&dialog, "midi_feedback_port");
  ASSERT_NE(feedback, nullptr);
  EXPECT_EQ(feedback->currentText(), "None");
  auto* seams = Child<QSpinBox>(&dialog, "seam_crossfade_ms");  // not the mixer's A/B crossfade
  ASSERT_NE(seams, nullptr);
  EXPECT_EQ(seams->value(), 5);
  seams->setValue(99);  // the box holds 0..50
  Press(&dialog, true);
  EXPECT_EQ(App_Preferences().seam_crossfade_ms, 50);
  EXPECT_EQ(Audio_GetSeamCrossfade(), 50);
  EXPECT_EQ(App_Preferences().loop_file_format, 2);
  EXPECT_TRUE(App_Preferences().osc_all_interfaces == 1 && App_Preferences().midi_feedback_port == -1);
  EXPECT_EQ(Audio_GetLoopFileOptions().saveFormat, LOOP_FILE_FLOAT32);
}

TEST_F(DialogWidgetTest, MetronomeBeatVolumeSticksThroughCancel) {
  MetronomeDialogWidget dialog(nullptr);
  dialog.show();
  auto* beatVolume = Child<QComboBox>(&dialog, "1289");
  ASSERT_NE(beatVolume, nullptr);
  beatVolume->setCurrentIndex(90);
  emit beatVolume->activated(90);
  EXPECT_FALSE(Press(&dialog, false));
  EXPECT_EQ(App_Preferences().midi.metronome_midi_beat_volume, 90);
}

// A long click-sound path shows its start and its file name, cut in the middle; the
// field still holds the whole path, and a Browse button sits beside each.
TEST_F(DialogWidgetTest, MetronomePathsAreElidedInTheMiddleWithBrowseButtons) {
  MetronomeDialogWidget dialog(nullptr);
  dialog.show();
  auto* beat = Child<PathField>(&dialog, "1144");
  ASSERT_NE(beat, nullptr);
  const QString path = "/home/performer/" + QString("very long folder name/").repeated(6) + "beat sound.wav";
  beat->setText(path);
  const QString shown = PathField::Shown(path, beat->fontMetrics(), 200);
  EXPECT_TRUE(shown.startsWith("/home/")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("beat sound.wav")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026)));
  EXPECT_EQ(beat->text(), path);
  EXPECT_EQ(beat->toolTip(), path);
  EXPECT_EQ(dialog.findChildren<QPushButton*>("browse").size(), 2);
}

TEST_F(DialogWidgetTest, MidiControlNewTriggerKeptByOk) {
  MidiControlDialogWidget dialog(nullptr);
  dialog.show();
  auto* box = dialog.findChild<QDialogButtonBox*>();
  for (QAbstractButton* b : box->buttons())
    if (b->text() == "New Trigger") b->click();
  ASSERT_EQ(dialog.TriggerList()->count(), 1);
  dialog.DetailList(ControlList::Value)->setCurrentRow(60);
  EXPECT_EQ(dialog.TriggerList()->item(0)->text(), "Note 60 On, any velocity, will trigger Transport Play");
  QListWidget* feedback = dialog.DetailList(ControlList::Feedback);
  EXPECT_TRUE(feedback->isEnabled() && feedback->currentItem()->text() == "On");
  feedback->setCurrentRow(0);
  EXPECT_TRUE(Press(&dialog, true));
  ASSERT_EQ(Triggers().Count(TriggerType::NoteOn), 1);
  EXPECT_EQ(Triggers().Get(TriggerType::NoteOn, 0).data1.low, 60);
  EXPECT_FALSE(Triggers().Get(TriggerType::NoteOn, 0).feedback);
}

TEST_F(DialogWidgetTest, DeviceDialogWithoutDriversEndsAtOnceAndRescanLooksAgain) {
  DeviceDialogWidget dialog(nullptr, nullptr);
  EXPECT_FALSE(dialog.Opened());  // no audio layer in this test: no driver
  EXPECT_EQ(dialog.Drivers()->count(), 0);
  EXPECT_TRUE(this->dialog.Saw("Portaudio found no sound card drivers.", "Error"));
  QPushButton* rescan = nullptr;
  for (QAbstractButton* b : dialog.findChild<QDialogButtonBox*>()->buttons())
    if (b->text() == "Rescan") rescan = qobject_cast<QPushButton*>(b);
  ASSERT_NE(rescan, nullptr);
  rescan->click();
  EXPECT_EQ(this->dialog.shown.size(), 2u);  // still none, told again
}

}  // namespace
