#pragma once
// Loads under way: loop files whose samples are read on threads of their own, and the
// session load (a session, a quicksave) that reads them one by one. The window keeps
// running meanwhile; each reader wakes the command drain when it stops, and the drain
// (or timer 1) hands the finished buffer to the engine and brings the strips in step, in
// the order the loads were started. Commands that would change a loading track are
// refused with a message while its file is read.
//
// User-interface thread only; the readers touch nothing here.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/app_host.h"
#include "app/command_id.h"
#include "app/model/progress_dialog.h"
#include "app/strips/track_strips.h"
#include "audio_io/loop_files.h"

struct App;

struct AppLoads {
  struct TrackLoad {
    int strip = 0;
    bool firstAttempt = true;  // not a located file: the load may unmute the track
    std::unique_ptr<LoopFileRead> read;
  };
  std::vector<TrackLoad> tracks;             // in the order they were started
  std::optional<ProgressWindow> progress;    // while loop files are read
  std::unique_ptr<SessionLoading> session;   // while a session loads
  std::function<void(App*)> sessionLoaded;  // what follows a session that loaded
  bool refusalShown = false;                 // a refused command has been explained
  bool inside = false;                       // a load is moving on: no second drain
};

// Any load under way; a load of `strip` (a session load counts for every strip).
bool App_Loading(const App* app);
bool App_StripLoading(const App* app, int strip);

// Hands over a loop file being read for `strip`: a load of that strip still under way
// is cancelled (its track keeps what it held until this one ends).
void App_AddTrackLoad(App* app, int strip, std::unique_ptr<LoopFileRead> read, bool firstAttempt);
// Moves a session load on at once; `loaded` follows once it has loaded. Ends at once
// when the store loaded at once.
void App_AddSessionLoad(App* app, std::unique_ptr<SessionLoading> load, std::function<void(App*)> loaded);

// Finishes the loads whose files have been read (App_DrainCommands and timer 1).
void App_PollLoads(App* app);
// Waits for every load to end, for callers with nothing else to do.
void App_WaitForLoads(App* app);
// Cancels every load: each loop file's track keeps what it held; a session's tracks not
// yet read are left empty.
void App_CancelLoads(App* app);
// Drops every load without finishing any (the program is closing).
void App_AbandonLoads(App* app);

// True when `command` for `strip` must wait for a load: then refused, explained once.
bool App_RefusedWhileLoading(App* app, Command command, StripIndex strip);
// Refuses what would replace the session or change every track (true when refused).
bool App_RefuseSessionChange(App* app);

inline constexpr const char* kLoadingCaption = "Loading";
