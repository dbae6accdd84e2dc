#pragma once
// Following an external tempo: the application starts the chosen source after the MIDI
// ports, lets the Tempo field and the loop time follow it at timer 1, and keeps the panel's
// sync line. User-interface thread only.
#include <string>

struct App;

// The source followed: the command line's for this run when given, else the preferences'.
int App_SyncSource(const App* app);
// Starts following App_SyncSource (Internal: nothing to start). A source that is not there
// is told in the sync line and the program keeps its own tempo meanwhile.
void App_StartSync(App* app);
void App_StopSync(App* app);
// Timer 1: the followed tempo into the Tempo field (and so the loop time and the click),
// the sync line refreshed.
void App_SyncTick(App* app);
// The panel's sync line: empty with Internal.
const std::string& App_SyncStatus(const App* app);
