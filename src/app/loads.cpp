#include "app/loads.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

#include "app/app.h"
#include "app/settings/preferences.h"
#include "engine/message_dialog.h"

namespace fs = std::filesystem;

namespace {

using C = Command;

// What a finished loop load changes in the strip (the file is already the track's).
void TrackLoaded(App* app, int index, bool firstAttempt, const std::string& loaded) {
  const StripIndex strip{index};
  LoopStrip& s = app->tracks.strips[index];
  if (!firstAttempt) LoopStrip_SetMute(&app->tracks, strip, false);  // a located file is heard
  LoopStrip_SetName(&app->tracks, strip, fs::path(loaded).filename().string());
  s.directory = fs::path(loaded).parent_path().string();
  if (firstAttempt && App_Preferences().unmute_after_load_loop) LoopStrip_SetMute(&app->tracks, strip, false);
  s.empty = false;
  if (app->loopTime.mode == LoopTimeMaxTime) app->loopTime.firstLoopSet = true;
  if (index == app->tracks.current && app->loopEdit) app->loopEdit->Reset(index);
  App_SetDirty(app, true);
  if (app->loopEdit) app->loopEdit->Redraw();
  App_SampleLoopTime(app);
}

// Commands that change the loop of the track they act on (the current one, or the
// track they select).
bool ChangesLoop(Command c) {
  switch (c) {
    case C::TransportRecord: case C::TransportErase: case C::TransportSetLoop: case C::TransportMultiply:
    case C::TransportDivide: case C::TransportInsert: case C::ToggleStopRecord: case C::TogglePlayRecord:
    case C::EditTrimLoop: case C::LoopSelected: case C::SetStartPoint:
      return true;
    default:
      return false;
  }
}

// Commands that replace the session, save it half loaded, or may change every track
// (the loop time, the stream's rate).
bool ChangesSession(Command c) {
  if (c >= C::LoadQuicksave01 && c <= C::LoadQuicksave08) return true;
  if (c >= C::SaveQuicksave01 && c <= C::SaveQuicksave08) return true;
  switch (c) {
    case C::NewSession: case C::OpenSession: case C::SaveSession: case C::SaveSessionAs:
    case C::SaveDefaultConfig: case C::Quicksave: case C::SelectAudioDevicesDialog: case C::PreferencesDialog:
    case C::SetLoopTimeDialog: case C::LoopTimeMode: case C::SetLoopTime: case C::TapLoopTime:
    case C::TransportUndo:  // the history may hold the loading track
    case C::TransportRedo:
      return true;
    default:
      return false;
  }
}

// The strip a selection command makes current; -1 for other commands.
int SelectedStrip(const App* app, Command c, StripIndex strip) {
  switch (c) {
    case C::TrackRecord: case C::SetTrack: return strip.value;
    case C::NextTrack: return (app->tracks.current + 1) % kStripCount;
    case C::PrevTrack: return (app->tracks.current + kStripCount - 1) % kStripCount;
    default: return -1;
  }
}

// Says once per run of loads why a command was refused: a stream of refused MIDI
// commands must not pile up message boxes.
bool Refuse(App* app, const std::string& text) {
  AppLoads& l = app->loads;
  if (l.refusalShown) return true;
  l.refusalShown = true;
  const bool inside = std::exchange(l.inside, true);
  MessageDialog_Show(nullptr, text, kLoadingCaption);
  l.inside = inside;
  return true;
}

std::string TrackText(int strip) {
  char text[128];
  std::snprintf(text, sizeof text, "Track %d is still loading.\nTry again once it has loaded, or cancel its load.",
                strip + 1);
  return text;
}

constexpr const char* kSessionText = "A session is still loading.\nTry again once it has loaded, or cancel its load.";
constexpr const char* kLoopText = "A loop file is still loading.\nTry again once it has loaded, or cancel its load.";

}  // namespace

bool App_Loading(const App* app) { return !app->loads.tracks.empty() || app->loads.session; }

bool App_StripLoading(const App* app, int strip) {
  if (app->loads.session) return true;
  for (const AppLoads::TrackLoad& t : app->loads.tracks)
    if (t.strip == strip) return true;
  return false;
}

