#include "app/startup.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <unistd.h>

#include "app/app.h"
#include "app/midi_feedback.h"
#include "app/dialogs/device_dialog.h"
#include "app/file_commands.h"
#include "app/loopedit/loop_edit_model.h"
#include "app/session/session_store.h"
#include "app/settings/config_files.h"
#include "app/settings/file_locations.h"
#include "app/settings/preferences.h"
#include "app/settings/skin.h"
#include "app/sync_control.h"
#include "audio_io/audio_device.h"
#include "control/midi_ports.h"
#include "engine/audio.h"
#include "engine/message_dialog.h"
#include "engine/metronome.h"
#include "engine/undo.h"
#include "persist/config_directory.h"

namespace {

// show_title and undo changed: the window's title bar, Undo button and menu entry.
void WindowStateChanged() {
  App* app = App_Current();
  if (!app || !app->window) return;
  app->window->ShowTitleBar(App_SystemConfiguration().show_title != 0);
  app->window->EnableMenuEntry(CommandId(Command::TransportUndo), App_Preferences().undo != 0);
}

// A start directory that cannot be used leaves the files to the current directory: "."
// rather than an empty text, which would put them at the root of the file system.
void SetConfigDirectory(const std::string& start) {
  ConfigDirectory_SetPortable(".");
  if (start.empty()) {
    MessageDialog_Show(nullptr, "Couldn't get current directory", "Error");
  } else if (start.size() >= 260) {
    MessageDialog_Show(nullptr, "Current directory path too long", "Error");
  } else {
    ConfigDirectory = start;
  }
}

// An installed program: the user's folders are made when missing. A configuration folder
// that cannot be written leaves the program on its defaults, saving no configuration; a
// missing data folder is told once, and the program runs without clicks and help.
void UseInstalledLocations(const FileLocations& where) {
  ConfigDirectory_SetPortable(where.config);
  DataDirectory = where.data;
  UserDataDirectory = where.userData;
  std::error_code ec;
  std::filesystem::create_directories(where.config, ec);
  if (ec || ::access(where.config.c_str(), W_OK) != 0) {
    ConfigDirectoryReadOnly = true;
    MessageDialog_Show(nullptr,
                       "Unable to use the configuration folder:\n" + where.config +
                           "\nKestrine runs with its default settings and saves no configuration.",
                       "Configuration Folder");
  }
  std::filesystem::create_directories(where.userData, ec);  // a save there reports its own failure
  if (!std::filesystem::exists(DataDirectory_File("help.txt"), ec))
    MessageDialog_Show(nullptr,
                       "Kestrine's data folder is missing:\n" + where.data +
                           "\nThe click sounds and help are not available.",
                       "Data Folder");
}

}  // namespace

bool App_InitApplicationData(App* app) {
  ConfigFiles_InitDefaults();
  app->loopTime.lastLoopTime = -1.0;
  app->session.directory = UserDataDirectory_Path();
  app->session.name = "untitled";
  app->session.named = false;
  App_Attach(app);
  MidiPorts_UseSendSettings(&App_Preferences().midi);
  Preferences_SetWindowStateHook(WindowStateChanged);
  if (!LoopStrip_Init(&app->tracks, LoopTime_InitialLoopSeconds(app->loopTime))) {
    MessageDialog_Show(nullptr, "LoopStrip_Init() failed", "InitApplicationData()");
    return false;
  }
  for (int i = 0; i < kStripCount; ++i) app->tracks.nameFields[i] = app->tracks.strips[i].name;
  EffectsPanel_Init(&app->effects);
  LoopStrip_SetFeedback(&app->tracks, app->tracks.feedback);
  Audio_SetMetronomeVolume(app->metronome.volume / 127.0);
  Audio_SelectRecordTrack(TrackStrips_CurrentSlot(&app->tracks));
  Audio_SetLoopSelection(TrackStrips_CurrentSlot(&app->tracks), 1);
  Audio_ResetUndo();  // the current track as the first undo point ("Nothing to Undo")
  app->fields[PanelField::Seconds] = "4.000000";
  app->fields[PanelField::Measures] = std::to_string(app->loopTime.measures);
  app->fields[PanelField::MaxTime] = "20.000000";
  app->fields[PanelField::Tempo] = "120";
  app->fields[PanelField::Beats] = std::to_string(app->loopTime.beatsPerMeasure);
  app->fields[PanelField::Countoff] = std::to_string(Audio_GetMetronomeCountoff());
  app->fields[PanelField::MuteAfter] = std::to_string(Audio_GetMetronomeMax());
  return true;
}

bool App_Start(App* app, const std::string& startDirectory, const AppSeams& seams) {
  return App_Start(app, FileLocations_Portable(startDirectory), seams);
}

