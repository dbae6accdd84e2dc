// Command routing: decoding a command's track and value, the busy rule, the immediate
// transport commands, and the effect of every command the catalogue, the panel and the
// menus carry. Switch and adjust commands are tables; the rest is one dispatch.
#include <algorithm>
#include <cstdio>

#include "app/app.h"
#include "app/file_commands.h"
#include "app/settings/preferences.h"
#include "control/action_catalogue.h"
#include "control/midi_ports.h"
#include "engine/audio.h"
#include "engine/metronome.h"

namespace {

using C = Command;

// ---- On/off states: a toggle row flips it, a set row switches it to value > 0 ----

struct SwitchRow {
  Command toggle;
  Command set;  // same as toggle when the state has no set row
  bool (*get)(App* app, StripIndex strip);
  void (*put)(App* app, StripIndex strip, bool on);
};

AudioEngine& E() { return *Audio_GetEngine(); }
void ShowMetronomeSwitches(App* app) {
  app->metronome.recordBox = Audio_GetMetronomeRecord() != 0;
  app->metronome.playBox = Audio_GetMetronomePlayback() != 0;
}
void ApplyPanelTempo(App* app) { App_CommitTempoFields(app); }

const SwitchRow kSwitches[] = {
    {C::TransportSlow, C::TransportSlowSet, [](App* a, StripIndex) { return a->tracks.globalSlow; },
     [](App* a, StripIndex, bool on) { App_SetGlobalSlow(a, on); }},
    {C::TransportReverse, C::TransportReverseSet, [](App* a, StripIndex) { return a->tracks.globalReverse; },
     [](App* a, StripIndex, bool on) { App_SetGlobalReverse(a, on); }},
    {C::TrackSubmix, C::TrackSubmixSet, [](App* a, StripIndex s) { return a->tracks.strips[s.value].submix == 1; },
     [](App* a, StripIndex s, bool on) { LoopStrip_SetSubmix(&a->tracks, s, on ? 1 : 0); }},
    {C::TrackMute, C::TrackMuteSet, [](App* a, StripIndex s) { return a->tracks.strips[s.value].mute; },
     [](App* a, StripIndex s, bool on) { LoopStrip_SetMute(&a->tracks, s, on); }},
    {C::TrackSolo, C::TrackSoloSet, [](App* a, StripIndex s) { return a->tracks.strips[s.value].solo; },
     [](App* a, StripIndex s, bool on) { LoopStrip_SetSolo(&a->tracks, s, on, !a->shiftHeld); }},
    {C::TrackEffect, C::TrackEffectSet, [](App* a, StripIndex s) { return a->tracks.strips[s.value].effects; },
     [](App* a, StripIndex s, bool on) { LoopStrip_SetEffects(&a->tracks, s, on); }},
    {C::TrackSlow, C::TrackSlowSet, [](App* a, StripIndex s) { return a->tracks.strips[s.value].slow; },
     [](App* a, StripIndex s, bool on) { LoopStrip_SetSlow(&a->tracks, s, on); }},
    {C::TrackReverse, C::TrackReverseSet, [](App* a, StripIndex s) { return a->tracks.strips[s.value].reverse; },
     [](App* a, StripIndex s, bool on) { LoopStrip_SetReverse(&a->tracks, s, on); }},
    {C::MasterVolumeMute, C::MasterVolumeMute, [](App*, StripIndex) { return E().masterMute != 0; },
     [](App*, StripIndex, bool on) { Audio_SetMasterMute(on); }},
    {C::SubmixAMute, C::SubmixAMute, [](App*, StripIndex) { return E().submixMute[0] != 0; },
     [](App*, StripIndex, bool on) { Audio_SetSubmixMute(0, on); }},
    {C::SubmixBMute, C::SubmixBMute, [](App*, StripIndex) { return E().submixMute[1] != 0; },
     [](App*, StripIndex, bool on) { Audio_SetSubmixMute(1, on); }},
    {C::DelayEnable, C::DelayEnableSet, [](App* a, StripIndex) { return a->effects.delayEnabled; },
     [](App* a, StripIndex, bool on) { EffectsPanel_EnableDelay(&a->effects, on); }},
    {C::DelayLink, C::DelayLinkSet, [](App* a, StripIndex) { return a->effects.delayLink; },
     [](App* a, StripIndex, bool on) { EffectsPanel_SetDelayLink(&a->effects, on); }},
    {C::DelayMode, C::DelayModeSet, [](App* a, StripIndex) { return a->effects.delayCrossMode; },
     [](App* a, StripIndex, bool on) { EffectsPanel_SetDelayMode(&a->effects, on); }},
    {C::DelaySync, C::DelaySyncSet, [](App* a, StripIndex) { return a->effects.delaySync; },
     [](App* a, StripIndex, bool on) { EffectsPanel_SetDelaySync(&a->effects, on); }},
    {C::FilterEnable, C::FilterEnableSet, [](App* a, StripIndex) { return a->effects.filterEnabled; },
     [](App* a, StripIndex, bool on) { EffectsPanel_EnableFilter(&a->effects, on); }},
    {C::FilterLfoEnable, C::FilterLfoEnableSet, [](App* a, StripIndex) { return a->effects.lfoEnabled; },
     [](App* a, StripIndex, bool on) { EffectsPanel_EnableLfo(&a->effects, on); }},
    {C::FilterLink, C::FilterLinkSet, [](App* a, StripIndex) { return a->effects.filterLink; },
     [](App* a, StripIndex, bool on) { EffectsPanel_SetFilterLink(&a->effects, on); }},
    {C::FilterLfoLink, C::FilterLfoLinkSet, [](App* a, StripIndex) { return a->effects.lfoLink; },
     [](App* a, StripIndex, bool on) { EffectsPanel_SetLfoLink(&a->effects, on); }},
    {C::ReverbEnable, C::ReverbEnableSet, [](App* a, StripIndex) { return a->effects.reverbEnabled; },
     [](App* a, StripIndex, bool on) { EffectsPanel_EnableReverb(&a->effects, on); }},
    {C::MetronomeRecordToggle, C::MetronomeRecordSet, [](App*, StripIndex) { return Audio_GetMetronomeRecord() != 0; },
     [](App* a, StripIndex, bool on) { Audio_SetMetronomeRecord(on); ShowMetronomeSwitches(a); }},
    {C::MetronomePlaybackToggle, C::MetronomePlaybackSet,
     [](App*, StripIndex) { return Audio_GetMetronomePlayback() != 0; },
     [](App* a, StripIndex, bool on) { Audio_SetMetronomePlayback(on); ShowMetronomeSwitches(a); }},
    {C::MetronomeRecord, C::MetronomeRecord, [](App*, StripIndex) { return Audio_GetMetronomeRecord() != 0; },
     [](App* a, StripIndex, bool on) { ApplyPanelTempo(a); Audio_SetMetronomeRecord(on); ShowMetronomeSwitches(a); }},
    {C::MetronomePlay, C::MetronomePlay, [](App*, StripIndex) { return Audio_GetMetronomePlayback() != 0; },
     [](App* a, StripIndex, bool on) { ApplyPanelTempo(a); Audio_SetMetronomePlayback(on); ShowMetronomeSwitches(a); }},
    {C::MixToTrack, C::MixToTrack, [](App*, StripIndex) { return Audio_GetMixToTrack() != 0; },
     [](App*, StripIndex, bool on) { Audio_SetMixToTrack(on); }},
    {C::MixToDisk, C::MixToDisk, [](App* a, StripIndex) { return a->mixToDiskArmed; },
     [](App* a, StripIndex, bool on) { App_SetMixToDisk(a, on); }},
};

// ---- Continuous parameters: the catalogue's conversion of the 16-bit value ----

struct AdjustRow {
  Command id;
  void (*apply)(App* app, StripIndex strip, uint16_t value);
};

int S127(uint16_t v) { return ActionValue_S127(v); }
void Position(App* a, uint16_t v, bool beat, bool maximum) {
  if (a->loopEdit) a->loopEdit->SetPosition(ActionValue_Pos(v), beat, maximum);
}
int DelayMs(uint16_t v) { return ActionValue_Ms(v, App_Preferences().delay_max_milliseconds); }

const AdjustRow kAdjusts[] = {
    {C::TrackEffectMix, [](App* a, StripIndex s, uint16_t v) { LoopStrip_SetEffectsMix(&a->tracks, s, S127(v)); }},
    {C::TrackVolume, [](App* a, StripIndex s, uint16_t v) { LoopStrip_SetVolume(&a->tracks, s, S127(v)); }},
    {C::TrackPan, [](App* a, StripIndex s, uint16_t v) { LoopStrip_SetPan(&a->tracks, s, S127(v)); }},
    {C::SetCursor, [](App* a, StripIndex, uint16_t v) { Position(a, v, false, false); }},
    {C::SetMinSelection, [](App* a, StripIndex, uint16_t v) { Position(a, v, false, false); }},
    {C::SetCursorBeat, [](App* a, StripIndex, uint16_t v) { Position(a, v, true, false); }},
    {C::SetMinSelectionBeat, [](App* a, StripIndex, uint16_t v) { Position(a, v, true, false); }},
    {C::SetMaxSelection, [](App* a, StripIndex, uint16_t v) { Position(a, v, false, true); }},
    {C::SetMaxSelectionBeat, [](App* a, StripIndex, uint16_t v) { Position(a, v, true, true); }},
    {C::RecordFeedback, [](App* a, StripIndex, uint16_t v) { LoopStrip_SetFeedback(&a->tracks, S127(v)); }},
    {C::MasterVolume, [](App*, StripIndex, uint16_t v) { Audio_SetMasterVolume(ActionValue_S1(v)); }},
    {C::SubmixAVolume, [](App*, StripIndex, uint16_t v) { Audio_SetSubmixVolume(0, ActionValue_S1(v)); }},
    {C::SubmixBVolume, [](App*, StripIndex, uint16_t v) { Audio_SetSubmixVolume(1, ActionValue_S1(v)); }},
    {C::SubmixCrossfade,
     [](App*, StripIndex, uint16_t v) {
       const double a = ActionValue_S1(v);
       Audio_SetSubmixVolume(0, a);
       Audio_SetSubmixVolume(1, 1.0 - a);
     }},
    {C::DelayTimeLeft, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetDelayMilliseconds(&a->effects, 0, DelayMs(v)); }},
    {C::DelayTimeRight, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetDelayMilliseconds(&a->effects, 1, DelayMs(v)); }},
    {C::DelayFeedbackLeft, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetDelayFeedback(&a->effects, 0, S127(v)); }},
    {C::DelayFeedbackRight, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetDelayFeedback(&a->effects, 1, S127(v)); }},
    {C::DelayMix, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetDelayMix(&a->effects, S127(v)); }},
    {C::FilterFrequency, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetFilterFrequency(&a->effects, 0, S127(v)); }},
    {C::FilterResonance, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetFilterResonance(&a->effects, 0, S127(v)); }},
    {C::FilterLfoRate, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetLfoRate(&a->effects, 0, S127(v)); }},
    {C::FilterLfoDepth, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetLfoDepth(&a->effects, 0, S127(v)); }},
    {C::FilterModeSet, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetFilterMode(&a->effects, ActionValue_FilterMode(v)); }},
    {C::ReverbLength, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetReverbLength(&a->effects, S127(v)); }},
    {C::ReverbMix, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetReverbMix(&a->effects, S127(v)); }},
    {C::ReverbDamping, [](App* a, StripIndex, uint16_t v) { EffectsPanel_SetReverbDamping(&a->effects, S127(v)); }},
    {C::MetronomeVolume,
     [](App* a, StripIndex, uint16_t v) {
       a->metronome.volume = S127(v);
       Audio_SetMetronomeVolume(a->metronome.volume / 127.0);
     }},
};