void App_AddTrackLoad(App* app, int strip, std::unique_ptr<LoopFileRead> read, bool firstAttempt) {
  AppLoads& l = app->loads;
  for (AppLoads::TrackLoad& t : l.tracks)
    if (t.strip == strip) t.read->Cancel();  // the newer file wins; the older ends untouched
  l.tracks.push_back({strip, firstAttempt, std::move(read)});
  if (!l.progress) {
    char title[64];
    std::snprintf(title, sizeof title, "Loading Track %d", strip + 1);
    // The window may draw itself while it opens: no load may end under it.
    const bool inside = std::exchange(l.inside, true);
    l.progress.emplace(true, title, 1);
    l.inside = inside;
  }
}

void App_AddSessionLoad(App* app, std::unique_ptr<SessionLoading> load, std::function<void(App*)> loaded) {
  AppLoads& l = app->loads;
  l.session = std::move(load);
  l.sessionLoaded = std::move(loaded);
  const bool inside = std::exchange(l.inside, true);
  const bool ended = l.session->Advance();
  l.inside = inside;
  if (!ended) return;
  std::unique_ptr<SessionLoading> session = std::move(l.session);
  std::function<void(App*)> then = std::move(l.sessionLoaded);
  if (session->Loaded() && then) then(app);
  if (session->Loaded() && session->Cancelled()) App_SetDirty(app, true);
}

void App_PollLoads(App* app) {
  AppLoads& l = app->loads;
  if (l.inside || app->busy || !App_Loading(app)) return;
  l.inside = true;
  if (l.progress && l.progress->Cancelled())
    for (AppLoads::TrackLoad& t : l.tracks) t.read->Cancel();
  // In the order started: a file read early waits for the ones started before it.
  while (!l.tracks.empty() && (l.tracks.front().read->Done() || l.tracks.front().read->Cancelled())) {
    AppLoads::TrackLoad t = std::move(l.tracks.front());
    l.tracks.erase(l.tracks.begin());
    const std::string loaded = t.read->Finish();
    if (!loaded.empty()) TrackLoaded(app, t.strip, t.firstAttempt, loaded);
    if (l.progress) l.progress->Step();
  }
  if (l.tracks.empty()) l.progress.reset();
  if (l.session && l.session->Advance()) {
    std::unique_ptr<SessionLoading> session = std::move(l.session);
    std::function<void(App*)> then = std::move(l.sessionLoaded);
    if (session->Loaded() && then) then(app);
    // What was skipped is not in the session's files: closing asks before it is lost.
    if (session->Loaded() && session->Cancelled()) App_SetDirty(app, true);
  }
  if (!App_Loading(app)) l.refusalShown = false;
  l.inside = false;
}

void App_WaitForLoads(App* app) {
  while (App_Loading(app)) {
    App_PollLoads(app);
    if (App_Loading(app)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void App_CancelLoads(App* app) {
  AppLoads& l = app->loads;
  for (AppLoads::TrackLoad& t : l.tracks) t.read->Cancel();
  if (l.session) l.session->Cancel();
  App_WaitForLoads(app);
}

void App_AbandonLoads(App* app) {
  AppLoads& l = app->loads;
  if (l.inside) {
    // Asked from inside a load (an Exit arriving while it shows a question): the load is
    // on the stack. Stop its reading; shutdown drops it once the stack has unwound.
    for (AppLoads::TrackLoad& t : l.tracks) t.read->Cancel();
    if (l.session) l.session->Cancel();
    return;
  }
  l.tracks.clear();  // each reader stopped and waited for; its buffer freed
  l.session.reset();
  l.sessionLoaded = nullptr;
  l.progress.reset();
  l.refusalShown = false;
}

bool App_RefusedWhileLoading(App* app, Command c, StripIndex strip) {
  if (!App_Loading(app)) return false;
  const bool session = app->loads.session != nullptr;
  if (ChangesSession(c)) return Refuse(app, session ? kSessionText : kLoopText);
  if (session && (ChangesLoop(c) || c == C::LoadLoop || c == C::SaveLoop || SelectedStrip(app, c, strip) >= 0))
    return Refuse(app, kSessionText);
  const int selected = SelectedStrip(app, c, strip);
  if (selected >= 0 && App_StripLoading(app, selected)) return Refuse(app, TrackText(selected));
  if (ChangesLoop(c) && App_StripLoading(app, app->tracks.current)) return Refuse(app, TrackText(app->tracks.current));
  return false;
}

bool App_RefuseSessionChange(App* app) {
  if (!App_Loading(app)) return false;
  return Refuse(app, app->loads.session ? kSessionText : kLoopText);
}
