// Sessions: a whole session through save and load into a fresh program, the files
// written beside it, the reading rules, files that are missing, damaged or lying;
// quicksaves, the default session and the in-progress save.

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <filesystem>
#include <functional>

#include "app/app_fixture.h"
#include "app/file_commands.h"
#include "app/saves.h"
#include "app/startup.h"
#include "app/session/session_file.h"
#include "app/session/session_loops.h"
#include "app/session/session_store.h"
#include "app/settings/preferences.h"
#include "audio_io/wav_bytes.h"
#include "control/trigger_set.h"
#include "engine/effects_ops.h"
#include "engine/loop_ops.h"
#include "engine/metronome.h"
#include "engine/transport.h"
#include "persist/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// The application fixture with the program's own session store and a recording progress
// window; Restart() brings up a new engine and application, as a new run of the program.
class SessionTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    ProgressDialog_Install(&progress);
    store = std::make_unique<AppSessionStore>(App_SessionParts(app_.get()));
  }
  void TearDown() override { ProgressDialog_Install(nullptr), AppTest::TearDown(); }
  void Restart() { AppTest::Restart(), store = std::make_unique<AppSessionStore>(App_SessionParts(app_.get())); }

  static float Sample(int track, int n) {
    return static_cast<float>((n * (track + 3) + track * 977) % 2001 - 1000) / 2000.0f;
  }
  // Gives strip `i` a recorded loop of `seconds` holding Sample(i, n), named `name`.
  void FillTrack(int i, double seconds, const std::string& name = {}, int channels = 2) {
    ASSERT_TRUE(LoopStrip_Recreate(&app_->tracks, StripIndex{i}, seconds, false, channels));
    LoopTrack& t = track(slot(i));
    for (int n = 0; n < t.length * channels; ++n) t.pBuffer.load()[n] = Sample(i, n);
    strip(i).empty = false;
    if (!name.empty()) app_->tracks.nameFields[i] = name;
  }
  // Strip `i` holds what FillTrack put there, within 16-bit quantisation.
  void ExpectAudio(int i, double seconds, int channels = 2) {
    const LoopTrack& t = track(slot(i));
    ASSERT_EQ(t.length, static_cast<int32_t>(seconds * 48000.0)) << "track " << i + 1;
    ASSERT_EQ(static_cast<int>(t.numChannels), channels) << "track " << i + 1;
    int wrong = 0;
    for (int n = 0; n < t.length * channels; ++n) wrong += std::fabs(t.pBuffer.load()[n] - Sample(i, n)) > 1.0f / 16384;
    EXPECT_EQ(wrong, 0) << "track " << i + 1;
  }
  std::string Path(const std::string& relative) const { return dir + "/" + relative; }
  bool Exists(const std::string& relative) const { return fs::exists(Path(relative)); }

  RecordingProgress progress;
  std::unique_ptr<AppSessionStore> store;
};

