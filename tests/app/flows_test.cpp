// The user-level flows around the transport, the panel fields, the popup menu, loop
// files, the beat lights, the mix writer, help.txt and start-up.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/app_fixture.h"
#include "app/dialogs/latency_dialog.h"
#include "app/file_commands.h"
#include "app/loopedit/loop_edit_model.h"
#include "app/panel_view.h"
#include "app/settings/preferences.h"
#include "app/window_support.h"
#include "app/startup.h"
#include "audio_io/wav_bytes.h"
#include "control/midi_output.h"
#include "control/midi_ports.h"
#include "engine/metronome.h"
#include "persist/config_directory.h"

// Start only when the tracks start from the top, Continue when they resume from a pause
// point, nothing when they were moving already or do not move at all.
TEST_F(AppTest, TransportCommandsSendMidiSyncInTheirOrder) {
  App_Preferences().midi.send_midi_sync = 1;
  App_Preferences().play_after_setloop = 1;
  const int out = 1;  // "Clock", the first output
  const struct { Command command; TransportState after; uint32_t sent; /* 0: nothing */ } steps[] = {
      {Command::TransportRecord, Recording, 0xFA}, {Command::TransportStop, Stopped, 0xFC},
      {Command::TransportPlay, Playing, 0xFA},     {Command::TransportPause, Paused, 0xFC},
      {Command::TransportPlay, Playing, 0xFB},  // Continue from the pause point
      {Command::TransportPlay, Playing, 0},      // already playing
      {Command::TransportRecord, Recording, 0},  // already moving: no Start
      {Command::TransportRecord, Playing, 0},    // ends the take
      {Command::TransportInsert, InsertWaiting, 0},
      {Command::TransportPlay, Playing, 0},  // the tracks played on while waiting to insert
      {Command::TransportPause, Paused, 0xFC},
      {Command::TransportRecord, Recording, 0xFB},  // records on from the pause point
      {Command::TransportPause, Paused, 0xFC},
      {Command::TransportInsert, InsertWaiting, 0xFB},
      {Command::TransportPause, Paused, 0xFC},
      {Command::TransportSetLoop, Playing, 0xFB},  // plays on after the cut
      {Command::ToggleStopRecord, Stopped, 0xFC},
      {Command::TransportInsert, InsertWaiting, 0xFA},
      {Command::TransportStop, Stopped, 0xFC},
      {Command::TransportPause, Paused, 0xFC},
      {Command::TransportPlay, Playing, 0xFA},  // paused where the stop had rewound them
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(CommandId(s.command));
    const size_t before = midi.Written(out).size();
    Do(s.command);
    EXPECT_EQ(Audio_GetTransportState(), s.after);
    ASSERT_TRUE(MidiOutput_Flush());  // the writer thread sends them
    const std::vector<uint32_t> all = midi.Written(out);
    EXPECT_EQ(std::vector<uint32_t>(all.begin() + static_cast<long>(before), all.end()),
              s.sent ? std::vector<uint32_t>{s.sent} : std::vector<uint32_t>{});
  }

  // A Record the engine refuses (the strip is not active) moves nothing and sends nothing.
  Do(Command::TransportStop);
  track(slot(0)).active = 0;
  ASSERT_TRUE(MidiOutput_Flush());
  const size_t sent = midi.Written(out).size();
  Do(Command::TransportRecord);
  EXPECT_EQ(Audio_GetTransportState(), Stopped);
  ASSERT_TRUE(MidiOutput_Flush());
  EXPECT_EQ(midi.Written(out).size(), sent);
}

TEST_F(AppTest, RecordAndPlayApplyTheMetronomeFields) {
  App_EditField(&app(), PanelField::Countoff, "1");
  App_EditField(&app(), PanelField::MuteAfter, "two");
  App_FocusPanel(&app());
  app().loopTime.tempo = 90.0;
  Do(Command::TransportRecord);
  EXPECT_EQ(Audio_GetMetronomeCountoff(), 1);
  EXPECT_EQ(app().fields[PanelField::MuteAfter], "0");  // rewritten
  EXPECT_EQ(Audio_GetFramesPerBeat(), 32000);  // 60 / 90 s at 48 kHz
}

