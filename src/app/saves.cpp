#include "app/saves.h"

#include <utility>

#include "app/app.h"
#include "control/fire_action.h"

bool App_Saving(const App* app) { return app->saves.saving != nullptr; }

namespace {

void End(App* app, bool wait) {
  AppSaves& s = app->saves;
  if (!s.saving || s.inside) return;
  // Its messages may run the window: commands that would begin another save meanwhile
  // are dropped, as during any command that shows a dialog.
  s.inside = true;
  const bool busy = std::exchange(app->busy, true);
  const bool ended = s.saving->Advance(wait);
  app->busy = busy;
  s.inside = false;
  if (!ended) return;
  std::unique_ptr<SessionSaving> saving = std::move(s.saving);
  std::function<void(App*, bool)> then = std::move(s.then);
  s.lastSaved = saving->Saved();
  if (then) then(app, s.lastSaved);
}

}  // namespace

void App_AddSave(App* app, std::unique_ptr<SessionSaving> saving, std::function<void(App*, bool)> then) {
  if (app->saves.inside) {
    // Begun from inside the end of another (which is on the stack): finished here.
    const bool saved = saving->Advance(true) && saving->Saved();
    if (then) then(app, saved);
    return;
  }
  App_WaitForSaves(app);
  app->saves.saving = std::move(saving);
  app->saves.then = std::move(then);
  End(app, false);
}

void App_PollSaves(App* app) {
  if (!app->busy) End(app, false);
}

bool App_WaitForSaves(App* app) {
  End(app, true);
  return app->saves.lastSaved;
}

LoopSaving::LoopSaving(int slot, const std::string& path)
    : writes_(Audio_StartLoopWrites({{slot, path}}, {}, nullptr, [] { ControlCommands().Wake(); })) {}

bool LoopSaving::Advance(bool wait) {
  if (!writes_) return true;
  if (!wait && !writes_->Done()) return false;
  writes_->Wait();
  saved_ = writes_->Failed() < 0;
  if (!saved_) writes_->ShowFailure();
  writes_.reset();
  return true;
}