TEST_F(SessionTest, WholeSessionComesBackInAFreshProgramFromAMovedFolder) {
  const double seconds[8] = {0.5, 0.75, 2.5, 1.25, 1.5, 1.75, 2.0, 2.25};
  const char* names[8] = {"Kick", "Bass & Keys", "", "Caf\xC3\xA9 <1>", "Pad", "Lead", "Vox", "Riff"};
  App* a = app_.get();
  fs::create_directory(fs::path(dir) / "a");
  ASSERT_TRUE(SessionFile_Save(App_SessionParts(a), Path("a/Gig")));  // the start state as the file format has it
  EXPECT_EQ(ReadBytes(Path("a/Gig.session")), ReadBytes(KESTRINE_TEST_SOURCE_DIR + std::string("/app/fixtures/start.session")));
  for (int i = 0; i < 8; ++i) {
    const StripIndex s{i};
    if (i != 2) FillTrack(i, seconds[i], names[i], i == 4 ? 1 : 2);
    LoopStrip_SetSolo(&a->tracks, s, i == 1 || i == 6, false);  // two solos
    LoopStrip_SetMute(&a->tracks, s, i % 2 == 1);
    LoopStrip_SetSlow(&a->tracks, s, i == 3);
    LoopStrip_SetReverse(&a->tracks, s, i == 4);
    LoopStrip_SetSubmix(&a->tracks, s, i % 3 == 0 ? 1 : 0);
    LoopStrip_SetEffects(&a->tracks, s, i > 4);
    LoopStrip_SetEffectsMix(&a->tracks, s, 10 * i);
    LoopStrip_SetVolume(&a->tracks, s, 120 - 9 * i);
    LoopStrip_SetPan(&a->tracks, s, 15 * i);
  }
  ASSERT_TRUE(LoopStrip_Recreate(&a->tracks, StripIndex{2}, 2.5, false));  // empty, with its own loop time
  EffectsPanel* fx = &app_->effects;
  EffectsPanel_SetFilterLink(fx, false);
  EffectsPanel_SetFilterFrequency(fx, 1, 40);
  EffectsPanel_SetFilterMode(fx, 2);
  EffectsPanel_EnableReverb(fx, true);
  EffectsPanel_SetDelayLink(fx, false);
  EffectsPanel_SetDelayMilliseconds(fx, 1, 375);
  static_cast<LoopTimeSettings&>(app_->loopTime) = {LoopTimeSeconds, 3.5, 97.5, 7, 3, 33.0};
  LoopStrip_SetFeedback(&a->tracks, 100);
  Audio_SetSubmixVolume(0, 0.3);
  Audio_SetMetronomeCountoff(2);
  Audio_SetEditBegin(app_->tracks.strips[1].slot, 0.1);
  Audio_SetEditEnd(app_->tracks.strips[1].slot, 0.4);
  App_SelectTrack(a, StripIndex{5});
  Triggers().Add(TriggerType::KeyboardKey, Trigger_Make(TriggerType::KeyboardKey));

  ASSERT_TRUE(store->Save(Path("a/Gig")));
  EXPECT_TRUE(Exists("a/Gig Loops/Vox.wav"));
  EXPECT_FALSE(Exists("a/Gig Loops/Track 3.wav"));  // an empty track has no file
  const std::string saved = ReadBytes(Path("a/Gig.session"));
  fs::rename(fs::path(dir) / "a", fs::path(dir) / "b");

  Restart();
  ASSERT_TRUE(store->Load(Path("b/Gig")));
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"Loading Gig session 16", "Close"}));
  EXPECT_EQ(progress.steps, 16);
  for (int i = 0; i < 8; ++i)
    if (i != 2) ExpectAudio(i, seconds[i], i == 4 ? 1 : 2);
  EXPECT_TRUE(app_->tracks.strips[2].empty);
  EXPECT_EQ(app_->tracks.strips[2].name, "Track 3");
  EXPECT_DOUBLE_EQ(Audio_GetLoopSeconds(app_->tracks.strips[2].slot), 2.5);
  EXPECT_EQ(Transport_RecordTrack(engine()), app_->tracks.strips[5].slot);
  EXPECT_EQ(Audio_GetEditEnd(app_->tracks.strips[1].slot), 19200);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Audio_GetLoopSelection(app_->tracks.strips[i].slot), 1);
  // Applied to the engine and the panel, not only kept.
  EXPECT_DOUBLE_EQ(Audio_GetTrackVolume(app_->tracks.strips[1].slot), 111 / 127.0);  // soloed
  EXPECT_DOUBLE_EQ(Audio_GetTrackVolume(app_->tracks.strips[0].slot), 0.0);
  EXPECT_DOUBLE_EQ(Audio_GetFilterFrequency(1), EffectsPanel_FrequencyHz(40));
  EXPECT_DOUBLE_EQ(Audio_GetDelayTime(1), 0.375);
  EXPECT_EQ(app_->fields[PanelField::Tempo], "97.5");
  EXPECT_EQ(Triggers().Count(TriggerType::KeyboardKey), 1);
  // Every stored setting: saving again gives the same file but for its new loop folder;
  // the previous file is kept aside, the previous folder gone with nothing naming it.
  ASSERT_TRUE(store->Save(Path("b/Gig")));
  std::string again = ReadBytes(Path("b/Gig.session"));
  for (size_t at; (at = again.find("Gig Loops 2")) != std::string::npos;) again.replace(at, 11, "Gig Loops");
  EXPECT_EQ(again, saved);
  EXPECT_EQ(ReadBytes(Path("b/Gig.bak")), saved);
  EXPECT_TRUE(Exists("b/Gig Loops 2/Kick.wav"));
  EXPECT_FALSE(Exists("b/Gig Loops"));
}

// A WAV file gone since the save asks to be located; declined, its track stays empty.
TEST_F(SessionTest, TrackNamesBecomeDistinctFileNamesAndAMissingOneIsLeftEmpty) {
  const char* typed[8] = {"Riff", "Riff", "riff", "a/b", "..", "", "x.wav", "Riff (2)"};
  const char* stored[8] = {"Riff", "Riff (2)", "riff (3)", "Track 4", "Track 5", "Track 6", "x", "Riff (2) (2)"};
  for (int i = 0; i < 8; ++i) FillTrack(i, 0.25, typed[i]);
  ASSERT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), Path("Names")));
  for (const char* name : stored) EXPECT_TRUE(Exists("Names Loops/" + std::string(name) + ".wav")) << name;
  fs::remove(fs::path(dir) / "Names Loops/x.wav");

  Restart();
  ASSERT_TRUE(SessionFile_Load(App_SessionParts(app_.get()), Path("Names"), false));
  EXPECT_EQ(files.titles, std::vector<std::string>{"Please locate file x.wav"});
  EXPECT_TRUE(app_->tracks.strips[6].empty);
  EXPECT_EQ(app_->tracks.strips[6].name, "Track 7");
  for (int i = 0; i < 8; ++i) {
    if (i == 6) continue;
    EXPECT_EQ(app_->tracks.strips[i].name, stored[i]);
    ExpectAudio(i, 0.25);
  }
}

