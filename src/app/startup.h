#pragma once
// Start-up and shutdown in their fixed order, free of any toolkit: the Qt main (or the
// headless program) calls App_Start, runs its event loop with the timers, and calls
// App_Shutdown after the window is gone. User-interface thread only.
#include <string>

struct App;
struct FileLocations;
class WindowHost;
class DialogHost;
class SessionStore;
class LoopEditModel;

struct AppSeams {
  WindowHost* window = nullptr;
  DialogHost* dialogs = nullptr;
  SessionStore* sessions = nullptr;
  LoopEditModel* loopEdit = nullptr;
};

// The whole start-up: engine and audio layer, ConfigDirectory from `startDirectory`
// (empty when it could not be read), application data, the configuration files, the
// audio device (on a first start, without DeviceConfig.xml, the one the device dialog
// would offer), MIDI, the default session and the timers. A device that did not open
// is reported once the window shows the default session. False when the program must
// end (its exit code is then 0); everything else is reported and start-up goes on.
bool App_Start(App* app, const std::string& startDirectory, const AppSeams& seams);
// The same with the files where `where` puts them (an installed program's folders).
bool App_Start(App* app, const FileLocations& where, const AppSeams& seams);

// The application data the main window's creation sets up: defaults, the engine hooks,
// the eight strips, the effects panel. Tests that bring up the engine themselves call
// it after Audio_Init. False (after "LoopStrip_Init() failed") when a loop is missing.
bool App_InitApplicationData(App* app);

// Shutdown in reverse order: timers, MIDI ports, engine and audio layer.
void App_Shutdown(App* app);

// The fatal-error path (at most once): MIDI ports closed, the session saved as the
// InProgress quicksave, "Failure" shown, the window closed.
void App_FatalError(App* app, const char* file, int line);
