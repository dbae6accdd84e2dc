// Session files: a whole session through save and load into a fresh program, the files
// written beside it, the reading rules, and files that are missing, damaged or lying.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/session_file.h"
#include "app/session_fixture.h"
#include "control/trigger_set.h"
#include "engine/audio.h"
#include "engine/effects_ops.h"
#include "engine/metronome.h"
#include "engine/transport.h"

namespace session_test {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(__FILE__).parent_path() / "fixtures";

class SessionFileTest : public SessionTest {};

TEST_F(SessionFileTest, WholeSessionComesBackInAFreshProgramFromAMovedFolder) {
  const double seconds[8] = {0.5, 0.75, 2.5, 1.25, 1.5, 1.75, 2.0, 2.25};
  const char* names[8] = {"Kick", "Bass & Keys", "", "Caf\xC3\xA9 <1>", "Pad", "Lead", "Vox", "Riff"};
  for (int i = 0; i < 8; ++i) {
    if (i == 2) continue;  // the third track stays empty, with its own loop time
    FillTrack(i, seconds[i], i == 4 ? 1 : 2);
    Name(i, names[i]);
  }
  ASSERT_TRUE(LoopStrip_Recreate(app.get(), StripIndex{2}, 2.5, false));
  App* a = app.get();
  app->shiftHeld = true;
  for (int i : {1, 6}) LoopStrip_SetSolo(a, StripIndex{i}, true);
  app->shiftHeld = false;
  for (int i = 0; i < 8; ++i) {
    LoopStrip_SetMute(a, StripIndex{i}, i % 2 == 1);
    LoopStrip_SetSlow(a, StripIndex{i}, i == 3);
    LoopStrip_SetReverse(a, StripIndex{i}, i == 4);
    LoopStrip_SetSubmix(a, StripIndex{i}, i % 3 == 0 ? 1 : 0);
    LoopStrip_SetEffects(a, StripIndex{i}, i > 4);
    LoopStrip_SetEffectsMix(a, StripIndex{i}, 10 * i);
    LoopStrip_SetVolume(a, StripIndex{i}, 120 - 9 * i);
    LoopStrip_SetPan(a, StripIndex{i}, 15 * i);
  }
  EffectsPanel* fx = &app->effects;
  EffectsPanel_SetFilterLink(fx, false);
  EffectsPanel_SetFilterFrequency(fx, 0, 90);
  EffectsPanel_SetFilterFrequency(fx, 1, 40);
  EffectsPanel_SetFilterMode(fx, 2);
  EffectsPanel_EnableFilter(fx, true);
  EffectsPanel_SetLfoRate(fx, 1, 77);
  EffectsPanel_EnableReverb(fx, true);
  EffectsPanel_SetReverbMix(fx, 99);
  EffectsPanel_SetDelayLink(fx, false);
  EffectsPanel_SetDelayMilliseconds(fx, 0, 250);
  EffectsPanel_SetDelayMilliseconds(fx, 1, 375);
  EffectsPanel_SetDelayFeedback(fx, 1, 100);
  app->loopTime = {LoopTimeSeconds, 3.5, 97.5, 7, 3, 33.0};
  LoopStrip_SetFeedback(a, 100);
  Audio_SetMasterVolume(0.8);
  Audio_SetSubmixVolume(0, 0.3);
  Audio_SetMetronomeCountoff(2);
  Audio_SetEditBegin(app->strips[1].slot, 0.1);
  Audio_SetEditEnd(app->strips[1].slot, 0.4);
  App_SelectTrack(a, StripIndex{5});
  Triggers().Add(TriggerType::KeyboardKey, Trigger_Make(TriggerType::KeyboardKey));

  fs::create_directory(dir.path / "a");
  ASSERT_TRUE(store->Save(Path("a/Gig")));
  for (const char* file : {"Gig.session", "Gig.bak", "Gig_Midi.xml", "Kick.wav", "Bass & Keys.wav",
                           "Caf\xC3\xA9 <1>.wav", "Pad.wav", "Lead.wav", "Vox.wav", "Riff.wav"})
    EXPECT_TRUE(Exists(std::string("a/") + file)) << file;
  EXPECT_FALSE(Exists("a/Track 3.wav"));
  const std::string saved = ReadBytes(Path("a/Gig.session"));
  fs::rename(dir.path / "a", dir.path / "b");

  Restart();
  ASSERT_TRUE(store->Load(Path("b/Gig")));
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"Open Loading Gig session 16", "Close"}));
  EXPECT_EQ(progress.steps, 16);
  for (int i = 0; i < 8; ++i)
    if (i != 2) ExpectAudio(i, seconds[i], i == 4 ? 1 : 2);
  EXPECT_TRUE(app->strips[2].empty);
  EXPECT_EQ(app->strips[2].name, "Track 3");
  EXPECT_DOUBLE_EQ(Audio_GetLoopSeconds(app->strips[2].slot), 2.5);
  EXPECT_EQ(app->strips[3].name, "Caf\xC3\xA9 <1>");
  EXPECT_EQ(app->currentTrack, 5);
  EXPECT_EQ(Transport_RecordTrack(engine()), app->strips[5].slot);
  EXPECT_EQ(Audio_GetEditBegin(app->strips[1].slot), 4800);
  EXPECT_EQ(Audio_GetEditEnd(app->strips[1].slot), 19200);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Audio_GetLoopSelection(app->strips[i].slot), 1);
  // Applied to the engine, not only kept by the panel.
  EXPECT_DOUBLE_EQ(Audio_GetTrackVolume(app->strips[1].slot), (120 - 9) / 127.0);  // soloed
  EXPECT_DOUBLE_EQ(Audio_GetTrackVolume(app->strips[0].slot), 0.0);
  EXPECT_DOUBLE_EQ(Audio_GetFilterFrequency(1), EffectsPanel_FrequencyHz(40));
  EXPECT_DOUBLE_EQ(Audio_GetDelayTime(1), 0.375);
  EXPECT_EQ(app->fields[static_cast<int>(PanelField::Tempo)], "97.5");
  EXPECT_EQ(Triggers().Count(TriggerType::KeyboardKey), 1);
  // Every stored setting: saving again gives the same file.
  ASSERT_TRUE(store->Save(Path("b/Gig")));
  EXPECT_EQ(ReadBytes(Path("b/Gig.session")), saved);
}