TEST_F(AppTest, EnterAndTabCommitThePanelFields) {
  App_EditField(&app(), TrackNameField(2), "Kick");
  Type("r");  // typed into the field, not a command
  EXPECT_EQ(ControlCommands().Size(), 0u);
  App_KeyDown(&app(), Key::Tab);
  EXPECT_EQ(strip(2).name, "Kick");
  EXPECT_TRUE(app().session.dirty);
  EXPECT_EQ(app().focus, PanelField::None);

  App_EditField(&app(), TrackNameField(2), "drums/kick");
  App_KeyDown(&app(), Key::Enter);
  EXPECT_EQ(strip(2).name, "Track 3");

  app().loopTime.mode = LoopTimeSeconds;
  App_EditField(&app(), PanelField::Seconds, "2");
  App_KeyDown(&app(), Key::Enter);
  EXPECT_EQ(Audio_GetLoopLength(slot(0)), 96000);  // the current, empty strip takes it

  // Each delay box sets its own channel (while the channels are not linked).
  EffectsPanel_SetDelayLink(&app().effects, false);
  const int left = app().effects.delayMilliseconds[0];
  App_EditField(&app(), PanelField::DelayRight, "321");
  App_KeyDown(&app(), Key::Enter);
  EXPECT_EQ(app().effects.delayMilliseconds[1], 321);
  EXPECT_EQ(app().effects.delayMilliseconds[0], left);
}

TEST_F(AppTest, PopupMenuOnATrackNumberActsOnThatTrack) {
  EXPECT_EQ(Panel_Button(1280).parameter, 3u);  // the "Max Time" button carries its mode
  EXPECT_EQ(App_PopupMenu(&app(), -1)[1].text, "Load Loop...");
  const std::vector<MenuEntry> menu = App_PopupMenu(&app(), 4);
  ASSERT_EQ(menu[2].text, "Save Track 5 Loop...");
  track(slot(4)).pBuffer.load()[0] = 0.5f;
  files.answers = {dir + "/five.wav"};
  App_PopupChoose(&app(), menu[2]);
  App_WaitForSaves(&app());
  EXPECT_EQ(files.titles, std::vector<std::string>{"Save Track 5 As:"});
  EXPECT_EQ(strip(4).name, "five");
  EXPECT_EQ(app().pendingTrack, 0);
  EXPECT_TRUE(std::filesystem::exists(dir + "/five.wav"));
  App_PopupChoose(&app(), menu[0]);
  EXPECT_FALSE(window.titleBar);
  EXPECT_EQ(App_PopupMenu(&app(), -1)[0].text, "Show Title Bar");
}

TEST_F(AppTest, APopupClosedWithoutAChoiceLeavesNoTrackPending) {
  App_PopupMenu(&app(), 2);  // over track 3's number, then Escape
  App_PopupDismissed(&app());
  EXPECT_EQ(app().pendingTrack, 0);
  dialogs.selectTrack = -1;  // Load Loop asks which track; Cancel ends it
  Do(Command::LoadLoop);
  EXPECT_TRUE(files.titles.empty());
  dialogs.selectTrack = 5;
  Do(Command::LoadLoop);
  EXPECT_EQ(files.titles, std::vector<std::string>{"Load Track 6:"});
}

// The key list is one key away, from the panel or a field being edited, and an entry of
// the popup menu as well as of the Help menu.
TEST_F(AppTest, F1ShowsTheKeyListFromAnywhere) {
  std::ofstream(DataDirectory_File("help.txt"), std::ios::binary) << "space\tplay or stop\nr\trecord\n";
  App_FieldFocused(&app(), PanelField::Tempo);
  App_KeyDown(&app(), Key::F1);
  Drain();
  EXPECT_EQ(dialogs.help, (std::vector<std::string>{"spaceplay or stop", "rrecord"}));
  EXPECT_EQ(app().focus, PanelField::Tempo);  // the field keeps its edit

  dialogs.help.clear();
  const std::vector<MenuEntry> menu = App_PopupMenu(&app(), -1);
  const auto help = std::find_if(menu.begin(), menu.end(), [](const MenuEntry& e) {
    return e.text == "Keyboard Shortcuts...\tF1";
  });
  ASSERT_NE(help, menu.end());
  App_PopupChoose(&app(), *help);
  EXPECT_EQ(dialogs.help.size(), 2u);
}

// With the menu bar hidden, every entry of the menu bar is in the popup menu.
TEST_F(AppTest, ThePopupMenuReachesEveryMenuCommand) {
  std::set<int> popup;
  for (const MenuEntry& e : App_PopupMenu(&app(), -1)) popup.insert(e.command);
  for (Command c : {Command::SaveSessionAs, Command::SaveQuicksave01, Command::SaveQuicksave08,
                    Command::LoadQuicksave01, Command::LoadQuicksave08, Command::HelpDialog})
    EXPECT_TRUE(popup.count(CommandId(c))) << CommandId(c);
}

