// The built-in keyboard handler and the panel's edit fields: characters become commands
// (after the keyboard triggers have had them), Enter and Tab commit the field being
// edited, arrows move the loop edit view's cursor.
#include <algorithm>
#include <cstdio>

#include "app/app.h"
#include "app/settings/preferences.h"
#include "control/trigger_set.h"
#include "engine/audio.h"
#include "engine/loop_ops.h"

namespace {

// The eight names from the name fields; a name holding a directory separator is not a
// name and gives "Track %d".
void TakeTrackNames(App* app) {
  for (int i = 0; i < kStripCount; ++i) LoopStrip_TakeNameField(&app->tracks, StripIndex{i});
}

void CommitField(App* app, PanelField f) {
  switch (f) {
    case PanelField::Seconds:
    case PanelField::Measures:
    case PanelField::MaxTime:
      App_CommitLoopTime(app);
      break;
    case PanelField::Tempo:
    case PanelField::Beats:
      if (App_CommitTempoFields(app))
        EffectsPanel_ApplyTempo(&app->effects, app->loopTime.tempo, app->loopTime.beatsPerMeasure);
      if (app->loopEdit) app->loopEdit->Redraw();
      break;
    case PanelField::Countoff:
    case PanelField::MuteAfter:
      App_ApplyMetronomeFields(app);
      break;
    case PanelField::DelayLeft:
    case PanelField::DelayRight: {
      const int channel = f == PanelField::DelayLeft ? 0 : 1;
      const std::string& text = App_Field(app, f);
      char* end = nullptr;
      const long ms = std::strtol(text.c_str(), &end, 10);
      if (end != text.c_str()) EffectsPanel_SetDelayMilliseconds(&app->effects, channel, static_cast<int>(ms));
      break;
    }
    default:
      if (TrackNameStrip(f) >= 0) TakeTrackNames(app);
      break;
  }
}

void PostStopOrPlay() {
  App_Post(Audio_GetTransportState() != Stopped ? Command::TransportStop : Command::TransportPlay);
}

}  // namespace

bool App_CommitTempoFields(App* app) {
  std::string& tempo = App_Field(app, PanelField::Tempo);
  std::string& beats = App_Field(app, PanelField::Beats);
  if (LoopTime_ApplyTempoFields(&app->loopTime, tempo, beats)) return true;
  // The message said what is accepted; the fields show again what is in force.
  char text[32];
  std::snprintf(text, sizeof text, "%g", app->loopTime.tempo);
  tempo = text;
  beats = std::to_string(app->loopTime.beatsPerMeasure);
  return false;
}

void App_CommitLoopTime(App* app) {
  LoopTimeSettings& lt = app->loopTime;
  bool stored = false;
  switch (lt.mode) {
    case LoopTimeSeconds: stored = LoopTime_ApplyLoopTimeField(&lt, App_Field(app, PanelField::Seconds)); break;
    case LoopTimeMeasures: stored = LoopTime_ApplyMeasuresField(&lt, App_Field(app, PanelField::Measures)); break;
    default: stored = LoopTime_ApplyMaxManualTimeField(&lt, App_Field(app, PanelField::MaxTime)); break;
  }
  if (!stored) return;
  app->loopTime.firstLoopSet = false;
  const double seconds = LoopTime_ModeSeconds(lt);
  for (int i = 0; i < kStripCount; ++i) {
    LoopStrip& s = app->tracks.strips[i];
    // In "Max Time" the target buttons are disabled: the current strip takes the time.
    const bool target = lt.mode == LoopTimeMaxTime ? i == app->tracks.current
                        : app->loopTime.target == LoopTimeTarget::All ? true
                        : app->loopTime.target == LoopTimeTarget::Empty ? s.empty
                                                                       : i == app->tracks.current;
    if (!target) continue;
    if (s.empty)
      LoopStrip_Recreate(&app->tracks, StripIndex{i}, seconds, true);
    else
      Audio_ResizeLoop(s.slot, seconds, false, 1, ResizeNewLoopTime, false);
  }
}

void App_EditField(App* app, PanelField field, const std::string& text) {
  App_Field(app, field) = text;
  app->focus = field;
  if (TrackNameStrip(field) >= 0) App_SetDirty(app, true);
}

void App_FocusPanel(App* app) {
  app->focus = PanelField::None;
  if (app->window) app->window->FocusPanel();
}

void App_Character(App* app, int ch) {
  if (app->focus != PanelField::None) return;  // the field being edited takes it
  if (Triggers().MatchKey(ch)) return;
  if (ch < 32 || ch > 118) return;
  switch (ch) {
    case ' ':
      if (App_Preferences().spacebar_record)
        App_Post(Command::TransportRecord);
      else
        PostStopOrPlay();
      break;
    case 'd': App_Post(Command::TransportDivide); break;
    case 'e': App_Post(Command::TransportErase); break;
    case 'i': App_Post(Command::TransportInsert); break;
    case 'l': App_Post(Command::TransportSetLoop); break;
    case 'm': App_Post(Command::TransportMultiply); break;
    case 'p': App_Post(Command::TransportPause); break;
    case 'r': App_Post(Command::TransportRecord); break;
    case 's': App_Post(Command::TransportSlow); break;
    case 'u': App_Post(Command::TransportUndo); break;
    case 'v': App_Post(Command::TransportReverse); break;
    default:
      if (ch >= '1' && ch <= '8') App_SelectTrack(app, StripIndex{ch - '1'});
      break;
  }
  App_SampleLoopTime(app);
}

void App_KeyDown(App* app, Key key) {
  // Help is one key away wherever the focus is, a field being edited included.
  if (key == Key::F1) {
    App_Post(Command::HelpDialog);
    return;
  }
  if (app->focus != PanelField::None) {
    if (key == Key::Enter || key == Key::Tab) {
      const PanelField field = app->focus;
      CommitField(app, field);
      App_FocusPanel(app);
    }
    return;  // digits and arrows belong to the field
  }
  switch (key) {
    case Key::Enter: PostStopOrPlay(); break;
    case Key::Shift: app->shiftHeld = true; break;
    case Key::Control: app->controlHeld = true; break;
    case Key::Left:
    case Key::Right:
      if (app->loopEdit) app->loopEdit->CursorKey(key == Key::Left ? -1 : 1, app->controlHeld, app->shiftHeld);
      break;
    case Key::Z:
      if (app->controlHeld) App_Post(app->shiftHeld ? Command::TransportRedo : Command::TransportUndo);
      break;
    case Key::Y:
      if (app->controlHeld) App_Post(Command::TransportRedo);
      break;
    default: break;
  }
  App_SampleLoopTime(app);
}

void App_KeyUp(App* app, Key key) {
  if (key == Key::Shift) app->shiftHeld = false;
  if (key == Key::Control) app->controlHeld = false;
}