bool App_Start(App* app, const FileLocations& where, const AppSeams& seams) {
  app->tracks.current = 0;
  AudioIo_Install();
  if (!Audio_Init()) return false;
  Skin_Reset(&App_Skin());
  if (where.portable)
    SetConfigDirectory(where.start);
  else
    UseInstalledLocations(where);
  app->window = seams.window;
  app->dialogs = seams.dialogs;
  // The program's own session store unless the caller brings one (tests do).
  if (!seams.sessions && !app->ownedSessions) app->ownedSessions = std::make_unique<AppSessionStore>(App_SessionParts(app));
  app->sessions = seams.sessions ? seams.sessions : app->ownedSessions.get();
  if (!seams.loopEdit && !app->ownedLoopEdit) app->ownedLoopEdit = App_MakeLoopEditView(app);
  app->loopEdit = seams.loopEdit ? seams.loopEdit : app->ownedLoopEdit.get();
  // The manager is told of the program at once, and from here nothing asks: no message
  // of start-up may hold a session's launch.
  if (const char* url = std::getenv("NSM_URL")) App_StartNsm(app, url);
  if (!App_InitApplicationData(app)) {
    App_StopNsm(app);
    App_Detach(app);
    Audio_Shutdown();
    return false;
  }
  App_Preferences().quicksave_directory.clear();

  // Configuration files. Without Preferences.xml the default click sounds still load.
  App_SystemConfiguration().skin.clear();
  ReadSystemConfiguration();
  std::error_code ec;
  const bool hasPreferences = std::filesystem::exists(ConfigDirectory_File("Preferences.xml"), ec);
  ReadPreferences();
  // A file from before the seam crossfades has no row for them: the default applies.
  Preferences_ApplySeamCrossfade(App_Preferences().seam_crossfade_ms);
  if (!hasPreferences) {
    Preferences_ApplyMetronomeSound(true, App_Preferences().metronome_accent);
    Preferences_ApplyMetronomeSound(false, App_Preferences().metronome_beat);
  }
  // Without DeviceConfig.xml (a first start) the program looks for a device itself.
  const bool deviceConfigured = std::filesystem::exists(ConfigDirectory_File("DeviceConfig.xml"), ec);
  ConfigFiles_SetDeviceDefaults();
  ReadDeviceConfiguration();
  const bool audio = deviceConfigured ? Audio_OpenConfiguredDevice() : DeviceDialog_OpenFirstChoice();

  if (!OpenMidiPorts()) {
    App_StopNsm(app);
    Audio_Shutdown();
    App_Detach(app);
    return false;
  }
  MidiHooks_Install();
  App_StartOsc(app);
  App_StartSync(app);

  if (app->sessions) {
    if (!app->sessions->DefaultExists() && !ConfigDirectoryReadOnly) app->sessions->SaveDefault();
    App_LoadDefaultSession(app);
  }
  Audio_SetMetronomeTime(LoopTime_MeasureSeconds(app->loopTime), app->loopTime.beatsPerMeasure, false);
  Audio_ResetUndo();
  Preferences_ApplyShowTitle(App_SystemConfiguration().show_title);
  app->session.dirty = false;
  App_ShowTitle(app);
  // Told once the panel shows the default session, so that the message does not stand
  // over empty fields.
  if (!audio) {
    if (app->window) app->window->Refresh();
    MessageDialog_Show(nullptr, "Please go to Options->Select Audio Devices\nand choose an audio device.",
                       "Select an Audio Device");
  }
  if (app->window) {
    if (!app->window->StartTimers()) {
      MessageDialog_Show(nullptr, "Could not SetTimer()!", "InitApplicationData()");
      app->window->Close();
      return true;  // the window's destruction runs the shutdown
    }
    app->window->FocusPanel();
  }
  App_SampleLoopTime(app);
  App_NsmReady(app);
  return true;
}

void App_Shutdown(App* app) {
  if (app->window) app->window->StopTimers();
  App_WaitForSaves(app);  // a save under way is finished: its files are the user's
  App_AbandonLoads(app);  // before the engine goes: a reader may still hold a buffer
  App_StopOsc(app);
  App_StopNsm(app);
  App_StopSync(app);
  MidiHooks_Remove();
  if (!app->exitInProgress) {
    App_MidiFeedbackDarken(app);  // no pad stays lit for a program that has gone
    CloseMidiPorts();
  }
  Audio_Shutdown();
  App_Detach(app);
}

void App_FatalError(App* app, const char* file, int line) {
  if (app->exitInProgress) return;
  app->exitInProgress = true;
  App_StopOsc(app);
  App_StopSync(app);
  MidiHooks_Remove();
  CloseMidiPorts();
  if (app->sessions && app->sessions->SaveInProgress()) {
    App_SetSessionName(app, kInProgressName, true);
    App_SetDirty(app, false);
  }
  char text[1024];
  std::snprintf(text, sizeof text,
                "Assert failed in %s at line %d.\n Unable to continue, program is exiting.\n"
                "Attempted to save session in directory:\n%s/InProgress",
                file, line, ConfigDirectory.c_str());
  MessageDialog_Show(nullptr, text, "Failure");
  if (app->window) app->window->Close();
}

bool App_Close(App* app) {
  // Under a manager that can show the window again, closing it only hides it: the
  // manager ends the program, having saved what it wanted.
  if (App_NsmHideOnClose(app)) return false;
  if (!app->exitInProgress && !App_ConfirmUnsaved(app)) return false;
  App_AbandonLoads(app);  // nothing half read is handed over to a closing program
  return true;
}
