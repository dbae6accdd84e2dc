#pragma once
// The save under way: a session, a quicksave or one loop whose files are written on a
// thread of their own. The window keeps running meanwhile; the writer wakes the command
// drain when it stops, and the drain (or timer 1) ends the save on this thread: the
// session file is written, then what follows a save (the session's name, its clean
// mark, a message). A save that begins while another is under way waits for it first,
// and so does whatever would replace the session or end the program.
//
// User-interface thread only.
#include <functional>
#include <memory>
#include <string>

#include "app/app_host.h"
#include "audio_io/loop_files.h"

struct App;

struct AppSaves {
  std::unique_ptr<SessionSaving> saving;   // the save under way, if any
  std::function<void(App*, bool)> then;   // what follows it, told whether it was saved
  bool lastSaved = false;                  // how the last save that ended went
  bool inside = false;                     // a save is ending: no second end
};

bool App_Saving(const App* app);
// Hands over a save that has begun; `then` follows once it has ended (at once when it
// ended as it began). A save still under way is ended first.
void App_AddSave(App* app, std::unique_ptr<SessionSaving> saving, std::function<void(App*, bool)> then);
// Ends the save whose files have been written (App_DrainCommands and timer 1).
void App_PollSaves(App* app);
// Waits for the save under way to end; true when the last save ended saved.
bool App_WaitForSaves(App* app);

// One loop saved to a file the user chose (the Save Loop command); a failure is told
// when the save ends.
class LoopSaving final : public SessionSaving {
 public:
  LoopSaving(int slot, const std::string& path);
  bool Advance(bool wait) override;
  bool Saved() const override { return saved_; }

 private:
  std::unique_ptr<LoopFileWrites> writes_;
  bool saved_ = false;
};
