// Metronome: choices act at once, Cancel puts back all but the volumes, OK loads the two
// sounds (refusing paths that cannot be used) and stores them relative to the
// configuration directory.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/app_fixture.h"
#include "app/metronome_dialog.h"
#include "app/preferences.h"

namespace {

using MetronomeDialogTest = AppTest;

TEST_F(MetronomeDialogTest, CancelRestoresTheNotesButKeepsTheVolumes) {
  MidiSendSettings& m = App_Preferences().midi;
  m.metronome_midi_port = 3;  // not open
  MetronomeDialog d = MetronomeDialog_Open();
  EXPECT_EQ(d.beatPath, dir + "/beat.wav");
  ASSERT_EQ(d.ports.size(), 1u);
  EXPECT_EQ(d.port, -1);
  MetronomeDialog_SetSendNotes(&d, true);
  MetronomeDialog_SetBeatNote(&d, 70);
  MetronomeDialog_SetBeatVolume(&d, 90);
  MetronomeDialog_SetChannel(&d, 9);
  MetronomeDialog_ChoosePort(&d, 0);
  EXPECT_EQ(m.metronome_midi_beat_note, 70);
  EXPECT_EQ(m.metronome_midi_port, 0);
  EXPECT_EQ(m.metronome_midi_enable, 1);

  MetronomeDialog_Cancel(&d);
  EXPECT_EQ(m.metronome_midi_beat_note, 64);
  EXPECT_EQ(m.metronome_midi_channel, 0);
  EXPECT_EQ(m.metronome_midi_port, 3);
  EXPECT_EQ(m.metronome_midi_enable, 0);
  EXPECT_EQ(m.metronome_midi_beat_volume, 90);
}

TEST_F(MetronomeDialogTest, OkLoadsTheSoundsOrStaysOpen) {
  Preferences& p = App_Preferences();
  MetronomeDialog d = MetronomeDialog_Open();
  d.beatPath = std::string(260, 'b');
  EXPECT_FALSE(MetronomeDialog_Ok(&d));
  EXPECT_TRUE(dialog.Saw("Beat .wav File Path too long", "Error"));
  EXPECT_EQ(d.beatPath, "");

  d.accentPath = dir + "/missing.wav";
  EXPECT_FALSE(MetronomeDialog_Ok(&d));  // the empty beat path is skipped
  EXPECT_TRUE(dialog.Saw("Unable to load accent .wav file", "Error"));
  EXPECT_EQ(p.metronome_accent, "accent.wav");

  std::filesystem::create_directory(dir + "/clicks");
  d.beatPath = MakeWav("clicks/tick.wav", 400, 8000);
  d.accentPath = MakeWav("tock.wav", 400, 16000);
  MetronomeDialog_SetSendNotes(&d, true);
  EXPECT_TRUE(MetronomeDialog_Ok(&d));
  EXPECT_EQ(p.metronome_beat, "clicks/tick.wav");
  EXPECT_EQ(p.metronome_accent, "tock.wav");
  EXPECT_EQ(p.midi.metronome_midi_enable, 1);
  EXPECT_TRUE(std::filesystem::exists(dir + "/Preferences.xml"));
}

}  // namespace