TEST_F(SessionTest, ReadingRulesForValuesOutOfRange) {
  std::string lying;  // ten thousand tracks for eight strips
  for (int i = 0; i < 10000; ++i) lying += "<track><pan>" + std::to_string(i % 100) + "</pan></track>";
  lying += "<master_volume>0.25</master_volume>";
  const std::pair<std::string, std::function<void(const App&)>> cases[] = {
      {"<loop_time>0.05</loop_time><loop_tempo>0</loop_tempo>",
       [](const App& a) { EXPECT_EQ(a.loopTime.loopTime, 4.0); EXPECT_EQ(a.loopTime.tempo, 120.0); }},
      {"<loop_time>300</loop_time><loop_beats_per_measure>17</loop_beats_per_measure>",
       [](const App& a) { EXPECT_EQ(a.loopTime.loopTime, 4.0); EXPECT_EQ(a.loopTime.beatsPerMeasure, 4); }},
      {"<looptime_mode>5</looptime_mode>", [](const App& a) { EXPECT_EQ(a.loopTime.mode, 0); }},
      {"<loop_measures>-5</loop_measures>", [](const App& a) { EXPECT_EQ(a.loopTime.measures, 2); }},
      {"<loop_measures>2147483647</loop_measures><metronome_countoff>2147483647</metronome_countoff>",
       [](const App& a) {
         EXPECT_EQ(a.loopTime.measures, 2);
         EXPECT_EQ(Audio_GetMetronomeCountoff(), kMetronomeMeasuresMax);
       }},
      {"<loop_measures>60</loop_measures><loop_tempo>240</loop_tempo><loop_beats_per_measure>2</loop_beats_per_measure>",
       [](const App& a) { EXPECT_EQ(a.loopTime.measures, 60); }},  // 30 s at the file's own tempo
      {"<feedback>500</feedback><track><volume>300</volume><pan>-4</pan></track>", [](const App& a) {
         EXPECT_DOUBLE_EQ(Audio_GetTrackFeedback(a.tracks.strips[7].slot), 1.0);
         EXPECT_EQ(a.tracks.strips[0].volume, 127);
         EXPECT_EQ(a.tracks.strips[0].pan, 0);
       }},
      {"<track><path>" + std::string(300, 'p') + "</path></track><track><path>sub</path></track>", [](const App& a) {
         EXPECT_EQ(a.tracks.strips[0].directory, a.session.directory);
         EXPECT_EQ(a.tracks.strips[1].directory, a.session.directory + "/sub");
       }},
      {lying, [](const App& a) { EXPECT_EQ(a.tracks.strips[7].pan, 7); EXPECT_DOUBLE_EQ(Audio_GetMasterVolume(), 0.25); }},
  };
  for (const auto& [body, check] : cases) {
    SCOPED_TRACE(body.substr(0, 60));
    Restart();
    WriteBytes(Path("Rules.session"), "<session>" + body + "</session>");
    ASSERT_TRUE(SessionFile_Load(App_SessionParts(app_.get()), Path("Rules"), false));
    check(*app_);
    EXPECT_EQ(dialog.Saw("Invalid loop track", "Error"), body == lying);
  }
}

