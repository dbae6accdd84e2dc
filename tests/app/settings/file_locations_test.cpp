// Where an installed program and a portable folder keep their files, and a start in the
// user's folders: what is read from the installation, what is written where, and a
// configuration folder that cannot be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/app_fixture.h"
#include "app/settings/config_files.h"
#include "app/settings/file_locations.h"
#include "app/settings/preferences.h"
#include "app/settings/skin_select.h"
#include "app/startup.h"
#include "audio_io/wav_bytes.h"
#include "control/midi_ports.h"
#include "persist/config_directory.h"

namespace fs = std::filesystem;

namespace {

struct TempFolder {
  TempFolder() {
    char pattern[] = "/tmp/kestrine_where_XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempFolder() { fs::remove_all(path); }
  std::string operator/(const std::string& name) const { return (fs::path(path) / name).string(); }
  std::string path;
};

void Touch(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << "x";
}

}  // namespace

TEST(FileLocations, PortableFolderOrTheUsersFoldersBesideTheInstallation) {
  TempFolder t;
  FileLocationInputs in{t / "start", "/opt/k/bin/kestrine", "/home/ann", "", ""};
  fs::create_directories(in.start);

  FileLocations where = FileLocations_Resolve(in);
  EXPECT_FALSE(where.portable);
  EXPECT_EQ(where.config, "/home/ann/.config/kestrine");
  EXPECT_EQ(where.userData, "/home/ann/.local/share/kestrine");
  EXPECT_EQ(where.data, "/opt/k/share/kestrine");

  in.configHome = "/cfg", in.dataHome = "relative/data";  // a relative XDG value is ignored
  where = FileLocations_Resolve(in);
  EXPECT_EQ(where.config, "/cfg/kestrine");
  EXPECT_EQ(where.userData, "/home/ann/.local/share/kestrine");

  for (const char* mark : {"help.txt", "Preferences.xml", "Skins/Kestrel/Kestrel.xml"}) {
    fs::remove_all(in.start);
    Touch(fs::path(in.start) / mark);
    where = FileLocations_Resolve(in);
    EXPECT_TRUE(where.portable) << mark;
    EXPECT_EQ(where.start, in.start);
  }
  fs::remove_all(in.start);
  in.home.clear();  // nowhere else to go
  EXPECT_TRUE(FileLocations_Resolve(in).portable);
}

TEST(FileLocations, SkinsOfTheUserAndShippedOnesAreListedTogether) {
  TempFolder t;
  for (const char* skin : {"user/Skins/Mine/Mine.xml", "user/Skins/kestrel/kestrel.xml", "shipped/Skins/Kestrel/Kestrel.xml",
                           "shipped/Skins/Stage/Stage.xml"})
    Touch(t / skin);
  ScriptedDialog dialog;
  std::vector<std::string> entries;
  ASSERT_TRUE(SkinSelect_List({t / "user", t / "shipped"}, &entries));
  EXPECT_EQ(entries, (std::vector<std::string>{"<None>", "kestrel", "Mine", "Stage"}));
  EXPECT_EQ(SkinSelect_ParentOf({t / "user", t / "shipped"}, "Stage"), t / "shipped");
  EXPECT_EQ(SkinSelect_ParentOf({t / "user", t / "shipped"}, "Mine"), t / "user");
  // One Skins folder missing is no error; both missing is.
  ASSERT_TRUE(SkinSelect_List({t / "none", t / "shipped"}, &entries));
  EXPECT_EQ(entries.size(), 3u);
  EXPECT_FALSE(SkinSelect_List({t / "none", t / "gone"}, &entries));
  EXPECT_TRUE(dialog.Saw("Unable to set current directory to:\n" + t / "none/Skins" +
                             "\nPerhaps the Skins directory is missing?",
                         "Directory Error"));
}

TEST(FileLocations, InstalledStartReadsTheInstallationAndWritesOnlyTheUsersFolders) {
  TempFolder t;
  WavLayout click;
  click.channels = 1;
  click.samples.assign(200, 8000);
  fs::create_directories(t / "share");
  for (const char* name : {"/accent.wav", "/beat.wav"}) ASSERT_TRUE(WriteBytes(t / "share" + name, WavBytes(click)));
  Touch(t / "share/help.txt");
  fs::create_directories(t / "start");

  FileLocations where;
  where.portable = false;
  where.config = t / "config/kestrine";
  where.userData = t / "data/kestrine";
  where.data = t / "share";
  ScriptedDialog dialog;
  MemoryMidiBackend midi;
  MidiPorts_UseBackend(&midi);
  Preferences_ResetDefaults();
  RecordingWindow window;
  AppSeams seams{};
  seams.window = &window;
  App app;
  ASSERT_TRUE(App_Start(&app, where, seams));
  EXPECT_EQ(Audio_GetEngine()->accentSample.length, 200);  // the shipped click sounds
  EXPECT_EQ(app.session.directory, where.userData);
  EXPECT_TRUE(fs::exists(where.config + "/Default.session"));
  EXPECT_TRUE(fs::is_directory(where.userData));
  EXPECT_TRUE(dialog.shown.empty() || !dialog.Saw("Kestrine's data folder is missing:\n" + where.data +
                                                      "\nThe click sounds and help are not available.",
                                                  "Data Folder"));
  App_Shutdown(&app);
  EXPECT_TRUE(fs::is_empty(t / "start"));
  EXPECT_EQ(std::distance(fs::directory_iterator(t / "share"), fs::directory_iterator()), 3);  // nothing added

  // A configuration folder that cannot be made: told once, defaults, nothing saved; and
  // an installation without its data is told too.
  Touch(t / "blocked");
  where.config = t / "blocked/kestrine";
  where.data = t / "gone";
  App second;
  ASSERT_TRUE(App_Start(&second, where, seams));
  EXPECT_TRUE(dialog.Saw("Unable to use the configuration folder:\n" + where.config +
                             "\nKestrine runs with its default settings and saves no configuration.",
                         "Configuration Folder"));
  EXPECT_TRUE(dialog.Saw("Kestrine's data folder is missing:\n" + where.data +
                             "\nThe click sounds and help are not available.",
                         "Data Folder"));
  EXPECT_FALSE(WritePreferences());
  EXPECT_FALSE(dialog.Saw("Unable to open preferences XML file for writing.", "File Error"));
  App_Shutdown(&second);
  EXPECT_FALSE(fs::exists(where.config));
  MidiPorts_UseBackend(nullptr);
  ConfigDirectory_SetPortable("");
}

TEST_F(AppTest, ASessionNamedOnTheCommandLineThatIsNotThereLeavesTheSessionEmpty) {
  App_OpenSessionFromCommandLine(&app(), "/nowhere/gig.session");
  EXPECT_TRUE(dialog.Saw("Couldn't open session file.\n/nowhere/gig.session", "File error"));
  EXPECT_EQ(sessions.calls, std::vector<std::string>{});
}
