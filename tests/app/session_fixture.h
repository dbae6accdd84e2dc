#pragma once
// The application on a fresh engine with the session store, in a temporary
// ConfigDirectory, with scripted message and file dialogs and a recording progress
// window. Restart() brings up a new engine and application, as a new run of the program.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "app/app.h"
#include "app/preferences.h"
#include "app/progress_dialog.h"
#include "app/session_store.h"
#include "app/startup.h"
#include "audio_io/scripted_file_dialog.h"
#include "control/trigger_set.h"
#include "persist/config_directory.h"
#include "persist/temp_dir.h"
#include "support/engine_fixture.h"

namespace session_test {

// The folder of a test source, also when the compiler was given its path relative to the
// build folder (the test programs live one folder below it).
inline std::filesystem::path SourceFolder(const char* file) {
  std::filesystem::path path(file);
  if (path.is_relative()) path = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / path;
  return path.parent_path();
}

struct RecordingProgress : ProgressDialog {
  void Open(const std::string& title, int range) override { calls.push_back(title + " " + std::to_string(range)); }
  void Step() override { ++steps; }
  void Close() override { calls.push_back("Close"); }
  std::vector<std::string> calls;
  int steps = 0;
};

class SessionTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    BringUp();
  }
  void TearDown() override {
    TakeDown();
    EngineTest::TearDown();
  }
  void Restart() {
    TakeDown();
    EngineTest::TearDown();
    EngineTest::SetUp();
    BringUp();
  }

  static float Sample(int track, int n) {
    return static_cast<float>((n * (track + 3) + track * 977) % 2001 - 1000) / 2000.0f;
  }
  // Gives strip `i` a recorded loop of `seconds` holding Sample(i, n), named `name`.
  void FillTrack(int i, double seconds, const std::string& name = {}, int channels = 2) {
    ASSERT_TRUE(LoopStrip_Recreate(app.get(), StripIndex{i}, seconds, false, channels));
    LoopTrack& t = track(app->strips[i].slot);
    for (int n = 0; n < t.length * channels; ++n) t.pBuffer.load()[n] = Sample(i, n);
    app->strips[i].empty = false;
    if (!name.empty()) app->fields[static_cast<int>(PanelField::TrackName1) + i] = name;
  }
  // Strip `i` holds what FillTrack put there, within 16-bit quantisation.
  void ExpectAudio(int i, double seconds, int channels = 2) {
    const LoopTrack& t = track(app->strips[i].slot);
    ASSERT_EQ(t.length, static_cast<int32_t>(seconds * 48000.0)) << "track " << i + 1;
    ASSERT_EQ(static_cast<int>(t.numChannels), channels) << "track " << i + 1;
    int wrong = 0;
    for (int n = 0; n < t.length * channels; ++n) wrong += std::fabs(t.pBuffer.load()[n] - Sample(i, n)) > 1.0f / 16384;
    EXPECT_EQ(wrong, 0) << "track " << i + 1;
  }
  std::string Path(const std::string& relative) const { return dir.File(relative); }
  bool Exists(const std::string& relative) const { return std::filesystem::exists(dir.path / relative); }

  TempDir dir;
  ScriptedFileDialog files;
  RecordingProgress progress;
  std::unique_ptr<App> app;
  std::unique_ptr<AppSessionStore> store;

 private:
  void BringUp() {
    ConfigDirectory = dir.path.string();
    app = std::make_unique<App>();
    ASSERT_TRUE(App_InitApplicationData(app.get()));
    store = std::make_unique<AppSessionStore>(app.get());
    ProgressDialog_Install(&progress);
  }
  void TakeDown() {
    ProgressDialog_Install(nullptr);
    Triggers().ClearAll();
    App_Detach(app.get());
    store.reset();
    app.reset();
    ConfigDirectory.clear();
    Preferences_ResetDefaults();
  }
};

}  // namespace session_test