TEST_F(SessionTest, DamagedFilesAreRefusedWithNothingApplied) {
  const char* parse = "Error parsing session file.";
  const struct { std::string bytes; /* "-": no file at all */ const char* message; } cases[] = {
      {"-", "Couldn't open session file."}, {"", "bad file size in session file."},
      {"/", "Couldn't open session file."},  // a folder named like the file
      {"<session><master_volume>0.1</master_volume><track><name>Half", parse},
      {"<session><master_volume>0.1</master_volume></session><x/>", parse},
  };
  FillTrack(0, 0.5);
  LoopStrip_SetName(&app_->tracks, StripIndex{0}, "Kick");
  LoopStrip_SetVolume(&app_->tracks, StripIndex{0}, 50);
  const std::string directory = app_->session.directory;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    dialog.shown.clear();
    fs::remove(fs::path(dir) / "Bad.session");
    if (c.bytes == "/")
      fs::create_directory(Path("Bad.session"));
    else if (c.bytes != "-")
      WriteBytes(Path("Bad.session"), c.bytes);
    EXPECT_FALSE(SessionFile_Load(App_SessionParts(app_.get()), Path("Bad"), true));
    ASSERT_EQ(dialog.shown.size(), 1u);
    // The described message first; a line of detail names the file where it helps.
    const std::string& text = dialog.shown[0].text;
    EXPECT_EQ(text.substr(0, text.find('\n')), c.message);
    EXPECT_EQ(dialog.shown[0].caption, c.message == parse ? "XML error" : "File error");
    if (c.bytes == "-") {
      EXPECT_EQ(text, std::string(c.message) + "\n" + Path("Bad.session"));
    } else if (c.bytes == "/") {
      EXPECT_EQ(text, std::string(c.message) + "\n" + Path("Bad.session") + " is a folder, not a file.");
    }
    EXPECT_EQ(app_->tracks.strips[0].name, "Kick");
    EXPECT_EQ(app_->tracks.strips[0].volume, 50);
    EXPECT_EQ(app_->session.directory, directory);
    EXPECT_DOUBLE_EQ(Audio_GetMasterVolume(), 1.0);
    ExpectAudio(0, 0.5);
  }
  EXPECT_TRUE(progress.calls.empty());
}

// Two sessions in one folder keep their loops apart; a session saved before loop folders
// (its loops beside it) still loads.
TEST_F(SessionTest, TwoSessionsInOneFolderNeverShareALoopFile) {
  FillTrack(0, 0.5);
  FillTrack(1, 0.5);
  ASSERT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), Path("gigA")));
  const std::string takeA = ReadBytes(Path("gigA Loops/Track 2.wav"));
  LoopTrack& t = track(slot(1));
  for (int n = 0; n < t.length * 2; ++n) t.pBuffer.load()[n] = 0.25f;  // a new take
  ASSERT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), Path("gigB")));
  EXPECT_EQ(ReadBytes(Path("gigA Loops/Track 2.wav")), takeA);
  ASSERT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), Path("gigB")));  // gigA's folder is not gigB's to clean
  EXPECT_EQ(ReadBytes(Path("gigA Loops/Track 2.wav")), takeA);

  Restart();
  ASSERT_TRUE(SessionFile_Load(App_SessionParts(app_.get()), Path("gigA"), false));
  ExpectAudio(0, 0.5);
  ExpectAudio(1, 0.5);

  std::string old = ReadBytes(Path("gigA.session"));
  for (size_t at; (at = old.find("<path>gigA Loops</path>")) != std::string::npos;) old.replace(at, 23, "<path>.</path>");
  WriteBytes(Path("old.session"), old);
  for (const char* name : {"Track 1.wav", "Track 2.wav"}) fs::rename(fs::path(dir) / "gigA Loops" / name, fs::path(dir) / name);
  Restart();
  ASSERT_TRUE(SessionFile_Load(App_SessionParts(app_.get()), Path("old"), false));
  ExpectAudio(1, 0.5);
}

// A save is all or nothing: a disk that fills up halfway leaves the previous session
// whole, and what a save cut short by a crash left behind goes at the next load.
TEST_F(SessionTest, AFailedSaveLeavesThePreviousSessionWhole) {
  FillTrack(0, 0.5, "Kick");
  FillTrack(1, 0.5, "Snare");
  ASSERT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), Path("Gig")));
  const std::string before = ReadBytes(Path("Gig.session"));

  FillTrack(0, 0.5);  // new takes: the first fits on the disk, the second does not
  FillTrack(1, 2.0);
  for (LoopTrack* t : {&track(slot(0)), &track(slot(1))})
    for (int n = 0; n < t->length * 2; ++n) t->pBuffer.load()[n] = 0.5f;
  bool saved = true;
  WithFileSizeLimit(300000, [&] { saved = SessionFile_Save(App_SessionParts(app_.get()), Path("Gig")); });
  EXPECT_FALSE(saved);
  EXPECT_TRUE(dialog.Saw("Unable to write loop file:\n" + Path("Gig Loops 2/Snare.wav"), "File Error"));
  EXPECT_EQ(ReadBytes(Path("Gig.session")), before);
  EXPECT_FALSE(Exists("Gig Loops 2"));

  fs::create_directory(fs::path(dir) / "Other.session");  // nor the session file
  EXPECT_FALSE(SessionFile_Save(App_SessionParts(app_.get()), Path("Other")));
  EXPECT_TRUE(dialog.Saw("Unable to open session XML file for writing.", "File Error"));
  EXPECT_FALSE(Exists("Other Loops"));

  // A save killed halfway: a loop folder no session names, temporary files.
  fs::create_directory(fs::path(dir) / "Gig Loops 2");
  WriteBytes(Path("Gig Loops 2/Kick.wav"), "half");
  WriteBytes(Path("Gig Loops 2/Snare.wav.Ab12Cd"), "half");
  WriteBytes(Path("Gig.session.Xy34Zw"), "half");
  Restart();
  ASSERT_TRUE(SessionFile_Load(App_SessionParts(app_.get()), Path("Gig"), false));
  ExpectAudio(0, 0.5);
  ExpectAudio(1, 0.5);
  EXPECT_FALSE(Exists("Gig Loops 2"));
  EXPECT_FALSE(Exists("Gig.session.Xy34Zw"));
  EXPECT_TRUE(Exists("Gig Loops/Kick.wav"));
}

