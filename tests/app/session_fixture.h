#pragma once
// The application on a fresh engine with the session store, in a temporary
// ConfigDirectory, with scripted message and file dialogs and a recording progress
// window. Restart() brings up a new engine and application, as a new run of the program.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/progress_dialog.h"
#include "app/session_store.h"
#include "audio_io/scripted_file_dialog.h"
#include "persist/temp_dir.h"
#include "support/engine_fixture.h"

namespace session_test {

struct RecordingProgress : ProgressDialog {
  void Open(const std::string& title, int range) override {
    calls.push_back("Open " + title + " " + std::to_string(range));
  }
  void Step() override { ++steps; }
  void Close() override { calls.push_back("Close"); }
  std::vector<std::string> calls;
  int steps = 0;
};

struct TitleWindow : WindowHost {
  void SetTitle(const std::string& t) override { title = t; }
  void ShowTitleBar(bool) override {}
  void EnableMenuEntry(int, bool) override {}
  void FocusPanel() override {}
  void Close() override {}
  bool StartTimers() override { return true; }
  void StopTimers() override {}
  void StartFlashTimer(int) override {}
  std::string title;
};

class SessionTest : public EngineTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  void Restart();

  // Gives strip `i` a loop of `seconds` holding Sample(i, n) and marks it recorded.
  void FillTrack(int i, double seconds, int channels = 2);
  static float Sample(int track, int n);
  // Every sample of strip `i` matches what FillTrack put there (16-bit quantisation).
  void ExpectAudio(int i, double seconds, int channels = 2);
  void Name(int i, const std::string& name);
  std::string Path(const std::string& relative) const { return dir.File(relative); }
  bool Exists(const std::string& relative) const;

  TempDir dir;
  ScriptedFileDialog files;
  RecordingProgress progress;
  TitleWindow window;
  std::unique_ptr<App> app;
  std::unique_ptr<AppSessionStore> store;

 private:
  void BringUp();
  void TakeDown();
};

}  // namespace session_test