// "s" and "v" switch the global half speed and reverse; the Slow and Reverse lights show
// those switches even while the current track does not follow them.
TEST_F(AppTest, SlowAndReverseLightsShowTheGlobalSwitches) {
  ASSERT_FALSE(strip(0).slow);
  Type("s");
  Drain();
  EXPECT_TRUE(App_Panel(&app()).slow);
  EXPECT_EQ(Audio_GetTrackRate(slot(0)), 1.0);  // the strip's own switch is off
  Type("v");
  Drain();
  EXPECT_TRUE(App_Panel(&app()).reverse);
  Type("sv");
  Drain();
  EXPECT_FALSE(App_Panel(&app()).slow);
  EXPECT_FALSE(App_Panel(&app()).reverse);
}

// A refused number says what is accepted, and the tempo field shows the tempo in force.
TEST_F(AppTest, RefusedNumbersSayWhatIsAccepted) {
  App_FieldFocused(&app(), PanelField::Tempo);
  App_EditField(&app(), PanelField::Tempo, "500");
  App_KeyDown(&app(), Key::Enter);
  EXPECT_TRUE(dialog.Saw("Tempo is out of range.\nUse 20 to 300 BPM.", "Tempo Out of Range"));
  EXPECT_EQ(App_Field(&app(), PanelField::Tempo), "120");
  EXPECT_DOUBLE_EQ(app().loopTime.tempo, 120.0);

  LatencyDialog latency = LatencyDialog_Open();
  latency.milliseconds = "abc";
  EXPECT_FALSE(LatencyDialog_Ok(&latency));
  EXPECT_TRUE(dialog.Saw("Latency is not a number.\nEnter a time in milliseconds, from 0.1 to 1000.", "Error"));
  EXPECT_FALSE(dialog.Saw("Latency too short", "Error"));
}

TEST_F(AppTest, LoadingALoopAsksForTheTrackAndDroppedFilesMayBeLocated) {
  const std::string wav = MakeWav("bass.wav", 960, 16384);
  dialogs.selectTrack = 2;
  files.answers = {wav};
  Do(Command::LoadLoop);
  EXPECT_EQ(files.titles.back(), "Load Track 3:");
  EXPECT_EQ(strip(2).name, "bass");
  EXPECT_FALSE(strip(2).empty || strip(2).mute);

  // A dropped file that is not there: an empty track gives up, a used one asks.
  files.titles.clear();
  Drop(5, {dir + "/gone.wav"});
  EXPECT_TRUE(files.titles.empty());
  strip(6).empty = false;
  files.answers = {wav};
  Drop(6, {dir + "/gone.wav"});
  EXPECT_EQ(files.titles, std::vector<std::string>{"Please locate file gone.wav"});
  EXPECT_EQ(Audio_GetLoopLength(slot(6)), 960);
  EXPECT_FALSE(strip(6).mute);

  // A dropped file that is there but refused is neither located nor refused twice.
  files.titles.clear();
  ASSERT_TRUE(WriteBytes(dir + "/broken.wav", std::vector<uint8_t>(20, 'R')));
  dialog.shown.clear();
  Drop(6, {dir + "/broken.wav"});
  EXPECT_TRUE(files.titles.empty());
  EXPECT_EQ(dialog.shown.size(), 1u);
}

TEST_F(AppTest, StereoRecordSwitchRecreatesTheCurrentLoop) {
  Preferences_ApplyStereoRecord(0);
  EXPECT_EQ(Audio_GetTrackChannels(slot(0)), 1);
  EXPECT_EQ(Audio_GetLoopLength(slot(0)), 192000);
  EXPECT_EQ(Audio_GetTrackChannels(slot(1)), 2);
  EXPECT_EQ(track(slot(0)).record, 1u);
}

TEST(HelpText, LinesFollowTheListRules) {
  const std::string path = std::filesystem::temp_directory_path() / "kestrine_help_test.txt";
  const struct { std::string text; std::vector<std::string> lines; } cases[] = {
      {"a\tb\nc\n", {"ab", "c"}}, {"one\n\n\ntwo", {"one", "", "", "two"}}, {"cut\xffhere\nnext\n", {"cut", "next"}},
      {"text\nCopyright 2026\nafter\n", {"text", "Copyright 2026"}}, {"no end line", {"no end line"}},
      {std::string(kHelpLineLimit + 50, 'x') + "\n", {std::string(kHelpLineLimit, 'x')}},
  };
  for (const auto& c : cases) {
    std::ofstream(path, std::ios::binary) << c.text;
    std::vector<std::string> lines;
    ASSERT_TRUE(Help_ReadLines(path, &lines)) << c.text;
    EXPECT_EQ(lines, c.lines) << c.text;
  }
  std::ofstream(path, std::ios::binary) << "";
  std::vector<std::string> lines;
  EXPECT_FALSE(Help_ReadLines(path, &lines));
  std::filesystem::remove(path);
  EXPECT_FALSE(Help_ReadLines(path, &lines));
}