TEST_F(SessionFileTest, TheStartStateIsWrittenAsTheFixture) {
  ASSERT_TRUE(SessionFile_Save(app.get(), Path("Start")));
  EXPECT_EQ(ReadBytes(Path("Start.session")), ReadBytes((kFixtures / "start.session").string()));
  EXPECT_EQ(ReadBytes(Path("Start.bak")), "");
  ASSERT_TRUE(SessionFile_Save(app.get(), Path("Start")));
  EXPECT_EQ(ReadBytes(Path("Start.bak")), ReadBytes(Path("Start.session")));
}

TEST_F(SessionFileTest, TrackNamesBecomeDistinctFileNames) {
  struct Case {
    const char* typed;
    const char* stored;
  };
  const Case cases[8] = {{"Riff", "Riff"},   {"Riff", "Riff (2)"},         {"riff", "riff (3)"},
                         {"a/b", "Track 4"}, {"..", "Track 5"},            {"", "Track 6"},
                         {"x.wav", "x"},     {"Riff (2)", "Riff (2) (2)"}};
  for (int i = 0; i < 8; ++i) {
    FillTrack(i, 0.25);
    Name(i, cases[i].typed);
  }
  ASSERT_TRUE(SessionFile_Save(app.get(), Path("Names")));
  for (const Case& c : cases) EXPECT_TRUE(Exists(std::string(c.stored) + ".wav")) << c.stored;

  Restart();
  ASSERT_TRUE(SessionFile_Load(app.get(), Path("Names"), false));
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(app->strips[i].name, cases[i].stored);
    ExpectAudio(i, 0.25);
  }
}

TEST_F(SessionFileTest, AMissingWavWhoseLocationIsDeclinedLeavesThatTrackEmpty) {
  FillTrack(0, 0.5);
  Name(0, "Kick");
  FillTrack(1, 0.5);
  Name(1, "Snare");
  ASSERT_TRUE(SessionFile_Save(app.get(), Path("Gig")));
  fs::remove(dir.path / "Kick.wav");

  Restart();
  ASSERT_TRUE(SessionFile_Load(app.get(), Path("Gig"), false));
  ASSERT_EQ(files.shown.size(), 1u);
  EXPECT_EQ(files.shown[0].title, "Please locate file Kick.wav");
  EXPECT_TRUE(app->strips[0].empty);
  EXPECT_EQ(app->strips[0].name, "Track 1");
  EXPECT_EQ(app->strips[1].name, "Snare");
  ExpectAudio(1, 0.5);
}