// The window's saves write the loops on a thread of their own. What is written is the
// session as it stood when the save began, whatever happens to the tracks meanwhile.
TEST_F(SessionTest, ABackgroundSaveWritesTheSessionAsItStoodWhenItBegan) {
  app_->sessions = store.get();
  FillTrack(0, 3.0, "Kick");  // big enough for its memory to be reused once freed
  Audio_HoldLoopWrites(true);
  ASSERT_TRUE(App_StartSessionSave(app_.get(), Path("Gig")));
  EXPECT_TRUE(App_Saving(app_.get()));
  App_Timer1(app_.get());  // the window runs on; nothing is written yet
  EXPECT_FALSE(Exists("Gig.session"));
  // Meanwhile: a new take on track 1 and another loop the size of the old one, which
  // would take the old one's memory if it were freed; the new take is divided.
  FillTrack(0, 3.0);
  FillTrack(1, 3.0);
  for (int i : {0, 1}) std::fill_n(track(slot(i)).pBuffer.load(), track(slot(i)).length * 2, 0.75f);
  App_Timer1(app_.get());
  App_Command(app_.get(), Command::TransportDivide);
  EXPECT_EQ(track(slot(0)).length, 72000);
  Audio_HoldLoopWrites(false);
  EXPECT_TRUE(App_WaitForSaves(app_.get()));
  EXPECT_FALSE(App_Saving(app_.get()));
  EXPECT_EQ(app_->session.title, "Kestrine 1.73 - [Gig]*");  // the division came after: still unsaved

  // An erase of a loop still being written waits for the file.
  FillTrack(3, 1.0, "Erased");
  Audio_HoldLoopWrites(true);
  ASSERT_TRUE(App_StartSessionSave(app_.get(), Path("Erase")));
  std::thread release([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Audio_HoldLoopWrites(false);
  });
  EXPECT_TRUE(Audio_EraseLoop(slot(3), 0));
  release.join();
  EXPECT_TRUE(App_WaitForSaves(app_.get()));
  EXPECT_FALSE(app_->session.dirty);

  Restart();
  ASSERT_TRUE(SessionFile_Load(App_SessionParts(app_.get()), Path("Gig"), false));
  ExpectAudio(0, 3.0);
  EXPECT_TRUE(strip(1).empty);
  ASSERT_TRUE(SessionFile_Load(App_SessionParts(app_.get()), Path("Erase"), false));
  ExpectAudio(3, 1.0);
}

// A load, a second save and the end of the program wait for the save under way: a load
// of the same session would clean away the folder it is still writing.
TEST_F(SessionTest, WhatFollowsASaveWaitsForIt) {
  app_->sessions = store.get();
  FillTrack(0, 1.0, "Kick");
  const auto releaseSoon = [] {
    return std::thread([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      Audio_HoldLoopWrites(false);
    });
  };
  Audio_HoldLoopWrites(true);
  ASSERT_TRUE(App_StartSessionSave(app_.get(), Path("Gig")));
  std::thread release = releaseSoon();
  EXPECT_TRUE(App_LoadSessionBase(app_.get(), Path("Gig")));
  release.join();
  ExpectAudio(0, 1.0);

  Audio_HoldLoopWrites(true);
  ASSERT_TRUE(App_StartSessionSave(app_.get(), Path("First")));
  release = releaseSoon();
  ASSERT_TRUE(App_StartSessionSave(app_.get(), Path("Second")));
  release.join();
  EXPECT_TRUE(Exists("First.session"));
  Audio_HoldLoopWrites(true);
  release = releaseSoon();
  App_Shutdown(app_.get());
  release.join();
  EXPECT_TRUE(Exists("Second.session"));
  EXPECT_TRUE(Exists("Second Loops/Kick.wav"));
  Restart();

  // A save's closing message may run the window: a save asked meanwhile is dropped, not
  // begun over the one still ending.
  app_->sessions = store.get();
  fs::create_directory(fs::path(dir) / "q");
  App_Preferences().quicksave_directory = Path("q");
  FillTrack(0, 1.0, "Kick");
  dialog.during = [this] { App_Command(app_.get(), Command::SaveQuicksave01); };
  App_Command(app_.get(), Command::Quicksave);
  EXPECT_TRUE(App_WaitForSaves(app_.get()));
  EXPECT_TRUE(dialog.Saw("Quicksaved Session as Mine.", "Quicksave Complete"));
  EXPECT_FALSE(Exists("q/Quicksave01"));
  // One begun there by a caller that is not a command (none does today) is finished there.
  dialogs.quicksaveName = "Other";  // a new one: no question before the closing message
  dialog.during = [this] { EXPECT_TRUE(App_StartSessionSave(app_.get(), Path("Nested"))); };
  App_Command(app_.get(), Command::Quicksave);
  EXPECT_TRUE(App_WaitForSaves(app_.get()));
  EXPECT_TRUE(dialog.Saw("Quicksaved Session as Other.", "Quicksave Complete"));
  EXPECT_TRUE(Exists("Nested.session"));
  EXPECT_EQ(app_->session.name, "Other");
}