// Start-up through the real audio layer, with an in-memory MIDI port.
TEST(AppStartup, StartsWithoutAUsableDeviceOrPreferencesAndLoadsTheClickSounds) {
  char pattern[] = "/tmp/kestrine_start_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  WavLayout click;
  click.channels = 1;
  click.samples.assign(300, 10000);
  for (const char* name : {"/accent.wav", "/beat.wav"}) ASSERT_TRUE(WriteBytes(dir + name, WavBytes(click)));
  // A configured device that is nowhere (not a first start, which looks for a device itself).
  const std::string deviceConfig =
      "<device_configuration><driver_type>12</driver_type><input_device_name>gone</input_device_name>"
      "<output_device_name>gone</output_device_name></device_configuration>\n";
  ASSERT_TRUE(WriteBytes(dir + "/DeviceConfig.xml", std::vector<uint8_t>(deviceConfig.begin(), deviceConfig.end())));
  RecordingWindow window;
  RecordingSessions sessions;
  // The device message comes over the panel as the default session left it, drawn.
  struct AtTheMessage : ScriptedDialog {
    int Show(void* owner, const std::string& text, const std::string& caption, int kind, const std::string& box,
             MessageCheckAction action) override {
      if (caption == "Select an Audio Device") refreshes = window->refreshes, sessionCalls = sessions->calls;
      return ScriptedDialog::Show(owner, text, caption, kind, box, action);
    }
    RecordingWindow* window;
    RecordingSessions* sessions;
    int refreshes = -1;
    std::vector<std::string> sessionCalls;
  } dialog;
  dialog.window = &window, dialog.sessions = &sessions;
  MemoryMidiBackend midi;
  MidiPorts_UseBackend(&midi);
  Preferences_ResetDefaults();
  AppSeams seams{};
  seams.window = &window, seams.sessions = &sessions;

  App app;
  ASSERT_TRUE(App_Start(&app, dir, seams));
  EXPECT_EQ(ConfigDirectory, dir);
  EXPECT_EQ(Audio_GetEngine()->accentSample.length, 300);
  EXPECT_EQ(Audio_GetEngine()->beatSample.length, 300);
  EXPECT_TRUE(dialog.Saw("Please go to Options->Select Audio Devices\nand choose an audio device.",
                         "Select an Audio Device"));
  EXPECT_EQ(dialog.sessionCalls, std::vector<std::string>{"LoadDefault"});
  EXPECT_GT(dialog.refreshes, 0);
  EXPECT_EQ(sessions.calls, std::vector<std::string>{"LoadDefault"});
  EXPECT_EQ(window.title, "Kestrine 1.73 - [Untitled]");
  EXPECT_NE(App_LoopEditView(&app), nullptr);  // the program's own loop edit view
  App_Shutdown(&app);
  EXPECT_EQ(Audio_GetEngine(), nullptr);
  EXPECT_EQ(ReadByteVector(dir + "/DeviceConfig.xml"), std::vector<uint8_t>(deviceConfig.begin(), deviceConfig.end()))
      << "a configuration that did not open is kept as it was";

  // Run from the test's directory, so that the configuration files found there are its own.
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  App second;
  ASSERT_TRUE(App_Start(&second, std::string(300, 'd'), seams));
  EXPECT_TRUE(dialog.Saw("Current directory path too long", "Error"));
  EXPECT_EQ(ConfigDirectory, ".");  // the current directory, never the root
  App_Shutdown(&second);
  std::filesystem::current_path(here);
  MidiPorts_UseBackend(nullptr);
  std::filesystem::remove_all(dir);
}

TEST_F(AppTest, SlidersSetTheirPositionsExactly) {
  App_Slider(&app(), Slider::TrackVolume, 0, 1);  // a position a 16-bit value could miss
  EXPECT_EQ(strip(0).volume, 1);
  EXPECT_DOUBLE_EQ(track(slot(0)).volume, 1 / 127.0);
  App_Slider(&app(), Slider::TrackPan, 2, 0);
  EXPECT_EQ(track(slot(2)).rightGain, 0.0);
  App_Slider(&app(), Slider::Crossfade, 0, 127);
  EXPECT_EQ(engine()->submixVolume[1], 0.0);
  App_Slider(&app(), Slider::RecordFeedback, 0, 200);  // clamped
  EXPECT_EQ(app().tracks.feedback, 127);
}