// Commands that open a dialog or a file, load or save, quicksave, exit or perform a
// transport step: dropped while another such command runs.
bool Guarded(Command c) {
  const uint16_t id = CommandId(c);
  if (id >= CommandId(C::LoadQuicksave01) && id <= CommandId(C::LoadQuicksave08)) return true;
  if (id >= CommandId(C::SaveQuicksave01) && id <= CommandId(C::SaveQuicksave08)) return true;
  if (TransportNow_IsImmediate(id)) return true;
  switch (c) {
    case C::TransportErase: case C::TransportMultiply: case C::TransportDivide: case C::TransportUndo:
    case C::TransportRedo:
    case C::ToggleStopPlay: case C::MixToDisk: case C::NewSession: case C::OpenSession:
    case C::SaveSession: case C::SaveSessionAs: case C::LoadLoop: case C::SaveLoop:
    case C::SaveDefaultConfig: case C::Exit: case C::MetronomeDialog: case C::SetLatencyDialog:
    case C::PreferencesDialog: case C::MidiControlDialog: case C::SelectSkinDialog:
    case C::SelectAudioDevicesDialog: case C::AsioControlPanel: case C::SetLoopTimeDialog:
    case C::AboutDialog: case C::HelpDialog: case C::Quicksave:
      return true;
    default:
      return false;
  }
}