TEST_F(SessionFileTest, ReadingRulesForValuesOutOfRange) {
  // What a check sees after the load: the application, the session directory and how
  // often "Invalid loop track" was shown.
  struct After {
    App& app;
    fs::path directory;
    int invalidTrack;
  };
  struct Case {
    std::string body;
    std::function<void(const After&)> check;
  };
  std::string tenThousandTracks;
  for (int i = 0; i < 10000; ++i) tenThousandTracks += "<track><pan>" + std::to_string(i % 100) + "</pan></track>";
  const Case cases[] = {
      {"<loop_time>0.05</loop_time>", [](const After& r) { EXPECT_EQ(r.app.loopTime.loopTime, 4.0); }},
      {"<loop_time>300</loop_time>", [](const After& r) { EXPECT_EQ(r.app.loopTime.loopTime, 4.0); }},
      {"<loop_beats_per_measure>17</loop_beats_per_measure>",
       [](const After& r) { EXPECT_EQ(r.app.loopTime.beatsPerMeasure, 4); }},
      {"<looptime_mode>5</looptime_mode>", [](const After& r) { EXPECT_EQ(r.app.loopTime.mode, 0); }},
      {"<feedback>500</feedback><track><volume>300</volume><pan>-4</pan></track>",
       [](const After& r) {
         const App& a = r.app;
         EXPECT_EQ(a.feedback, 127);
         EXPECT_DOUBLE_EQ(Audio_GetTrackFeedback(a.strips[7].slot), 1.0);
         EXPECT_EQ(a.strips[0].volume, 127);
         EXPECT_EQ(a.strips[0].pan, 0);
       }},
      {"<track><path>" + std::string(300, 'p') + "</path></track><track><path>sub</path></track>",
       [](const After& r) {
         EXPECT_EQ(r.app.strips[0].directory, r.directory.string());
         EXPECT_EQ(r.app.strips[1].directory, (r.directory / "sub").string());
       }},
      {tenThousandTracks + "<master_volume>0.25</master_volume>",
       [](const After& r) {
         EXPECT_EQ(r.invalidTrack, 1);
         EXPECT_EQ(r.app.strips[7].pan, 7);
         EXPECT_DOUBLE_EQ(Audio_GetMasterVolume(), 0.25);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 60));
    Restart();
    dialog.shown.clear();
    WriteBytes(Path("Rules.session"), "<session>" + c.body + "</session>");
    ASSERT_TRUE(SessionFile_Load(app.get(), Path("Rules"), false));
    int invalidTrack = 0;
    for (const ShownMessage& m : dialog.shown) invalidTrack += m.text == "Invalid loop track";
    c.check(After{*app, dir.path, invalidTrack});
  }
}

TEST_F(SessionFileTest, DamagedFilesAreRefusedWithNothingApplied) {
  struct Case {
    const char* what;
    std::string bytes;  // empty name: no file at all
    const char* message;
    const char* caption;
  };
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "<session>";
  const Case cases[] = {
      {"missing", "-", "Couldn't open session file.", "File error"},
      {"empty", "", "bad file size in session file.", "File error"},
      {"binary", std::string("\x01\x02\xff\xfe garbage\0\x7f", 14), "Error parsing session file.", "XML error"},
      {"truncated", "<session><volume>3</volume><track><name>Half", "Error parsing session file.", "XML error"},
      {"deep", deep, "Error parsing session file.", "XML error"},
      {"trailing", "<session><master_volume>0.1</master_volume></session><x/>", "Error parsing session file.",
       "XML error"},
  };
  FillTrack(0, 0.5);
  Name(0, "Kick");
  LoopStrip_SetName(app.get(), StripIndex{0}, "Kick");
  LoopStrip_SetVolume(app.get(), StripIndex{0}, 50);
  const std::string directory = app->sessionDirectory;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dialog.shown.clear();
    fs::remove(dir.path / "Bad.session");
    if (c.bytes != "-") WriteBytes(Path("Bad.session"), c.bytes);
    EXPECT_FALSE(SessionFile_Load(app.get(), Path("Bad"), true));
    ASSERT_EQ(dialog.shown.size(), 1u);
    EXPECT_EQ(dialog.shown[0].text, c.message);
    EXPECT_EQ(dialog.shown[0].caption, c.caption);
    EXPECT_EQ(app->strips[0].name, "Kick");
    EXPECT_FALSE(app->strips[0].empty);
    EXPECT_EQ(app->strips[0].volume, 50);
    EXPECT_EQ(app->sessionDirectory, directory);
    EXPECT_DOUBLE_EQ(Audio_GetMasterVolume(), 1.0);
    ExpectAudio(0, 0.5);
  }
  EXPECT_TRUE(progress.calls.empty());
}

TEST_F(SessionFileTest, AFailedSaveLeavesThePreviousSessionLoadable) {
  FillTrack(0, 0.5);
  Name(0, "Kick");
  ASSERT_TRUE(SessionFile_Save(app.get(), Path("Gig")));
  const std::string before = ReadBytes(Path("Gig.session"));

  FillTrack(1, 0.5);
  Name(1, "Snare");
  fs::create_directory(dir.path / "Snare.wav");  // the WAV file cannot be put in place
  EXPECT_FALSE(SessionFile_Save(app.get(), Path("Gig")));
  EXPECT_TRUE(dialog.Saw("Unable to write loop file:\n" + Path("Snare.wav"), "File Error"));
  EXPECT_EQ(ReadBytes(Path("Gig.session")), before);

  fs::remove(dir.path / "Snare.wav");
  fs::create_directory(dir.path / "Other.session");  // the session file cannot be replaced
  EXPECT_FALSE(SessionFile_Save(app.get(), Path("Other")));
  EXPECT_TRUE(dialog.Saw("Unable to open session XML file for writing.", "File Error"));
  EXPECT_EQ(app->sessionDirectory, dir.path.string());

  Restart();
  ASSERT_TRUE(SessionFile_Load(app.get(), Path("Gig"), false));
  ExpectAudio(0, 0.5);
  EXPECT_TRUE(app->strips[1].empty);
}

}  // namespace
}  // namespace session_test
