#pragma once
// The application object: everything the program decides, free of any toolkit. The
// window calls the entry points below and afterwards reads what to show as data
// (panel_view.h); nothing else changes the application. One App exists while the
// program runs; tests make their own.
//
// Threads: every function here runs on the user-interface thread. The audio thread
// reaches the application only through atomics (the beat counter of the MIDI hooks, the
// fatal-error request) that timer 1 polls.
#include <atomic>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "app/app_host.h"
#include "app/command_id.h"
#include "app/loads.h"
#include "app/saves.h"
#include "app/loopedit/loop_edit_model.h"
#include "app/model/effects_panel.h"
#include "app/model/loop_time.h"
#include "app/model/metronome_panel.h"
#include "app/model/panel_fields.h"
#include "app/model/session_state.h"
#include "app/model/sync_follower.h"
#include "app/model/track_numbers.h"
#include "app/nsm_control.h"
#include "app/osc_control.h"
#include "app/session/session_file.h"
#include "app/strips/loop_strip.h"
#include "control/controller_feedback.h"
#include "control/fire_action.h"

inline constexpr const char* kAppTitle = "Kestrine";
inline constexpr const char* kAppVersion = "1.73";

struct MeterState {
  double held = 0.0;
  int holdCounter = 0;
  double level = 0.0;
};

struct App;
class JackOwnClient;
class LinkSession;

// The application's implementation of the immediate transport commands.
class AppTransportNow final : public TransportNow {
 public:
  explicit AppTransportNow(App* app) : app_(app) {}
  bool ExecuteTransportNow(uint32_t commandId) override;

 private:
  App* app_;
};

struct App {
  // ---- Strips and selection ----
  TrackStrips tracks;
  int pendingTrack = 0;  // 1..8 from the popup menu, 0 for none

  // ---- Flags ----
  bool busy = false;
  bool shiftHeld = false;
  bool controlHeld = false;
  bool exitInProgress = false;
  bool mixToDiskArmed = false;
  bool mixWriterRunning = false;  // what timer 1 saw last

  // ---- Session ----
  SessionState session;

  // ---- Panel values ----
  LoopTimeState loopTime;
  EffectsPanel effects;
  MetronomePanel metronome;
  PanelFields fields;  // the number fields; the name fields are the strips'
  PanelField focus = PanelField::None;
  std::string undoLabel = "Nothing to Undo";
  std::string undoDepthLabel;  // beside it: "3 more", "1 to redo"
  MeterState meters[4];  // input L, input R, output L, output R
  int meterLeds = 22;

  // ---- Seams ----
  WindowHost* window = nullptr;
  DialogHost* dialogs = nullptr;
  SessionStore* sessions = nullptr;
  LoopEditModel* loopEdit = nullptr;
  std::unique_ptr<SessionStore> ownedSessions;  // the store start-up made, if any
  std::unique_ptr<LoopEditModel> ownedLoopEdit;  // the view start-up made, if any

  // ---- OSC ----
  int oscPortFromCommandLine = -1;  // --osc-port, -1 when not given
  std::unique_ptr<AppOsc> osc;      // while a server runs
  int undoDepth = 0;                // undo steps available on the track Undo acts on

  // ---- Controller feedback ----
  ControllerFeedback feedback;  // the lamps the controller was last sent

  // ---- Session manager ----
  std::unique_ptr<AppNsm> nsm;  // while NSM_URL named one at start-up

  // ---- Loads whose files are read off this thread ----
  AppLoads loads;
  // ---- The save whose files are written off this thread ----
  AppSaves saves;

  // ---- Following an external tempo ----
  int syncFromCommandLine = -1;  // --sync, -1 when not given
  SyncFollower sync;
  JackOwnClient* syncJack = nullptr;  // the JACK client the transport is read on; null: the program's own
  LinkSession* syncLink = nullptr;    // the Link session followed; null: one of the program's, enabled
  std::string syncStatus;        // the panel's sync line

  AppTransportNow transportNow{this};
  // Set from any thread by the engine's fatal-error hook; timer 1 closes the window.
  std::atomic<bool> closeRequested{false};
};

// The application registered for the engine's hooks (at most one at a time).
App* App_Current();
// Binds `app` to the engine's hooks and the control layer (hooks, TransportNow, undo
// label). Start-up does it; tests that skip start-up call it after Audio_Init.
void App_Attach(App* app);
void App_Detach(App* app);

// ---- Entry points ----

// A command: id plus the parameter (low 16 bits the track, 8 or more the current one;
// high 16 bits the value). Menus, buttons, keys and posted trigger commands all end here.
void App_Command(App* app, uint32_t id, uint32_t parameter = 0);
inline void App_Command(App* app, Command c, uint32_t parameter = 0) {
  App_Command(app, CommandId(c), parameter);
}
inline uint32_t App_Parameter(int track, int value) {
  return (static_cast<uint32_t>(value & 0xFFFF) << 16) | static_cast<uint32_t>(track & 0xFFFF);
}
// The panel's sliders and knobs, by position 0..127 (the strip buttons are commands with
// their track: TrackMute, TrackSolo, TrackEffect, TrackSlow, TrackReverse, TrackSubmix,
// TrackRecord for "Active"). The effects sliders go through the effects panel model.
enum class Slider { TrackVolume, TrackPan, TrackEffectsMix, RecordFeedback, MetronomeVolume,
                    MasterVolume, SubmixAVolume, SubmixBVolume, Crossfade };