void SelectLoopTimeMode(App* app, int trackField) {
  const int mode = LoopTimeMode_After(trackField, app->loopTime.mode);
  LoopTime_SetMode(&app->loopTime, mode);
  app->loopTime.firstLoopSet = app->loopTime.firstLoopSet && mode == LoopTimeMaxTime;
  LoopStrip& s = app->tracks.strips[app->tracks.current];
  if (mode == LoopTimeMaxTime && s.empty)
    LoopStrip_Recreate(&app->tracks, StripIndex{app->tracks.current},
                       LoopTime_EmptyTrackMaxTime(app->loopTime, App_Preferences().empty_to_last_rec), true);
}

void GetLoopTime(App* app) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", Audio_GetLoopSeconds(TrackStrips_CurrentSlot(&app->tracks)));
  app->fields[PanelField::Seconds] = text;
  const int mode = app->loopTime.mode;
  if (mode == LoopTimeSeconds) {
    App_CommitLoopTime(app);
  } else {
    LoopTime_ApplyLoopTimeField(&app->loopTime, text);
  }
}

void Tap(App* app) {
  const int tempo = TapTempo_Tap(&app->loopTime.tap, &app->loopTime);
  if (tempo > 0) app->fields[PanelField::Tempo] = std::to_string(tempo);
}

