#include "app/panel_view.h"

#include <algorithm>
#include <cstdio>

#include "app/app.h"
#include "app/settings/preferences.h"
#include "audio_io/mix_disk_writer.h"
#include "engine/audio.h"

namespace {

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", s);
  return text;
}

}  // namespace

int Meter_LitCount(double level, int leds) {
  return static_cast<int>(leds * std::min(level * 1.12, 0.999));
}

void Meter_Update(MeterState* m, double level, bool peakHold) {
  m->level = level;
  if (!peakHold) {
    m->held = 0.0;
    m->holdCounter = 0;
    return;
  }
  if (level > m->held) {
    m->held = level;
    m->holdCounter = 0;
    return;
  }
  if (++m->holdCounter >= 46) {
    m->held = level;
    m->holdCounter = 0;
  }
}

PanelView App_Panel(const App* app) {
  PanelView v;
  const int slot = TrackStrips_CurrentSlot(&app->tracks);
  switch (Audio_GetTransportState()) {
    case Stopped: v.stop = true; break;
    case Playing: v.play = true; break;
    case Recording: case Inserting: v.record = true; break;
    case Paused: v.pause = true; break;
    case InsertWaiting: break;
  }
  // The global switches, which "s" and "v" toggle: a track follows them only when its
  // strip's own switch is on, so its rate would hide what the key did.
  v.slow = app->tracks.globalSlow;
  v.reverse = app->tracks.globalReverse;
  v.mixToDisk = app->mixToDiskArmed;
  v.mixToTrack = Audio_GetMixToTrack() != 0;

  const int mode = app->loopTime.mode;
  v.loopTimeMode = mode;
  const bool fixedTime = mode != LoopTimeMaxTime;
  v.targetButtonsEnabled = fixedTime;
  v.secondsFieldEnabled = mode == LoopTimeSeconds;
  v.measuresFieldEnabled = mode == LoopTimeMeasures;
  v.getEnabled = fixedTime;
  v.loopButtonEnabled = fixedTime;
  v.setEnabled = true;
  v.maxTimeFieldEnabled = !fixedTime;
  v.loopTimeTarget = static_cast<int>(app->loopTime.target);
  v.editButtonsEnabled = Audio_GetLoopSelection(slot) != 0;
  if (app->loopEdit) v.loopEdit = app->loopEdit->Buttons();
  for (bool* b : {&v.loopEdit.trim, &v.loopEdit.zoomSelection, &v.loopEdit.zoomOutFull, &v.loopEdit.zoomIn,
                  &v.loopEdit.zoomOut, &v.loopEdit.loopSelected})
    *b = *b && v.editButtonsEnabled;

  char editing[300];
  std::snprintf(editing, sizeof editing, "Editing %d: %s", app->tracks.current + 1,
                app->tracks.strips[app->tracks.current].name.c_str());
  v.editing = editing;
  v.undoLabel = app->undoLabel;
  v.undoDepth = app->undoDepthLabel;
  v.syncStatus = app->syncStatus;
  v.undoEnabled = App_Preferences().undo != 0;
  v.metronomeRecord = app->metronome.recordBox;
  v.metronomePlay = app->metronome.playBox;

  v.progress = static_cast<int>(Audio_GetPlayProgress(slot) * 100.0);
  if (mode == LoopTimeMaxTime && !app->loopTime.firstLoopSet) {
    v.lengthText = v.halfText = "---";
  } else {
    const double seconds = Audio_GetLoopSeconds(slot);
    v.lengthText = Seconds(seconds);
    v.halfText = Seconds(seconds / 2.0);
  }
  v.meterLeds = app->meterLeds;
  for (int i = 0; i < 4; ++i) {
    v.meters[i].lit = Meter_LitCount(app->meters[i].level, app->meterLeds);
    v.meters[i].held = Meter_LitCount(app->meters[i].held, app->meterLeds);
  }
  for (int i = 0; i < kStripCount; ++i) {
    const LoopStrip& s = app->tracks.strips[i];
    StripView& sv = v.strips[i];
    sv.mute = s.mute;
    sv.solo = s.solo;
    sv.reverse = s.reverse;
    sv.slow = s.slow;
    sv.effects = s.effects;
    sv.submixB = s.submix == 1;
    sv.active = i == app->tracks.current;
    sv.empty = s.empty;
    sv.volume = s.volume;
    sv.pan = s.pan;
    sv.effectsMix = s.effectsMix;
    sv.name = s.name;
    sv.loopTime = Seconds(Audio_GetLoopSeconds(s.slot));
  }
  return v;
}

