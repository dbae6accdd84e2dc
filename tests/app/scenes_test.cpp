// End-to-end scenes through the application's entry points, with the stream callback
// fed synthetic input.
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/app_fixture.h"
#include "app/panel_view.h"
#include "app/settings/preferences.h"
#include "app/startup.h"
#include "control/fire_action.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"
#include "engine/metronome.h"

namespace {
auto Constant(float v) {
  return [v](long, int) { return v; };
}
}  // namespace

TEST_F(AppTest, StripsStartWithTrackOneAudibleAndAllEmptyAndNamesFollowTheRules) {
  for (int i = 0; i < kStripCount; ++i)  // 4 s each
    EXPECT_TRUE(strip(i).empty && track(slot(i)).volume == (i == 0) && Audio_GetLoopLength(slot(i)) == 192000) << i;
  EXPECT_EQ(track(slot(0)).record, 1u);
  EXPECT_EQ(App_Panel(&app()).halfText, "2.00");

  LoopStrip_SetName(&app().tracks, StripIndex{8}, "Nine");
  EXPECT_TRUE(dialog.Saw("Invalid loop track", "Error"));
  // One extension goes (a last dot followed by no space); what a file name or the session
  // file could not carry is cleaned; long names are cut on a character boundary.
  const std::pair<std::string, std::string> names[] = {
      {"Take 2.wav", "Take 2"}, {"v1. intro", "v1. intro"}, {"drums.v2.final", "drums.v2"},
      {"a\x01" "b\x7f.wav", "ab\x7f"}, {"\t", ""}, {"line\nbreak", "line break"},
      {"\xe9t\xe9.wav", "\xc3\xa9t\xc3\xa9"}, {std::string(300, 'n') + ".wav", std::string(240, 'n')},
      {"n" + std::string(150, '\xe9'), "n" + [] { std::string s; for (int i = 0; i < 119; ++i) s += "\xc3\xa9"; return s; }()}};
  for (const auto& [given, kept] : names) {
    LoopStrip_SetName(&app().tracks, StripIndex{1}, given);
    EXPECT_EQ(strip(1).name, kept) << given;
    EXPECT_EQ(app().tracks.nameFields[1], kept);
  }
  // Taking the name fields again cuts nothing more.
  for (int i = 0; i < 3; ++i) {
    App_EditField(&app(), TrackNameField(1), i == 0 ? "a..b.c" : strip(1).name);
    App_KeyDown(&app(), Key::Enter);
  }
  EXPECT_EQ(strip(1).name, "a..b");
}

TEST_F(AppTest, MidiNoteRecordsATakeThatUndoRemoves) {
  Trigger t = Trigger_Make(TriggerType::NoteOn);
  t.action.commandId = CommandId(Command::TransportRecord);
  t.data1.SetInput(60, ValueRange::kSingle);
  Triggers().Add(TriggerType::NoteOn, t);
  RecomputeEnabledInputs();
  auto note = [&] {
    midi.Inject(midiIn, MidiMessage(0x90, 60, 100));
    App_Timer2(&app());
  };
  note();
  ASSERT_EQ(Audio_GetTransportState(), Recording);
  Run(4800, 256, Constant(0.5f));
  note();
  EXPECT_EQ(Audio_GetTransportState(), Playing);
  EXPECT_NEAR(LoopPeak(0), 0.5f, 1e-6);
  EXPECT_FALSE(strip(0).empty);
  strip(0).directory = "/loops";  // where the track's file lives: undo on a loop that stays keeps it
  Do(Command::TransportUndo);
  EXPECT_EQ(LoopPeak(0), 0.0f);
  EXPECT_EQ(App_Panel(&app()).undoLabel, "Press to redo track 1 Record");
  EXPECT_EQ(strip(0).directory, "/loops");
}

