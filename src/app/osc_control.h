#pragma once
// OSC control of the application: the server's requests acted on, on the user-interface
// thread, and the state told to the registered clients.
//
// An action goes through Fire, the path a MIDI trigger takes, so the busy rule, the
// immediate transport commands and undo behave the same whichever controller sent it.
// A /kestrine/get is answered from a snapshot of the application taken at that moment;
// registered clients get each changed value at timer 1 (so within one tick) and the play
// positions at most 30 times a second.
#include <chrono>
#include <memory>

#include "control/osc_clients.h"
#include "control/osc_server.h"
#include "control/osc_state.h"

struct App;

struct AppOsc {
  OscServer server;
  int port = 0;                // as asked for (the server's Port() is the one bound)
  bool allInterfaces = false;
  OscClients clients;
  OscState last;  // what the clients were last told
  std::chrono::steady_clock::time_point nextPositions{};
  uint64_t repliesFailed = 0;
};

// The port OSC uses: the command line's when one was given, else the preferences'.
int App_OscPort(const App* app);
// Starts the server on App_OscPort (nothing for 0). A port that cannot be opened is told
// once and the program runs on without OSC. True when a server runs.
bool App_StartOsc(App* app);
void App_StopOsc(App* app);
// After the preferences changed: starts, moves or stops the server when the port or the
// interfaces it should listen on differ from those it has (registered clients are then
// dropped: they knew the old port).
void App_OscPreferencesChanged(App* app);
// Acts on every request waiting (App_DrainCommands calls it first).
void App_OscDrain(App* app);
// Tells the registered clients what changed (timer 1).
void App_OscTick(App* app);
// The state as OSC reports it.
OscState App_OscState(const App* app);
