// Preferences and Metronome: the choices that act at once and what Cancel puts back; OK's
// checks, which refuse it before anything is applied; the file written.
#include "app/dialogs/preferences_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/app_fixture.h"
#include "app/dialogs/metronome_dialog.h"
#include "app/settings/preferences.h"
#include "audio_io/loop_files.h"
#include "engine/audio.h"
#include "support/osc_peer.h"
#include "engine/undo.h"

namespace {

using PreferencesDialogTest = AppTest;

TEST_F(PreferencesDialogTest, LiveControlsAndCancel) {
  PreferencesDialog d = PreferencesDialog_Open();

  PreferencesDialog_MoveSlider(&d, MonitorSlider::Volume, 200);  // clamped
  EXPECT_EQ(PreferencesDialog_SliderLabel(d, MonitorSlider::Volume), "Volume: 100");
  PreferencesDialog_SetMonitor(&d, true);
  PreferencesDialog_SetUseLoopEffectsMix(&d, false);
  PreferencesDialog_SetSendSync(&d, true);
  EXPECT_TRUE(engine()->latentInput == 1 && App_Preferences().midi.send_midi_sync == 1);
  EXPECT_TRUE(PreferencesDialog_EffectsMixEnabled(d));
  d.boxes[0] = true;  // taken only by OK

  PreferencesDialog_Cancel(&d);
  const Preferences& p = App_Preferences();
  EXPECT_TRUE(engine()->latentVolume == 1.0 && p.latent_input_volume == 127 && engine()->latentInput == 0);
  EXPECT_TRUE(p.latent_input_use_loop_effects_mix == 1 && p.midi.send_midi_sync == 0 && p.spacebar_record == 0);
}

TEST_F(PreferencesDialogTest, RefusedOkChangesNothing) {
  const Preferences& p = App_Preferences();
  track(slot(0)).pBuffer.load()[0] = 0.5f;  // something in the recording loop
  const auto unchanged = [&] {
    EXPECT_TRUE(p.delay_max_milliseconds == 640 && p.undo == 1 && p.stereo_record == 1);
    EXPECT_TRUE(p.spacebar_record == 0 && p.quicksave_directory.empty() && p.mixtodisk_directory.empty());
    EXPECT_EQ(Audio_GetTrackChannels(slot(0)), 2);
    EXPECT_EQ(LoopPeak(0), 0.5f);
    EXPECT_FALSE(std::filesystem::exists(dir + "/Preferences.xml"));
    dialog.shown.clear();
  };
  PreferencesDialog d = PreferencesDialog_Open();
  d.undo = false;
  d.stereo = false;
  d.boxes[0] = true;
  for (const char* text : {"199", "5001", "", "many"}) {
    SCOPED_TRACE(text);
    d.delayMax = text;
    EXPECT_FALSE(PreferencesDialog_Ok(&d));
    EXPECT_TRUE(dialog.Saw("Max Delay Time is out of range (200 to 5000).", "Delay Time Out of Range"));
    unchanged();
  }
  d.delayMax = "2000";
  for (const char* text : {"", "-1", "1048577"}) {
    SCOPED_TRACE(text);
    d.undoMemory = text;
    EXPECT_FALSE(PreferencesDialog_Ok(&d));
    EXPECT_TRUE(dialog.Saw("Undo memory is out of range (0 to 1048576 MB).", "Undo Memory Out of Range"));
    unchanged();
  }
  EXPECT_EQ(p.undo_memory_mb, 1024);
  d.undoMemory = "256";

  // A bad folder is refused before the stereo switch would erase the loop.
  d.quicksaveDirectory = dir + "/nowhere";
  EXPECT_FALSE(PreferencesDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Quicksave path does not exist.", "Error"));
  EXPECT_EQ(dialog.shown.size(), 1u);  // not asked to erase
  unchanged();

  d.quicksaveDirectory = dir;
  d.mixToDiskDirectory = std::string(244, 'x');
  EXPECT_FALSE(PreferencesDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Mix to Disk Path too long", "Error"));
  EXPECT_EQ(d.mixToDiskDirectory, "");
  unchanged();

  dialog.answers = {IDCANCEL};
  EXPECT_FALSE(PreferencesDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Changing from Stereo to Mono will erase current recording loop, proceed?", "Erase Loop?"));
  unchanged();

  d.boxes[14] = true;  // "Filter Preceeds Delay in Effects Chain" reaches the engine
  d.boxes[16] = true;  // "Convert Loaded Loops...", and the save format, reach the loop files
  d.loopFileFormat = LOOP_FILE_PCM24;
  EXPECT_EQ(d.seamCrossfadeMs, 5);  // the default
  d.seamCrossfadeMs = 20;
  EXPECT_TRUE(PreferencesDialog_Ok(&d));
  EXPECT_TRUE(p.seam_crossfade_ms == 20 && Audio_GetSeamCrossfade() == 20);
  d.syncSource = 1;  // MIDI clock in, waiting starts on the beat
  d.syncStartOn = 1;
  EXPECT_TRUE(PreferencesDialog_Ok(&d));
  EXPECT_TRUE(p.sync_source == 1 && p.sync_start_on == 1);
  EXPECT_TRUE(Audio_GetLoopFileOptions().convertSampleRate && Audio_GetLoopFileOptions().saveFormat == LOOP_FILE_PCM24);
  EXPECT_TRUE(p.convert_sample_rate == 1 && p.loop_file_format == 1);
  EXPECT_TRUE(p.undo_memory_mb == 256 && Audio_GetUndoMemory() == 256);
  EXPECT_TRUE(p.delay_max_milliseconds == 2000 && p.undo == 0 && p.stereo_record == 0 && p.spacebar_record == 1);
  EXPECT_TRUE(p.quicksave_directory == dir && p.filter_before_delay == 1);
  EXPECT_EQ(Audio_GetTrackChannels(slot(0)), 1);
  EXPECT_TRUE(std::filesystem::exists(dir + "/Preferences.xml"));
}

TEST_F(PreferencesDialogTest, MetronomeCancelRestoresTheNotesButKeepsTheVolumes) {
  MidiSendSettings& m = App_Preferences().midi;
  m.metronome_midi_port = 3;  // not open
  MetronomeDialog d = MetronomeDialog_Open();
  EXPECT_EQ(d.beatPath, dir + "/beat.wav");
  EXPECT_EQ(d.port, -1);
  MetronomeDialog_SetSendNotes(&d, true);
  MetronomeDialog_SetBeatNote(&d, 70);
  MetronomeDialog_SetAccentNote(&d, 71);
  MetronomeDialog_SetBeatVolume(&d, 90);
  MetronomeDialog_SetChannel(&d, 9);
  MetronomeDialog_ChoosePort(&d, 0);
  EXPECT_TRUE(m.metronome_midi_beat_note == 70 && m.metronome_midi_port == 0 && m.metronome_midi_enable == 1);

  MetronomeDialog_Cancel(&d);
  EXPECT_TRUE(m.metronome_midi_beat_note == 64 && m.metronome_midi_accent_note == 63);
  EXPECT_TRUE(m.metronome_midi_channel == 0 && m.metronome_midi_port == 3);
  EXPECT_EQ(m.metronome_midi_enable, 0);
  EXPECT_EQ(m.metronome_midi_beat_volume, 90);  // volumes are kept
}

TEST_F(PreferencesDialogTest, MetronomeOkLoadsTheSoundsOrStaysOpen) {
  const Preferences& p = App_Preferences();
  MetronomeDialog d = MetronomeDialog_Open();
  d.beatPath = std::string(260, 'b');
  EXPECT_FALSE(MetronomeDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Beat .wav File Path too long", "Error"));
  EXPECT_EQ(d.beatPath, "");

  d.accentPath = dir + "/missing.wav";
  EXPECT_FALSE(MetronomeDialog_Ok(&d));  // the empty beat path is skipped
  EXPECT_TRUE(dialog.Saw("Unable to load accent .wav file", "Error"));
  EXPECT_EQ(p.metronome_accent, "accent.wav");  // a failed load keeps the stored path

  std::filesystem::create_directory(dir + "/clicks");
  d.beatPath = MakeWav("clicks/tick.wav", 400, 8000);
  d.accentPath = MakeWav("tock.wav", 400, 16000);
  MetronomeDialog_SetSendNotes(&d, true);
  EXPECT_TRUE(MetronomeDialog_Ok(&d));
  EXPECT_EQ(p.metronome_beat, "clicks/tick.wav");  // relative to the configuration directory
  EXPECT_TRUE(p.metronome_accent == "tock.wav" && p.midi.metronome_midi_enable == 1);
  EXPECT_TRUE(std::filesystem::exists(dir + "/Preferences.xml"));
}

}  // namespace

namespace {

// The feedback output and the OSC port are taken by OK (a port out of range refuses it);
// the application then starts, moves or stops its OSC server.
TEST_F(PreferencesDialogTest, FeedbackOutputAndOscPortAreTakenByOkAndTheServerFollows) {
  const Preferences& p = App_Preferences();
  PreferencesDialog d = PreferencesDialog_Open();
  EXPECT_EQ(PreferencesDialog_FeedbackPortNames(d), (std::vector<std::string>{"None", "Clock"}));
  EXPECT_TRUE(d.feedbackPort == -1 && d.oscPort == "0" && !d.oscAllInterfaces);
  d.feedbackPort = 0;
  d.oscPort = "65536";
  EXPECT_FALSE(PreferencesDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("OSC Port is out of range (0 to 65535, 0 for no OSC control).", "OSC Port Out of Range"));
  EXPECT_EQ(p.midi_feedback_port, -1);

  // Through the menu command, as the window runs the dialog.
  const int free = OscFreePort();
  dialogs.during = [&] {
    PreferencesDialog m = PreferencesDialog_Open();
    m.feedbackPort = 0;
    m.oscPort = std::to_string(free);
    ASSERT_TRUE(PreferencesDialog_Ok(&m));
  };
  Do(Command::PreferencesDialog);
  EXPECT_EQ(p.midi_feedback_port, 0);
  ASSERT_TRUE(app().osc);
  EXPECT_EQ(app().osc->server.Port(), free);
  const OscServer* running = &app().osc->server;
  Do(Command::PreferencesDialog);  // the same again: the server keeps running as it is
  EXPECT_EQ(&app().osc->server, running);

  // A port another program holds: said once, and the program runs on without OSC.
  OscPeer other;
  dialogs.during = [&] {
    PreferencesDialog m = PreferencesDialog_Open();
    m.oscPort = std::to_string(other.Port());
    ASSERT_TRUE(PreferencesDialog_Ok(&m));
  };
  Do(Command::PreferencesDialog);
  EXPECT_FALSE(app().osc);
  EXPECT_TRUE(dialog.Saw("OSC port " + std::to_string(other.Port()) +
                             " is in use by another program.\nKestrine runs without OSC control.",
                         "OSC"));
  dialogs.during = [&] {
    PreferencesDialog m = PreferencesDialog_Open();
    m.oscPort = "0";
    ASSERT_TRUE(PreferencesDialog_Ok(&m));
  };
  Do(Command::PreferencesDialog);
  EXPECT_FALSE(app().osc);
  EXPECT_EQ(p.osc_port, 0);
}

}  // namespace