void App_Slider(App* app, Slider slider, int strip, int position);
// Acts on the waiting session-manager and OSC requests and on MIDI input the input
// watcher woke it for, then runs every posted command in posting order.
void App_DrainCommands(App* app);
// Posts a command to the queue (the keyboard handler and the Toggle Stop/Play row).
void App_Post(Command c, int track = 0, int value = 0);

// Keyboard: a character message; a key-down / key-up.
enum class Key { Enter, Tab, Left, Right, Shift, Control, Z, Y, F1, Other };
void App_Character(App* app, int character);
void App_KeyDown(App* app, Key key);
void App_KeyUp(App* app, Key key);
// The user edits a panel field (the field has the focus while it is edited).
void App_EditField(App* app, PanelField field, const std::string& text);
void App_FocusPanel(App* app);

// Files dropped on strip `strip`.
void App_Drop(App* app, int strip, const std::vector<std::string>& paths);

// Timers: 1 every 33 ms, 2 every 2 ms, 3 when the beat flash ends.
void App_Timer1(App* app);
void App_Timer2(App* app);
// Timer 2 has work: some MIDI input is polled that cannot wake the drain when input
// arrives (inputs that can are read by App_DrainCommands). Without, the window stops it,
// so that an idle program does not wake 500 times a second; timer 1 asks again at every
// tick.
bool App_Timer2Wanted(const App* app);
void App_Timer3(App* app);

// The window's close button, Exit: asks about unsaved changes; true to close.
bool App_Close(App* app);

// ---- Operations the entry points share ----

// Makes `strip` the current (record) track with the empty-track loop-time rules.
void App_SelectTrack(App* app, StripIndex strip);
// The session's dirty mark and name; each shows the new title.
void App_SetDirty(App* app, bool dirty);
void App_SetSessionName(App* app, const std::string& name, bool named);
// Before the session is replaced or the program ends: true to go on (the session is
// clean, the question is switched off, or the user answered Yes).
bool App_ConfirmUnsaved(const App* app);
// "%s %s - [%s]" with the title, the version and the session name, "*" while dirty.
std::string App_Title(const App* app);
// The one writer of the window's title: App::title and the window, from the session state.
void App_ShowTitle(App* app);
// Samples the current track's loop time (after every entry point).
void App_SampleLoopTime(App* app);
// The application's own loop edit view over its strips and loop time: a changed loop
// marks the session dirty, a fault ends the program through the fatal-error path.
std::unique_ptr<AppLoopEdit> App_MakeLoopEditView(App* app);
// The application's own loop edit view, or null when another one is installed.
AppLoopEdit* App_LoopEditView(App* app);
// The parts a session file holds, as the session store and file take them.
SessionParts App_SessionParts(App* app);
// A panel field's text as typed: a number field, or a strip's name field.
std::string& App_Field(App* app, PanelField field);
const std::string& App_Field(const App* app, PanelField field);
// The undo label for an UndoChangedCallback report.
void App_UndoChanged(App* app, int slot, int operation, const char* name, int redo);

// Transport commands of the current strip (transport.cpp).
void App_Record(App* app);
void App_Play(App* app);
void App_Stop(App* app);
void App_Pause(App* app);
void App_Insert(App* app);
void App_SetLoop(App* app);
void App_Erase(App* app);
void App_Multiply(App* app);
void App_Divide(App* app);
void App_Undo(App* app);
void App_Redo(App* app);
// Loading a loop into a strip (path empty: the file dialog); `dropped` retries with
// the locate question. The samples are read off this thread: true when the read has
// begun (App_PollLoads ends it), false when there is nothing to read.
bool App_LoadLoop(App* app, StripIndex strip, const std::string& path, bool dropped);
// Opening a session (path empty: the file dialog); its loop files are read off this
// thread, and the session is named once they have been read.
void App_OpenSession(App* app, const std::string& path);
// The session named on the command line: opened as by Open Session; a file that does not
// exist gives "Couldn't open session file." with its path, and the session stays empty.
void App_OpenSessionFromCommandLine(App* app, const std::string& path);
// Global half speed and reverse switches.
void App_SetGlobalSlow(App* app, bool on);
void App_SetGlobalReverse(App* app, bool on);
// Applies the metronome fields (count-off, maximum) and the tempo before Record/Play.
void App_ApplyMetronomeFields(App* app);
// Starts or stops the mix-to-disk writer.
void App_SetMixToDisk(App* app, bool armed);
// Commits the tempo and beats-per-measure fields; a refused value (its message shown)
// gives both fields back the values in force. False when refused.
bool App_CommitTempoFields(App* app);
// Commits the loop-time field of the current mode and applies the loop time to the
// target strips.
void App_CommitLoopTime(App* app);