// The loop edit view's own commands, which repaint just what they change.
bool LoopEditCommand(Command c) {
  switch (c) {
    case C::EditTrimLoop: case C::ZoomIn: case C::ZoomOut: case C::ZoomOutFull: case C::ZoomSelect:
    case C::LoopSelected: case C::SetStartPoint: case C::MoveCursorLeft: case C::MoveCursorRight:
    case C::MoveCursorLeftBeat: case C::MoveCursorRightBeat: case C::SelectCursorLeft:
    case C::SelectCursorRight: case C::SelectCursorLeftBeat: case C::SelectCursorRightBeat:
    case C::SetCursor: case C::SetCursorBeat: case C::SetMinSelection: case C::SetMaxSelection:
    case C::SetMinSelectionBeat: case C::SetMaxSelectionBeat: case C::SetCursorStart: case C::SetCursorEnd:
    case C::SelectionCursorStart: case C::SelectionCursorEnd:
      return true;
    default:
      return false;
  }
}

// A transport step, an erase, an undo or a load changes the loop in place or swaps its
// buffer: the view shows it at once instead of when the play cursor next passes.
void RedrawLoopEdit(App* app) {
  if (app->loopEdit) app->loopEdit->Redraw();
}

// Everything that is not a switch or an adjust row.
void Dispatch(App* app, Command c, ActionTrack track, StripIndex strip) {
  LoopEditModel* edit = app->loopEdit;
  const uint16_t id = CommandId(c);
  if (id >= CommandId(C::LoadQuicksave01) && id <= CommandId(C::LoadQuicksave08)) {
    FileCommand_LoadQuicksave(app, id - CommandId(C::LoadQuicksave01) + 1);
    return;
  }
  if (id >= CommandId(C::SaveQuicksave01) && id <= CommandId(C::SaveQuicksave08)) {
    FileCommand_SaveQuicksave(app, id - CommandId(C::SaveQuicksave01) + 1);
    return;
  }
  switch (c) {
    // The immediate transport commands never get here: they ran before the dispatch, or
    // were dropped as guarded while another command was busy.
    case C::TransportErase: App_Erase(app); break;
    case C::TransportMultiply: App_Multiply(app); break;
    case C::TransportDivide: App_Divide(app); break;
    case C::TransportUndo: App_Undo(app); break;
    case C::TransportRedo: App_Redo(app); break;
    case C::ToggleStopPlay:
      App_Post(Audio_GetTransportState() != Stopped ? C::TransportStop : C::TransportPlay);
      break;
    case C::TrackRecord: App_SelectTrack(app, strip); break;
    case C::NextTrack: App_SelectTrack(app, StripIndex{(app->tracks.current + 1) % kStripCount}); break;
    case C::PrevTrack: App_SelectTrack(app, StripIndex{(app->tracks.current + kStripCount - 1) % kStripCount}); break;
    case C::SetTrack:
      if (track.value >= 0 && track.value < kActionCurrentTrack) App_SelectTrack(app, StripIndex{track.value});
      break;
    case C::FilterMode: EffectsPanel_SetFilterMode(&app->effects, FilterMode_Next(app->effects.filterMode)); break;
    case C::LoopTimeMode: SelectLoopTimeMode(app, track.value); break;
    case C::SetLoopTime: App_CommitLoopTime(app); break;
    case C::GetLoopTime: GetLoopTime(app); break;
    case C::TapLoopTime: Tap(app); break;
    case C::SetCurrentTrackTime: app->loopTime.target = LoopTimeTarget::Current; break;
    case C::SetEmptyTracksTime: app->loopTime.target = LoopTimeTarget::Empty; break;
    case C::SetAllTracksTime: app->loopTime.target = LoopTimeTarget::All; break;
    // The loop edit view's own operations.
    case C::EditTrimLoop: if (edit) edit->Trim(); break;
    case C::ZoomIn: if (edit) edit->Zoom(ZoomStep::In); break;
    case C::ZoomOut: if (edit) edit->Zoom(ZoomStep::Out); break;
    case C::ZoomOutFull: if (edit) edit->Zoom(ZoomStep::OutFull); break;
    case C::ZoomSelect: if (edit) edit->Zoom(ZoomStep::ToSelection); break;
    case C::LoopSelected: if (edit) edit->LoopSelection(); break;
    case C::SetStartPoint: if (edit) edit->SetStartPoint(); break;
    case C::MoveCursorLeft: if (edit) edit->MoveCursor(-1, false, false); break;
    case C::MoveCursorRight: if (edit) edit->MoveCursor(1, false, false); break;
    case C::MoveCursorLeftBeat: if (edit) edit->MoveCursor(-1, true, false); break;
    case C::MoveCursorRightBeat: if (edit) edit->MoveCursor(1, true, false); break;
    case C::SelectCursorLeft: if (edit) edit->MoveCursor(-1, false, true); break;
    case C::SelectCursorRight: if (edit) edit->MoveCursor(1, false, true); break;
    case C::SelectCursorLeftBeat: if (edit) edit->MoveCursor(-1, true, true); break;
    case C::SelectCursorRightBeat: if (edit) edit->MoveCursor(1, true, true); break;
    case C::SetCursorStart: if (edit) edit->CursorToLoopEdge(false, false); break;
    case C::SetCursorEnd: if (edit) edit->CursorToLoopEdge(true, false); break;
    case C::SelectionCursorStart: if (edit) edit->CursorToLoopEdge(false, true); break;
    case C::SelectionCursorEnd: if (edit) edit->CursorToLoopEdge(true, true); break;
    default:
      FileCommand_Run(app, c);
      break;
  }
}

}  // namespace

