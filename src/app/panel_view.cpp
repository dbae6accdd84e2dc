#include "app/panel_view.h"

#include <algorithm>
#include <cstdio>

#include "app/app.h"
#include "app/preferences.h"
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
  const int slot = App_CurrentSlot(app);
  switch (Audio_GetTransportState()) {
    case Stopped: v.stop = true; break;
    case Playing: v.play = true; break;
    case Recording: case Inserting: v.record = true; break;
    case Paused: v.pause = true; break;
    case InsertWaiting: break;
  }
  const double rate = Audio_GetTrackRate(slot);
  v.slow = rate == 0.5 || rate == -0.5;
  v.reverse = rate < 0;
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
  v.loopTimeTarget = static_cast<int>(app->loopTimeTarget);
  v.editButtonsEnabled = Audio_GetLoopSelection(slot) != 0;
  if (app->loopEdit) v.loopEdit = app->loopEdit->Buttons();
  for (bool* b : {&v.loopEdit.trim, &v.loopEdit.zoomSelection, &v.loopEdit.zoomOutFull, &v.loopEdit.zoomIn,
                  &v.loopEdit.zoomOut, &v.loopEdit.loopSelected})
    *b = *b && v.editButtonsEnabled;

  char editing[300];
  std::snprintf(editing, sizeof editing, "Editing %d: %s", app->currentTrack + 1,
                app->strips[app->currentTrack].name.c_str());
  v.editing = editing;
  v.undoLabel = app->undoLabel;
  v.undoEnabled = App_Preferences().undo != 0;
  v.metronomeRecord = app->metronomeRecordBox;
  v.metronomePlay = app->metronomePlayBox;

  v.progress = static_cast<int>(Audio_GetPlayProgress(slot) * 100.0);
  if (mode == LoopTimeMaxTime && !app->firstLoopSet) {
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
    const LoopStrip& s = app->strips[i];
    StripView& sv = v.strips[i];
    sv.mute = s.mute;
    sv.solo = s.solo;
    sv.reverse = s.reverse;
    sv.slow = s.slow;
    sv.effects = s.effects;
    sv.submixB = s.submix == 1;
    sv.active = i == app->currentTrack;
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
  static constexpr int kButtons[][3] = {
      {1000, 32772, 0}, {1001, 32771, 0}, {1002, 32776, 0}, {1003, 32777, 0}, {1004, 32778, 0},
      {1005, 32792, 0}, {1006, 32797, 0}, {1007, 32799, 0}, {1008, 32802, 0}, {1009, 32803, 0},
      {1011, 32804, 0}, {1013, 32942, 0}, {1014, 32943, 0}, {1015, 32944, 0}, {1022, 33048, 0},
      {1025, 33046, 0}, {1026, 33045, 0}, {1241, 32869, 0}, {1242, 32868, 0}, {1262, 32888, 0},
      {1263, 32900, 0}, {1265, 32901, 0}, {1268, 32902, 0}, {1269, 32903, 0}, {1270, 32922, 0},
      {1271, 32924, 0},
      // Handled in the panel itself: tap, set, get, the target and mode buttons.
      {1215, 32876, 0}, {1217, 32871, 0}, {1221, 32872, 0}, {1218, 32873, 0}, {1219, 32874, 0},
      {1220, 32875, 0}, {1278, 32936, 1}, {1279, 32936, 2}, {1280, 32936, 3},
  };
  for (const auto& b : kButtons)
    if (b[0] == controlId) return PanelCommand{b[1], App_Parameter(b[2], 0)};
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
  return {
      {App_SystemConfiguration().show_title ? "Hide Title Bar" : "Show Title Bar", 0},
      {load, 32790},
      {save, 32789},
      {"Load Session...", 32832},
      {"Save Session...", 32833},
      {"New Session", 32836},
      {"Save Current Session as Default", 32834},
      {"Metronome...", 32805},
      {"Set Latency...", 32788},
      {"Preferences...", 32800},
      {"MIDI and Keyboard Control...", 32824},
      {"Select Audio Devices...", 32784},
      {"Select Skin...", 32854},
      {"Quicksave Session and Loops...", 32858},
      {"About...", 32782},
      {"Exit", 105},
  };
}

void App_PopupChoose(App* app, const MenuEntry& entry) {
  if (entry.command != 32790 && entry.command != 32789) app->pendingTrack = 0;
  if (entry.command == 0) {
    Preferences_ApplyShowTitle(!App_SystemConfiguration().show_title);  // the window follows
    return;
  }
  App_Command(app, static_cast<uint32_t>(entry.command));
}