// With inputs that can wake the drain, timer 2 stays off: a note wakes the drain, which
// reads it and fires the pad. A layer that cannot wake anyone brings the timer back.
TEST_F(AppTest, AMidiNoteWakesTheDrainThatFiresItWhileTimer2StaysOff) {
  static std::atomic<int> wakes;
  wakes = 0;
  ControlCommands().SetNotify([](void*) { wakes.fetch_add(1); }, nullptr);
  Trigger t = Trigger_Make(TriggerType::NoteOn);
  t.action.commandId = CommandId(Command::TransportRecord);
  t.data1.SetInput(60, ValueRange::kSingle);
  Triggers().Add(TriggerType::NoteOn, t);
  RecomputeEnabledInputs();
  EXPECT_FALSE(App_Timer2Wanted(&app()));

  midi.Inject(midiIn, MidiMessage(0x90, 60, 100));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (wakes == 0 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(wakes, 1) << "the note did not wake the drain";
  App_DrainCommands(&app());
  EXPECT_EQ(Audio_GetTransportState(), Recording);
  EXPECT_EQ(midi.PendingInput(midiIn), 0);

  // A ring that found no drain to wake is read at the next refresh tick.
  ControlCommands().SetNotify(nullptr, nullptr);
  Run(4800, 256, Constant(0.5f));
  midi.Inject(midiIn, MidiMessage(0x90, 60, 100));
  const auto again = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (MidiPorts_InputWakes() < 2 && std::chrono::steady_clock::now() < again)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  App_Timer1(&app());
  EXPECT_EQ(Audio_GetTransportState(), Playing);

  midi.OfferWakeDescriptors(false);  // as JACK MIDI: the layer cannot wake the drain
  RecomputeEnabledInputs();
  EXPECT_TRUE(App_Timer2Wanted(&app()));
}

// Takes pile up as levels: the panel names the newest and counts the rest, Undo steps
// back through them, and the Redo button and keys bring them back.
TEST_F(AppTest, UndoAndRedoWalkTheTakesWithTheDepthBesideTheLabel) {
  const float takes[] = {0.25f, 0.5f, 0.75f};
  for (float level : takes) {
    Do(Command::TransportRecord);
    Run(4800, 256, Constant(level));
    Do(Command::TransportPlay);
  }
  EXPECT_NEAR(LoopPeak(0), 0.75f, 1e-6);
  EXPECT_EQ(App_Panel(&app()).undoLabel, "Press to undo track 1 Record");
  EXPECT_EQ(App_Panel(&app()).undoDepth, "2 more");
  EXPECT_EQ(app().undoDepth, 3);

  Do(Command::TransportUndo);
  EXPECT_NEAR(LoopPeak(0), 0.5f, 1e-6);
  EXPECT_EQ(App_Panel(&app()).undoDepth, "1 more, 1 to redo");
  App_KeyDown(&app(), Key::Control);
  App_KeyDown(&app(), Key::Z);  // Ctrl+Z: undo
  Drain();
  EXPECT_NEAR(LoopPeak(0), 0.25f, 1e-6);
  App_KeyDown(&app(), Key::Y);  // Ctrl+Y: redo
  Drain();
  EXPECT_NEAR(LoopPeak(0), 0.5f, 1e-6);
  App_KeyDown(&app(), Key::Shift);
  App_KeyDown(&app(), Key::Z);  // Ctrl+Shift+Z: redo
  Drain();
  App_KeyUp(&app(), Key::Shift);
  App_KeyUp(&app(), Key::Control);
  EXPECT_NEAR(LoopPeak(0), 0.75f, 1e-6);
  EXPECT_EQ(App_Panel(&app()).undoDepth, "2 more");

  const PanelCommand redo = Panel_Button(1292);
  EXPECT_EQ(redo.command, CommandId(Command::TransportRedo));
  Do(Command::TransportUndo);
  Do(ToCommand(static_cast<uint32_t>(redo.command)));
  EXPECT_NEAR(LoopPeak(0), 0.75f, 1e-6);
}

TEST_F(AppTest, PostedCommandsWithTrackNineActOnTheCurrentTrack) {
  Type("3");
  ControlCommands().Post({CommandId(Command::TrackVolume), 32768, 9});
  ControlCommands().Post({CommandId(Command::TransportRecord), 0, 9});
  Drain();
  EXPECT_EQ(strip(2).volume, 63);
  Run(1024, 256, Constant(0.5f));
  ControlCommands().Post({CommandId(Command::TransportStop), 0, 9});
  Drain();
  EXPECT_NEAR(LoopPeak(2), 0.5f, 1e-6);
  EXPECT_EQ(LoopPeak(0), 0.0f);
  EXPECT_FALSE(strip(2).mute);  // recording into an empty strip unmutes it
}

TEST_F(AppTest, WhileAFileDialogIsOpenGuardedCommandsAreDroppedAndMixerCommandsAct) {
  files.during = [&] {
    ControlCommands().Post({CommandId(Command::SaveQuicksave01), 0, 0});
    ControlCommands().Post({CommandId(Command::TrackVolume), 0, 1});
    Drain();
  };
  Do(Command::OpenSession);
  EXPECT_EQ(files.titles, std::vector<std::string>{"Load Session:"});
  EXPECT_TRUE(sessions.calls.empty());
  EXPECT_EQ(strip(1).volume, 0);
  Do(Command::SaveQuicksave01);  // once the dialog is closed the same command runs
  EXPECT_EQ(sessions.calls, std::vector<std::string>{"Quicksave Quicksave01"});
}

TEST_F(AppTest, DroppedFilesFillConsecutiveTracksAndStopAfterTrackEight) {
  Drop(6, {dir + "/live.session", dir + "/notes.txt", MakeWav("alpha.wav", 4800, 8192),
                       MakeWav("beta.WAV", 2400, 16384), MakeWav("gamma.wav", 1200, 4096)});
  EXPECT_EQ(strip(6).name + " " + strip(7).name, "alpha beta");
  EXPECT_EQ(Audio_GetLoopLength(slot(7)), 2400);
  EXPECT_NEAR(LoopPeak(6), 0.25f, 1e-4);
  EXPECT_FALSE(strip(6).mute);
  EXPECT_EQ(strip(6).directory, dir);
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(strip(i).empty);
  EXPECT_EQ(sessions.calls, std::vector<std::string>{"Load " + dir + "/live"});
  EXPECT_EQ(app().session.name, "live");
}

// Loops from other programs are dropped like WAV files.
TEST_F(AppTest, DroppedFlacAndAiffFilesLoadIntoTracks) {
  std::vector<float> samples(2 * 960, 0.5f);
  for (const char* name : {"take.flac", "pad.aiff"}) {
    SF_INFO info{};
    info.channels = 2, info.samplerate = 48000;
    info.format = std::string(name).ends_with(".flac") ? SF_FORMAT_FLAC | SF_FORMAT_PCM_24 : SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open((dir + "/" + name).c_str(), SFM_WRITE, &info);
    ASSERT_TRUE(f);
    sf_writef_float(f, samples.data(), 960);
    sf_close(f);
  }
  Drop(0, {dir + "/take.flac", dir + "/pad.aiff"});
  EXPECT_EQ(strip(0).name + " " + strip(1).name, "take pad");
  EXPECT_TRUE(Audio_GetLoopLength(slot(0)) == 960 && Audio_GetLoopLength(slot(1)) == 960);
  EXPECT_NEAR(LoopPeak(0), 0.5f, 1e-6);
}

// The title marks unsaved changes until a save succeeds; closing then asks, and the
// answer's check box silences the question for good.
TEST_F(AppTest, UnsavedChangesMarkTheTitleAndAreAskedAboutOnClosing) {
  EXPECT_TRUE(App_Close(&app()));  // nothing unsaved
  Do(Command::TransportRecord);
  Do(Command::TransportStop);
  EXPECT_EQ(window.title, "Kestrine 1.73 - [untitled]*");
  // A session never named is not saved under a made-up name: Save As asks for one.
  Do(Command::SaveSession);
  EXPECT_EQ(files.titles, std::vector<std::string>{"Save Session As:"});
  EXPECT_TRUE(sessions.calls.empty());
  files.answers = {dir + "/Gig.session"};
  Do(Command::SaveSession);
  EXPECT_EQ(sessions.calls.back(), "Save " + dir + "/Gig");
  Do(Command::SaveSession);  // named now: saved where it was
  EXPECT_EQ(sessions.calls, (std::vector<std::string>{"Save " + dir + "/Gig", "Save " + dir + "/Gig"}));
  EXPECT_EQ(window.title, "Kestrine 1.73 - [Gig]");
  App_SetDirty(&app(), true);
  sessions.result = false;
  Do(Command::SaveSession);
  EXPECT_TRUE(app().session.dirty);

  dialog.answers = {IDNO};
  EXPECT_FALSE(App_Close(&app()));
  EXPECT_TRUE(dialog.Saw("Current session has unsaved changes, continue anyway?", "Session Unsaved"));
  dialog.tickCheckBox = true;
  EXPECT_TRUE(App_Close(&app()));
  EXPECT_EQ(App_Preferences().warn_unsaved_loops, 0);
  EXPECT_TRUE(std::filesystem::exists(dir + "/Preferences.xml"));
}

TEST_F(AppTest, MaxTimeFirstLoopIsCutWhereStopIsPressed) {
  Do(Command::LoopTimeMode, 3);
  ASSERT_EQ(app().loopTime.mode, LoopTimeMaxTime);
  EXPECT_EQ(Audio_GetLoopLength(slot(0)), 20 * 48000);
  EXPECT_EQ(App_Panel(&app()).lengthText, "---");
  Do(Command::TransportRecord);
  Run(48000, 256, Constant(0.5f));
  Do(Command::TransportStop);
  EXPECT_EQ(Audio_GetLoopLength(slot(0)), 48000);
  EXPECT_EQ(Audio_GetLoopPosition(slot(0)), 0);
  EXPECT_TRUE(app().loopTime.firstLoopSet);
  EXPECT_EQ(App_Panel(&app()).lengthText, "1.00");
  Type("2");  // the next empty track takes the first loop's length
  EXPECT_EQ(Audio_GetLoopLength(slot(1)), 48000);
  app().fields[PanelField::MaxTime] = "12";  // typed, not yet entered
  Type("3");  // selecting an empty track takes the maximum as typed
  EXPECT_DOUBLE_EQ(app().loopTime.maxManualTime, 12.0);
}

TEST_F(AppTest, EraseFollowsTheLoopTimeMode) {
  const struct { int mode; bool recording, otherStripHoldsALoop, empty; int length; } cases[] = {
      {LoopTimeSeconds, false, false, true, 192000},
      {LoopTimeMeasures, true, false, false, 192000},
      {LoopTimeMaxTime, false, false, true, 20 * 48000},  // re-created at the maximum
      {LoopTimeMaxTime, false, true, true, 192000},       // keeps its length
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    Restart();
    app().loopTime.mode = c.mode;
    app().loopTime.firstLoopSet = true;
    strip(0).empty = false;
    strip(5).empty = !c.otherStripHoldsALoop;
    if (c.recording) Do(Command::TransportRecord);
    Run(256, 256, Constant(0.5f));
    Do(Command::TransportErase);
    EXPECT_EQ(LoopPeak(0), 0.0f);
    EXPECT_EQ(strip(0).empty, c.empty);
    EXPECT_EQ(Audio_GetLoopLength(slot(0)), c.length);
    EXPECT_EQ(Audio_GetTransportState(), c.recording ? Recording : Stopped);
    EXPECT_EQ(app().loopTime.firstLoopSet, c.mode != LoopTimeMaxTime || c.otherStripHoldsALoop);
  }
}
