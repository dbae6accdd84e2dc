#include "app/sync_control.h"

#include <cmath>
#include <cstdio>

#include "app/app.h"
#include "app/settings/preferences.h"
#include "engine/audio.h"
#include "control/jack_midi_backend.h"

namespace {

// The current track's own tempo at the followed bar length: its length in whole bars of
// the source, played in its own time. 0 when it holds no recording.
double LoopTempo(const App* app, double followedTempo) {
  if (app->tracks.strips[app->tracks.current].empty || followedTempo <= 0) return 0.0;
  const double seconds = Audio_GetLoopSeconds(TrackStrips_CurrentSlot(&app->tracks));
  const int beats = app->loopTime.beatsPerMeasure;
  if (seconds <= 0 || beats <= 0) return 0.0;
  const double bars = std::round(seconds / (beats * 60.0 / followedTempo));
  return bars >= 1 ? bars * beats * 60.0 / seconds : 0.0;
}

void SyncChanged() {
  if (App* app = App_Current()) {
    app->syncFromCommandLine = -1;  // the user's new choice wins over the command line
    App_StartSync(app);
  }
}

}  // namespace

int App_SyncSource(const App* app) {
  return app->syncFromCommandLine >= 0 ? app->syncFromCommandLine : App_Preferences().sync_source;
}

void App_StartSync(App* app) {
  Preferences_SetSyncChangedHook(SyncChanged);
  SyncChoice c;
  c.kind = App_SyncSource(app);
  c.startOn = App_Preferences().sync_start_on;
  c.leadJack = App_Preferences().sync_lead_jack != 0;
  c.leadLink = App_Preferences().sync_lead_link != 0;
  c.tempo = app->loopTime.tempo;
  c.beatsPerBar = app->loopTime.beatsPerMeasure;
  c.jack = app->syncJack ? app->syncJack : &ProgramJackClient();
  c.link = app->syncLink;
  SyncFollower_Start(&app->sync, Audio_GetEngine(), c);
  app->syncStatus = SyncFollower_Status(app->sync, 0.0);
}

void App_StopSync(App* app) {
  Preferences_SetSyncChangedHook(nullptr);
  SyncFollower_Stop(&app->sync, Audio_GetEngine());
  app->syncStatus.clear();
}

void App_SyncTick(App* app) {
  if (app->sync.running == SyncInternal) {
    SyncFollower_LeadTick(&app->sync, Audio_GetEngine());
    return;
  }
  const SyncTick tick = SyncFollower_Tick(&app->sync, Audio_GetEngine(), app->loopTime.beatsPerMeasure);
  if (tick.tempoChanged) {
    // As if typed into the Tempo field: the loop time of "Measures" and the click's
    // measure follow; recorded loops keep their length.
    char text[32];
    std::snprintf(text, sizeof text, "%g", tick.tempo);
    App_Field(app, PanelField::Tempo) = text;
    if (App_CommitTempoFields(app))
      EffectsPanel_ApplyTempo(&app->effects, app->loopTime.tempo, app->loopTime.beatsPerMeasure);
  }
  app->syncStatus = SyncFollower_Status(app->sync, LoopTempo(app, app->sync.shownTempo));
}

const std::string& App_SyncStatus(const App* app) { return app->syncStatus; }