// The reliability audit's trial as a test: a save of eight tracks killed at any moment
// leaves a folder whose session names the old loops or the new ones, whole, never a mix.
TEST_F(SessionTest, ASaveKilledAtAnyMomentLeavesTheOldSessionOrTheNewOne) {
  for (int i = 0; i < 8; ++i) FillTrack(i, 3.0);
  const auto takes = [&](const std::string& base) {  // the loop files of a save, in track order
    EXPECT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), Path(base)));
    std::vector<std::string> files;
    for (int i = 0; i < 8; ++i) files.push_back(ReadBytes(Path(base + " Loops/Track " + std::to_string(i + 1) + ".wav")));
    return files;
  };
  const std::vector<std::string> before = takes("Old");
  ASSERT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), Path("Gig")));
  for (int i = 0; i < 8; ++i) {  // new takes
    LoopTrack& t = track(slot(i));
    for (int n = 0; n < t.length * 2; ++n) t.pBuffer.load()[n] = -Sample(i, n);
  }
  const std::vector<std::string> after = takes("New");

  // Each trial's save writes the takes the folder does not hold yet.
  bool memoryNew = true;
  const auto flipTakes = [&] {
    for (int i = 0; i < 8; ++i) {
      LoopTrack& t = track(slot(i));
      for (int n = 0; n < t.length * 2; ++n) t.pBuffer.load()[n] = -t.pBuffer.load()[n];
    }
    memoryNew = !memoryNew;
  };
  // A save in a child process, killed after `delay` (never, when negative); how long it ran.
  const auto save = [&](std::chrono::microseconds delay) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) _exit(SessionFile_Save(App_SessionParts(app_.get()), Path("Gig")) ? 0 : 1);
    if (delay.count() >= 0) std::this_thread::sleep_for(delay), kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  };
  const long saveTime = save(std::chrono::microseconds(-1)).count();
  flipTakes();  // that save landed: the folder holds the new takes
  std::mt19937 random(7);
  int whole[2] = {0, 0};  // trials that left the old takes, the new ones
  for (int trial = 0; trial < 16; ++trial) {
    save(std::chrono::microseconds(random() % (saveTime * 5 / 4 + 1)));

    std::vector<std::string> folders;
    ASSERT_TRUE(SessionLoops_Referenced(Path("Gig.session"), &folders)) << "trial " << trial;
    ASSERT_EQ(folders.size(), 8u);
    std::vector<std::string> files;
    for (int i = 0; i < 8; ++i) files.push_back(ReadBytes(folders[i] + "/Track " + std::to_string(i + 1) + ".wav"));
    ASSERT_TRUE(files == before || files == after) << "trial " << trial << ": a mix of old and new loops";
    const bool landed = (files == after) == memoryNew;
    ++whole[landed ? 1 : 0];
    if (landed) flipTakes();
  }
  RecordProperty("killed_before_commit", whole[0]), RecordProperty("saved_whole", whole[1]);
  SessionLoops_Clean(Path("Gig.session"));  // what a load does: one loop folder is left
  int loopFolders = 0;
  for (const auto& entry : fs::directory_iterator(dir)) loopFolders += entry.path().filename().string().rfind("Gig Loops", 0) == 0;
  EXPECT_EQ(loopFolders, 1);
}