void App_Post(Command c, int track, int value) {
  ControlCommands().Post(ControlCommand{CommandId(c), static_cast<uint16_t>(value), static_cast<uint16_t>(track)});
}

void App_Command(App* app, uint32_t id, uint32_t parameter) {
  const Command c = ToCommand(id);
  const ActionTrack track{static_cast<int>(parameter & 0xFFFF)};
  const uint16_t value = static_cast<uint16_t>(parameter >> 16);
  const StripIndex strip = TrackStrips_StripOfAction(&app->tracks, track);
  if (App_RefusedWhileLoading(app, c, strip)) return;

  if (!app->busy) {
    app->busy = true;
    const bool handled = app->transportNow.ExecuteTransportNow(id & 0xFFFF);
    app->busy = false;
    if (handled) {
      RedrawLoopEdit(app);
      return;
    }
  }

  const bool guarded = Guarded(c);
  if (guarded) {
    if (app->busy) return;  // dropped, not queued
    app->busy = true;
  }

  bool done = false;
  for (const SwitchRow& row : kSwitches) {
    if (row.toggle != c && row.set != c) continue;
    const bool current = row.get(app, strip);
    const bool wanted = row.toggle == c ? !current : ActionValue_SetOn(value);
    if (wanted != current) row.put(app, strip, wanted);
    done = true;
    break;
  }
  if (!done)
    for (const AdjustRow& row : kAdjusts)
      if (row.id == c) {
        row.apply(app, strip, value);
        done = true;
        break;
      }
  if (!done) {
    Dispatch(app, c, track, strip);
    if (!LoopEditCommand(c)) RedrawLoopEdit(app);
  }

  if (guarded) app->busy = false;
  App_SampleLoopTime(app);
}

