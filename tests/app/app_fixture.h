#pragma once
// The application brought up headless on a fresh engine, with recording doubles for the
// window, the dialogs, the session store, the loop edit view and the file dialog, and an
// in-memory MIDI port.
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/model/progress_dialog.h"
#include "audio_io/file_dialog.h"
#include "control/memory_midi_backend.h"
#include "support/engine_fixture.h"

struct RecordingWindow : WindowHost {
  void SetTitle(const std::string& t) override { title = t; }
  void ShowTitleBar(bool shown) override { titleBar = shown; }
  void EnableMenuEntry(int, bool) override {}
  void FocusPanel() override {}
  void Close() override { closed = true; }
  void ShowWindow(bool s) override { shown = s; }
  bool StartTimers() override { return true; }
  void StopTimers() override {}
  void StartFlashTimer(int) override {}
  void Refresh() override { ++refreshes; }
  std::string title;
  bool titleBar = true, closed = false, shown = true;
  int refreshes = 0;
};

struct RecordingDialogs : DialogHost {
  bool SelectTrack(int* strip) override { *strip = selectTrack; return selectTrack >= 0; }
  bool QuicksaveName(std::string* name) override { *name = quicksaveName; return true; }
  bool Run(ModalDialog) override { if (during) during(); return true; }
  void About(const AboutText& text) override { about = text; }
  void Help(const std::vector<std::string>& lines) override { help = lines; }
  int selectTrack = -1;
  std::vector<std::string> help;  // the lines the help list showed last
  std::string quicksaveName = "Mine";
  std::function<void()> during;  // runs while a modal dialog is open
  AboutText about;
};

struct RecordingSessions : SessionStore {
  bool Save(const std::string& base) override { return Call("Save " + base); }
  bool Load(const std::string& base) override { return Call("Load " + base); }
  bool DefaultExists() override { return true; }
  bool SaveDefault() override { return Call("SaveDefault"); }
  bool LoadDefault() override { return Call("LoadDefault"); }
  bool Quicksave(const std::string& name) override { return Call("Quicksave " + name); }
  bool LoadQuicksave(int n) override { return Call("LoadQuicksave " + std::to_string(n)); }
  bool SaveInProgress() override { return Call("SaveInProgress"); }
  bool Call(const std::string& what) { calls.push_back(what); return result; }
  std::vector<std::string> calls;
  bool result = true;
};

struct RecordingLoopEdit : LoopEditModel {
  void MoveCursor(int d, bool beat, bool sel) override { Add("Move", d, beat, sel); }
  void CursorKey(int d, bool ctrl, bool shift) override { Add("Key", d, ctrl, shift); }
  void SetPosition(double f, bool beat, bool max) override { Add("Position", static_cast<int>(f * 100), beat, max); }
  void CursorToLoopEdge(bool end, bool sel) override { Add("Edge", end, sel, false); }
  void Zoom(ZoomStep z) override { Add("Zoom", static_cast<int>(z), false, false); }
  void Trim() override { calls.push_back("Trim"); }
  void LoopSelection() override { calls.push_back("LoopSelection"); }
  void SetStartPoint() override { calls.push_back("SetStartPoint"); }
  void Reset(int) override {}
  void Redraw() override { ++redraws; }
  void Add(const char* what, int a, bool b, bool c) {
    calls.push_back(std::string(what) + " " + std::to_string(a) + (b ? " 1" : " 0") + (c ? " 1" : " 0"));
  }
  std::string Last() const { return calls.empty() ? std::string() : calls.back(); }
  std::vector<std::string> calls;
  int redraws = 0;
};

// Records what a progress window was asked to show.
struct RecordingProgress : ProgressDialog {
  void Open(const std::string& title, int range) override {
    calls.push_back(title + " " + std::to_string(range));
    if (duringOpen) duringOpen();
  }
  void Step() override { ++steps; }
  void Close() override { calls.push_back("Close"); }
  bool Closed() const { return calls.empty() || calls.back() == "Close"; }
  bool CancelRequested() override { return cancel; }
  std::vector<std::string> calls;
  int steps = 0;
  bool cancel = false;  // the Cancel button has been pressed
  std::function<void()> duringOpen;  // runs while the window opens (it may draw itself)
};

// Answers file dialogs from a script and records their titles.
struct ScriptedFiles : FileDialog {
  ScriptedFiles() { FileDialog_Install(this); }
  ~ScriptedFiles() override { FileDialog_Install(nullptr); }
  std::string Open(void*, const std::string& title, const std::vector<FileFilter>&) override { return Answer(title); }
  std::string Save(void*, const std::string& title, const std::vector<FileFilter>&) override { return Answer(title); }
  std::string Answer(const std::string& title) {
    titles.push_back(title);
    if (during) during();
    if (answers.empty()) return {};
    std::string a = answers.front();
    answers.pop_front();
    return a;
  }
  std::deque<std::string> answers;
  std::vector<std::string> titles;
  std::function<void()> during;
};

class AppTest : public EngineTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A fresh engine and application (the row table starts every row afresh).
  void Restart();

  App& app() { return *app_; }
  LoopStrip& strip(int i) { return app_->tracks.strips[i]; }
  int slot(int i) const { return app_->tracks.strips[i].slot; }
  // A command, and the file reads it began.
  void Do(Command c, int track = 0, int value = 0) {
    App_Command(app_.get(), c, App_Parameter(track, value));
    App_WaitForLoads(app_.get());
  }
  void Drop(int strip, const std::vector<std::string>& paths) {
    App_Drop(app_.get(), strip, paths);
    App_WaitForLoads(app_.get());
  }
  void Drain() { App_DrainCommands(app_.get()); }
  void Type(const std::string& chars) {
    for (char c : chars) App_Character(app_.get(), c);
  }
  // A 16-bit stereo WAV of `frames` frames at 48 kHz in the test directory.
  std::string MakeWav(const std::string& name, int frames, int16_t value);
  // Peak of a track's loop audio.
  float LoopPeak(int strip);

  std::unique_ptr<App> app_;
  RecordingWindow window;
  RecordingDialogs dialogs;
  RecordingSessions sessions;
  RecordingLoopEdit loopEdit;
  ScriptedFiles files;
  MemoryMidiBackend midi;
  int midiIn = -1;
  std::string dir;

 private:
  void BringUp();
  void TakeDown();
};