// Names with dots, control characters, bytes that are not UTF-8 or too many bytes for a
// file name are saved under a name the session file carries unchanged, and come back.
TEST_F(SessionTest, EveryNameComesBackAsTheNameOfItsLoopFile) {
  const std::string typed[8] = {"drums.v2.final", "a..b", "120.5.bpm", "a\x01" "b",
                                "\t", "caf\xe9", std::string(252, 'n'), std::string(130, '\xe9')};
  for (int i = 0; i < 8; ++i) FillTrack(i, 0.25, typed[i]);
  ASSERT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), Path("Names")));
  std::string names[8];
  for (int i = 0; i < 8; ++i) {
    names[i] = app_->tracks.strips[i].name;
    EXPECT_TRUE(Exists("Names Loops/" + names[i] + ".wav")) << names[i];
  }
  EXPECT_EQ(names[0], "drums.v2");
  EXPECT_EQ(names[4], "Track 5");
  EXPECT_EQ(names[5], "caf\xc3\xa9");
  ASSERT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), Path("Names")));  // a second save cuts nothing more

  Restart();
  ASSERT_TRUE(SessionFile_Load(App_SessionParts(app_.get()), Path("Names"), false));
  EXPECT_TRUE(files.titles.empty());  // no file to locate
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(app_->tracks.strips[i].name, names[i]);
    ExpectAudio(i, 0.25);
  }
}

TEST_F(SessionTest, NumberedQuicksaveAsksBeforeOverwritingOnlyWhileWarned) {
  fs::create_directory(fs::path(dir) / "q");
  App_Preferences().quicksave_directory = Path("q");
  FillTrack(0, 0.5);
  app_->sessions = store.get();
  const struct { int warn, answer; bool saved; int questions; } cases[] = {
      {1, IDOK, true, 0}, {1, IDCANCEL, false, 1}, {1, IDOK, true, 1}, {0, IDCANCEL, true, 0}};
  for (const auto& c : cases) {
    dialog.shown.clear();
    dialog.answers = {c.answer};
    App_Preferences().warn_quicksave = c.warn;
    fs::remove(fs::path(dir) / "q/Quicksave08/Quicksave08.session");
    App_SetDirty(app_.get(), true);
    FileCommand_SaveQuicksave(app_.get(), 8);
    App_WaitForSaves(app_.get());
    EXPECT_EQ(Exists("q/Quicksave08/Quicksave08.session"), c.saved);
    EXPECT_EQ(app_->session.dirty, !c.saved);
    EXPECT_EQ(dialog.Saw("Quicksave Quicksave08 exists, overwrite?", "Overwrite Quicksave?"), c.questions > 0);
    EXPECT_FALSE(dialog.Saw("Quicksaved Session as Quicksave08.", "Quicksave Complete"));  // numbered: silent
  }
  EXPECT_TRUE(Exists("q/Quicksave08/Quicksave08_Midi.xml"));
  EXPECT_EQ(app_->session.title, "Kestrine 1.73 - [Quicksave08]");

  // Loading meets saving under the same spelling; an unsaved number is the reader's message.
  Restart();
  App_Preferences().quicksave_directory = Path("q");
  app_->sessions = store.get();
  FileCommand_LoadQuicksave(app_.get(), 8);
  App_WaitForLoads(app_.get());
  EXPECT_EQ(app_->session.title, "Kestrine 1.73 - [Quicksave08]");
  ExpectAudio(0, 0.5);
  EXPECT_FALSE(store->LoadQuicksave(4));
  ASSERT_FALSE(dialog.shown.empty());  // which quicksave was never saved
  EXPECT_EQ(dialog.shown.back().text,
            "Couldn't open session file.\n" + Path("q") + "/Quicksave04/Quicksave04.session");
  EXPECT_FALSE(store->LoadQuicksave(9));
}

TEST_F(SessionTest, TypedNameLosesItsExtensionAndIsConfirmed) {
  app_->sessions = store.get();
  dialogs.quicksaveName = "Gig.session";
  App_Command(app_.get(), Command::Quicksave);
  App_WaitForSaves(app_.get());
  EXPECT_TRUE(Exists("Gig/Gig.session"));
  EXPECT_EQ(app_->session.name, "Gig");
  EXPECT_EQ(app_->session.directory, Path("Gig"));
  EXPECT_EQ(Quicksave_LastName(), "Gig");
  EXPECT_TRUE(dialog.Saw("Quicksaved Session as Gig.", "Quicksave Complete"));

  EXPECT_STREQ(QuicksaveName_Check(std::string(260, 'n')), "Quicksave name too long");
  EXPECT_EQ(QuicksaveName_Check(std::string(259, 'n')), nullptr);
}

TEST_F(SessionTest, RefusedOrFailedQuicksavesKeepTheSessionDirtyAndItsName) {
  fs::create_directories(fs::path(dir) / "Gig/Gig.session");  // the session file cannot be written
  App_SetDirty(app_.get(), true);
  for (const char* name : {"../Escape", "a/b", "/tmp/Abs", "..", "Back\\slash", "Gig"}) {
    SCOPED_TRACE(name);
    dialog.shown.clear();
    EXPECT_FALSE(store->Quicksave(name));
    EXPECT_EQ(dialog.Saw("Invalid quicksave name", "Error"), name != std::string("Gig"));
    EXPECT_TRUE(app_->session.dirty);
    EXPECT_EQ(app_->session.name, "untitled");
    EXPECT_EQ(app_->session.directory, dir);
  }
  EXPECT_EQ(fs::directory_iterator(dir)->path().filename(), "Gig");
  EXPECT_FALSE(dialog.Saw("Quicksaved Session as Gig.", "Quicksave Complete"));
}