PanelCommand Panel_Button(int controlId) {
  struct Button {
    int controlId;
    Command command;
    int track = 0;
  };
  static constexpr Button kButtons[] = {
      {1000, Command::TransportStop}, {1001, Command::TransportRecord},
      {1002, Command::TransportPlay}, {1003, Command::TransportErase},
      {1004, Command::TransportPause}, {1005, Command::TransportSetLoop},
      {1006, Command::TransportMultiply}, {1007, Command::TransportUndo},
      {1292, Command::TransportRedo},
      {1008, Command::TransportSlow}, {1009, Command::TransportReverse},
      {1011, Command::TransportInsert}, {1013, Command::TransportDivide},
      {1014, Command::MixToDisk}, {1015, Command::MixToTrack}, {1022, Command::MasterVolumeMute},
      {1025, Command::SubmixBMute}, {1026, Command::SubmixAMute}, {1241, Command::MetronomePlay},
      {1242, Command::MetronomeRecord}, {1262, Command::EditTrimLoop}, {1263, Command::ZoomSelect},
      {1265, Command::ZoomOutFull}, {1268, Command::ZoomIn}, {1269, Command::ZoomOut},
      {1270, Command::LoopSelected}, {1271, Command::SetStartPoint},
      // Handled in the panel itself: tap, set, get, the target and mode buttons.
      {1215, Command::TapLoopTime}, {1217, Command::SetLoopTime}, {1221, Command::GetLoopTime},
      {1218, Command::SetCurrentTrackTime}, {1219, Command::SetEmptyTracksTime},
      {1220, Command::SetAllTracksTime}, {1278, Command::LoopTimeMode, 1},
      {1279, Command::LoopTimeMode, 2}, {1280, Command::LoopTimeMode, 3},
  };
  for (const Button& b : kButtons)
    if (b.controlId == controlId) return PanelCommand{CommandId(b.command), App_Parameter(b.track, 0)};
  return PanelCommand{};
}

std::vector<MenuEntry> App_PopupMenu(App* app, int strip) {
  const bool onStrip = strip >= 0 && strip < kStripCount;
  app->pendingTrack = onStrip ? strip + 1 : 0;
  std::string load = "Load Loop...", save = "Save Loop...";
  if (onStrip) {
    load = "Load Loop to Track " + std::to_string(strip + 1) + "...";
    save = "Save Track " + std::to_string(strip + 1) + " Loop...";
  }
  std::vector<MenuEntry> entries = {
      {App_SystemConfiguration().show_title ? "Hide Title Bar" : "Show Title Bar", 0},
      {load, CommandId(Command::LoadLoop)},
      {save, CommandId(Command::SaveLoop)},
      {"Load Session...", CommandId(Command::OpenSession)},
      {"Save Session...", CommandId(Command::SaveSession)},
      {"Save Session As...", CommandId(Command::SaveSessionAs)},
      {"New Session", CommandId(Command::NewSession)},
      {"Save Current Session as Default", CommandId(Command::SaveDefaultConfig)},
      {"Metronome...", CommandId(Command::MetronomeDialog)},
      {"Set Latency...", CommandId(Command::SetLatencyDialog)},
      {"Preferences...", CommandId(Command::PreferencesDialog)},
      {"MIDI and Keyboard Control...", CommandId(Command::MidiControlDialog)},
      {"Select Audio Devices...", CommandId(Command::SelectAudioDevicesDialog)},
      {"Select Skin...", CommandId(Command::SelectSkinDialog)},
      {"Quicksave Session and Loops...", CommandId(Command::Quicksave)},
  };
  const std::string quick = "Quick";
  for (int n = 1; n <= 8; ++n)
    entries.push_back({"Save Quicksave0" + std::to_string(n), CommandId(Command::SaveQuicksave01) + n - 1, quick});
  entries.push_back({"", 0, quick});
  for (int n = 1; n <= 8; ++n)
    entries.push_back({"Load Quicksave0" + std::to_string(n), CommandId(Command::LoadQuicksave01) + n - 1, quick});
  entries.push_back({"Keyboard Shortcuts...\tF1", CommandId(Command::HelpDialog)});
  entries.push_back({"About...", CommandId(Command::AboutDialog)});
  entries.push_back({"Exit", CommandId(Command::Exit)});
  return entries;
}

void App_PopupDismissed(App* app) { app->pendingTrack = 0; }

void App_PopupChoose(App* app, const MenuEntry& entry) {
  if (entry.command != CommandId(Command::LoadLoop) && entry.command != CommandId(Command::SaveLoop))
    app->pendingTrack = 0;
  if (entry.command == 0) {
    Preferences_ApplyShowTitle(!App_SystemConfiguration().show_title);  // the window follows
    return;
  }
  App_Command(app, static_cast<uint32_t>(entry.command));
}