void App_DrainCommands(App* app) {
  App_NsmDrain(app);
  App_PollLoads(app);  // a file read wakes the drain too: its track first
  App_PollSaves(app);  // and so does a save's writer
  App_OscDrain(app);   // OSC actions fire, and post, before the queue is emptied
  MidiPollWoken();     // so do MIDI triggers, when the input watcher woke the drain
  ControlCommand command;
  while (ControlCommands().Take(&command))
    App_Command(app, command.commandId, App_Parameter(command.track, command.value));
}

void App_Slider(App* app, Slider slider, int strip, int position) {
  const int p = std::clamp(position, 0, 127);
  const double unit = p / 127.0;
  const StripIndex s{strip};
  switch (slider) {
    case Slider::TrackVolume: LoopStrip_SetVolume(&app->tracks, s, p); break;
    case Slider::TrackPan: LoopStrip_SetPan(&app->tracks, s, p); break;
    case Slider::TrackEffectsMix: LoopStrip_SetEffectsMix(&app->tracks, s, p); break;
    case Slider::RecordFeedback: LoopStrip_SetFeedback(&app->tracks, p); break;
    case Slider::MetronomeVolume:
      app->metronome.volume = p;
      Audio_SetMetronomeVolume(unit);
      break;
    case Slider::MasterVolume: Audio_SetMasterVolume(unit); break;
    case Slider::SubmixAVolume: Audio_SetSubmixVolume(0, unit); break;
    case Slider::SubmixBVolume: Audio_SetSubmixVolume(1, unit); break;
    case Slider::Crossfade:
      Audio_SetSubmixVolume(0, unit);
      Audio_SetSubmixVolume(1, 1.0 - unit);
      break;
  }
}