// New Session and Open Session ask first: answered No or Cancel, the music plays on. A
// session that loads stops it and starts every track from the top.
TEST_F(SessionTest, QuestionsBeforeASessionLoadLeaveTheMusicPlaying) {
  app_->sessions = store.get();
  FillTrack(0, 0.5);
  ASSERT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), Path("Gig")));
  App_Command(app_.get(), Command::TransportPlay);
  App_SetDirty(app_.get(), true);
  const auto playing = [&] { return Audio_GetTransportState() == Playing; };
  ASSERT_TRUE(playing());
  dialog.answers = {IDCANCEL};  // "This will erase all current loops, proceed?"
  App_Command(app_.get(), Command::NewSession);
  EXPECT_TRUE(playing());
  dialog.answers = {IDOK, IDNO};  // then "Current session has unsaved changes"
  App_Command(app_.get(), Command::NewSession);
  EXPECT_TRUE(playing());
  dialog.answers = {IDNO};
  App_Command(app_.get(), Command::OpenSession);
  EXPECT_TRUE(playing());
  dialog.answers = {IDYES};  // the file dialog is cancelled
  App_Command(app_.get(), Command::OpenSession);
  EXPECT_TRUE(playing());
  App_Command(app_.get(), Command::LoadQuicksave01);
  EXPECT_TRUE(playing());
  EXPECT_EQ(files.titles, std::vector<std::string>{"Load Session:"});

  files.answers = {Path("Gig.session")};
  App_Command(app_.get(), Command::OpenSession);
  App_WaitForLoads(app_.get());
  EXPECT_EQ(Audio_GetTransportState(), Stopped);
  EXPECT_EQ(app_->session.name, "Gig");
}

// Save Session commits what the loop-time field says, but applying it to the strips
// would cut the loop being saved.
TEST_F(SessionTest, SavingStoresTheLoopTimeFieldWithoutResizingTheLoops) {
  app_->sessions = store.get();
  app_->session.directory = dir;
  app_->session.name = "Gig";
  app_->session.named = true;
  app_->loopTime.mode = LoopTimeSeconds;
  FillTrack(0, 1.0);
  App_EditField(app_.get(), PanelField::Seconds, "0.5");
  App_EditField(app_.get(), PanelField::DelayLeft, "250");  // typed delay times are saved too
  App_Command(app_.get(), Command::SaveSession);
  App_WaitForSaves(app_.get());
  EXPECT_DOUBLE_EQ(app_->loopTime.loopTime, 0.5);
  EXPECT_EQ(app_->effects.delayMilliseconds[0], 250);
  ExpectAudio(0, 1.0);
  EXPECT_TRUE(Exists("Gig.session"));
}

// The default session lives in the configuration directory, as does the in-progress save,
// which overwrites without a word.
TEST_F(SessionTest, DefaultSessionAndInProgressSave) {
  EXPECT_FALSE(store->DefaultExists());
  FillTrack(0, 0.5);
  ASSERT_TRUE(store->SaveDefault());
  EXPECT_TRUE(store->DefaultExists());
  EXPECT_TRUE(Exists("SysConfig.xml"));
  EXPECT_FALSE(Exists("Default_Midi.xml"));
  fs::create_directory(fs::path(dir) / "InProgress");
  WriteBytes(Path("InProgress/InProgress.session"), "old");
  App_Preferences().quicksave_directory = Path("elsewhere");
  ASSERT_TRUE(store->SaveInProgress());
  EXPECT_TRUE(dialog.shown.empty());
  EXPECT_NE(ReadBytes(Path("InProgress/InProgress.session")), "old");
  EXPECT_TRUE(Exists("InProgress/InProgress Loops/Track 1.wav"));

  Restart();
  app_->sessions = store.get();
  App_SetDirty(app_.get(), true);
  dialog.answers = {IDNO};  // unsaved changes: loading is declined
  EXPECT_FALSE(App_LoadDefaultSession(app_.get()));
  EXPECT_TRUE(app_->tracks.strips[0].empty);
  ASSERT_TRUE(App_LoadDefaultSession(app_.get()));  // the script has run out: Yes
  EXPECT_EQ(app_->session.title, "Kestrine 1.73 - [Untitled]");
  EXPECT_FALSE(app_->session.dirty);
  ExpectAudio(0, 0.5);
}

}  // namespace
