#include "app/app.h"

#include <cstdio>
#include <utility>

#include "app/settings/config_files.h"
#include "app/settings/preferences.h"
#include "app/startup.h"
#include "control/midi_ports.h"
#include "engine/audio.h"
#include "engine/message_dialog.h"
#include "engine/undo.h"

namespace {

App* g_app = nullptr;

void OnUndoChanged(int track, int operation, const char* name, int redo) {
  if (g_app) App_UndoChanged(g_app, track, operation, name, redo);
}

void OnTrackChanged(int track) {
  if (!g_app || !g_app->loopEdit) return;
  if (track == TrackStrips_CurrentSlot(&g_app->tracks)) g_app->loopEdit->Redraw();
}

// The engine's assertion has been shown; the window closes through the normal shutdown
// at the next timer tick, on the user-interface thread.
void OnFatalError() {
  if (g_app) g_app->closeRequested.store(true);
}

// stereo_record changed: the current strip's loop is re-created, silent, with its length.
void OnStereoRecord(int channels) {
  if (!g_app) return;
  const double seconds = Audio_GetLoopSeconds(TrackStrips_CurrentSlot(&g_app->tracks));
  LoopStrip_Recreate(&g_app->tracks, StripIndex{g_app->tracks.current}, seconds, true, channels,
                     channels == 2 ? "stereo loop creation failed" : "Mono loop creation failed");
}

}  // namespace

App* App_Current() { return g_app; }

void App_Attach(App* app) {
  g_app = app;
  Audio_SetUndoChangedCallback(OnUndoChanged);
  Audio_SetTrackChangedCallback(OnTrackChanged);
  if (AudioEngine* e = Audio_GetEngine()) e->FatalError = OnFatalError;
  Control_InstallTransportNow(&app->transportNow);
  Preferences_AttachEffectsPanel(&app->effects);
  Preferences_AttachLoopTime(&app->loopTime);
  Preferences_SetStereoRecordHook(OnStereoRecord);
}

void App_Detach(App* app) {
  if (g_app != app) return;
  Audio_SetUndoChangedCallback(nullptr);
  Audio_SetTrackChangedCallback(nullptr);
  if (AudioEngine* e = Audio_GetEngine()) e->FatalError = nullptr;
  Control_InstallTransportNow(nullptr);
  Preferences_AttachEffectsPanel(nullptr);
  Preferences_AttachLoopTime(nullptr);
  Preferences_SetStereoRecordHook(nullptr);
  Preferences_SetWindowStateHook(nullptr);
  g_app = nullptr;
}

// ---- Parts ----

std::unique_ptr<AppLoopEdit> App_MakeLoopEditView(App* app) {
  LoopEditEvents events{[app] { App_SetDirty(app, true); },
                        [app](int line) { App_FatalError(app, "LoopEditDlg", line); }};
  return std::make_unique<AppLoopEdit>(&app->tracks, &app->loopTime, std::move(events));
}

AppLoopEdit* App_LoopEditView(App* app) { return app ? dynamic_cast<AppLoopEdit*>(app->loopEdit) : nullptr; }

SessionParts App_SessionParts(App* app) {
  return SessionParts{&app->tracks, &app->loopTime, &app->effects, &app->metronome, &app->session, &app->fields};
}

std::string& App_Field(App* app, PanelField field) {
  const int strip = TrackNameStrip(field);
  return strip >= 0 ? app->tracks.nameFields[strip] : app->fields[field];
}

const std::string& App_Field(const App* app, PanelField field) {
  return App_Field(const_cast<App*>(app), field);
}

// ---- Session state ----

std::string App_Title(const App* app) {
  char text[400];
  std::snprintf(text, sizeof text, "%s %s - [%s]%s", kAppTitle, kAppVersion, app->session.name.c_str(),
                app->session.dirty ? "*" : "");
  return text;
}

void App_ShowTitle(App* app) {
  app->session.title = App_Title(app);
  if (app->window) app->window->SetTitle(app->session.title);
}

void App_SetDirty(App* app, bool dirty) {
  if (dirty) ++app->session.changes;
  const bool changed = app->session.dirty != dirty;
  app->session.dirty = dirty;
  if (changed || app->session.title.empty()) App_ShowTitle(app);
}

void App_SetSessionName(App* app, const std::string& name, bool named) {
  app->session.name = name;
  app->session.named = named;
  App_ShowTitle(app);
}

void App_SampleLoopTime(App* app) { app->loopTime.lastLoopTime = Audio_GetLoopSeconds(TrackStrips_CurrentSlot(&app->tracks)); }

void App_UndoChanged(App* app, int slot, int operation, const char* name, int redo) {
  const StripIndex strip = TrackStrips_StripOfSlot(&app->tracks, EngineSlot{slot});
  app->undoLabel = Undo_DescribeChange(strip.Number(), operation, name, redo);
  const UndoDepth depth = Undo_GetDepth();
  app->undoDepth = depth.undoLevels;
  app->undoDepthLabel = Undo_DescribeDepth(depth);
}

// ---- Selecting a track ----

void App_SelectTrack(App* app, StripIndex strip) {
  if (!strip.Valid()) return;
  const Preferences& prefs = App_Preferences();
  const bool maxTime = app->loopTime.mode == LoopTimeMaxTime;
  LoopStrip& s = app->tracks.strips[strip.value];
  if (maxTime && s.empty)
    LoopTime_ApplyMaxManualTimeField(&app->loopTime, app->fields[PanelField::MaxTime]);

  app->tracks.current = strip.value;

  if (s.empty) {
    if (maxTime) {
      const bool last = LoopTime_EmptyTakesLastRecording(app->loopTime, prefs.empty_to_last_rec);
      LoopStrip_Recreate(&app->tracks, strip, LoopTime_EmptyTrackMaxTime(app->loopTime, prefs.empty_to_last_rec), true);
      if (!last) app->loopTime.firstLoopSet = false;
    } else if (prefs.empty_to_last_rec && app->loopTime.lastLoopTime > 0) {
      LoopStrip_Recreate(&app->tracks, strip, app->loopTime.lastLoopTime, true);
    }
  }
  Audio_SelectRecordTrack(s.slot);
  Audio_SetLoopSelection(s.slot, 1);
  Audio_SetLatentInputTrack(s.slot);
  if (Audio_GetTransportState() == Recording) {
    Audio_RecordLooping(s.slot);
    if (s.empty) {
      s.empty = false;
      s.directory.clear();
      LoopStrip_SetMute(&app->tracks, strip, false);
    }
  }
  if (app->loopEdit) app->loopEdit->Reset(strip.value);
}

// ---- Global switches ----

void App_SetGlobalSlow(App* app, bool on) {
  app->tracks.globalSlow = on;
  for (int i = 0; i < kStripCount; ++i) LoopStrip_ApplySlow(&app->tracks, StripIndex{i});
}

void App_SetGlobalReverse(App* app, bool on) {
  app->tracks.globalReverse = on;
  for (int i = 0; i < kStripCount; ++i) LoopStrip_ApplyReverse(&app->tracks, StripIndex{i});
}

bool App_ConfirmUnsaved(const App* app) {
  return !App_Preferences().warn_unsaved_loops || !app->session.dirty ||
         MessageDialog_Show(nullptr, "Current session has unsaved changes, continue anyway?", "Session Unsaved",
                            MB_YESNO, kDontWarnAgain,
                            Preferences_StopWarning<&Preferences::warn_unsaved_loops>) == IDYES;
}
