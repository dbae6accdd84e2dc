// The user-level transport commands of the current strip: what Record, Play, Stop,
// Pause, Insert and Set Loop do around the engine's transport (metronome settings, MIDI
// Stop, the "Max Time" first-loop cut, mix to disk), and Erase, Multiply, Divide, Undo.
// MIDI Start and Continue go out from the engine's transport-start hook, which knows
// whether the tracks start from the top, resume from a pause, or were moving already.
#include <cerrno>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "app/settings/preferences.h"
#include "audio_io/mix_disk_writer.h"
#include "control/midi_ports.h"
#include "engine/audio.h"
#include "engine/loop_ops.h"
#include "engine/metronome.h"
#include "engine/undo.h"

namespace {

LoopStrip& CurrentStrip(App* app) { return app->tracks.strips[app->tracks.current]; }

bool FirstRecordingInMaxTime(const App* app) {
  return app->loopTime.mode == LoopTimeMaxTime && !app->loopTime.firstLoopSet &&
         Audio_GetTransportState() == Recording;
}

// Play, Stop and Pause during the first "Max Time" recording end the loop where it is
// (forced, unless the loop already ran to the maximum and settled its length itself).
void MaxTimeCut(App* app) {
  if (!FirstRecordingInMaxTime(app)) return;
  const int slot = TrackStrips_CurrentSlot(&app->tracks);
  if (Audio_GetLoopRecorded(slot) || Audio_SetLoopAtPosition(slot, true)) app->loopTime.firstLoopSet = true;
}

void StartMixIfArmed(App* app) {
  if (!app->mixToDiskArmed || Audio_IsMixingToDisk()) return;
  Audio_StartMixToDisk(App_Preferences().mixtodisk_directory, app->session.directory, app->session.name);
  app->mixWriterRunning = Audio_IsMixingToDisk();
}

// A recording or insert began on the strip: an empty strip now holds a loop of its own.
void TakeStrip(App* app, StripIndex strip) {
  LoopStrip& s = app->tracks.strips[strip.value];
  if (s.empty) {
    s.directory.clear();
    s.empty = false;
    LoopStrip_SetMute(&app->tracks, strip, false);
  }
  App_SetDirty(app, true);
}

// A number typed in a panel field; false when the text is not one.
bool ReadInteger(const std::string& text, int* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (errno != 0 || !end || *end != '\0' || v < -2147483647L || v > 2147483647L) return false;
  *value = static_cast<int>(v);
  return true;
}

void ApplyNumberField(App* app, PanelField field, void (*set)(int), int (*get)()) {
  std::string& text = App_Field(app, field);
  int value = 0;
  if (ReadInteger(text, &value)) set(value);
  text = std::to_string(get());  // what was stored: a number out of range is clamped
}

}  // namespace

void App_ApplyMetronomeFields(App* app) {
  ApplyNumberField(app, PanelField::MuteAfter, Audio_SetMetronomeMax, Audio_GetMetronomeMax);
  ApplyNumberField(app, PanelField::Countoff, Audio_SetMetronomeCountoff, Audio_GetMetronomeCountoff);
  Audio_SetMetronomeTime(LoopTime_MeasureSeconds(app->loopTime), app->loopTime.beatsPerMeasure, false);
}

void App_Record(App* app) {
  const TransportState state = Audio_GetTransportState();
  const int slot = TrackStrips_CurrentSlot(&app->tracks);
  if (state != Recording) {
    App_ApplyMetronomeFields(app);
    StartMixIfArmed(app);
    if (Audio_RecordLooping(slot)) TakeStrip(app, StripIndex{app->tracks.current});
    return;
  }
  if (app->loopTime.mode == LoopTimeMaxTime && !app->loopTime.firstLoopSet) {
    if (Audio_GetLoopRecorded(slot)) {
      // The take already ran to the maximum time: its length is settled.
      app->loopTime.firstLoopSet = true;
      Audio_PlayLooping();
    } else if (Audio_SetLoopAtPosition(slot, false)) {
      app->loopTime.firstLoopSet = true;
      if (App_Preferences().play_after_setloop) Audio_PlayLooping();
    }
    return;
  }
  Audio_PlayLooping();
}

void App_Insert(App* app) {
  StartMixIfArmed(app);
  if (Audio_InsertLooping(TrackStrips_CurrentSlot(&app->tracks))) TakeStrip(app, StripIndex{app->tracks.current});
}

void App_Play(App* app) {
  MaxTimeCut(app);
  App_ApplyMetronomeFields(app);
  StartMixIfArmed(app);
  Audio_PlayLooping();
}

void App_Stop(App* app) {
  MaxTimeCut(app);
  Audio_StopLooping();
  SendStop();
  if (Audio_IsMixingToDisk()) Audio_StopMixToDisk();
  app->mixWriterRunning = false;
}

void App_Pause(App* app) {
  MaxTimeCut(app);
  Audio_PauseLooping();
  SendStop();
}

void App_SetLoop(App* app) {
  if (!Audio_SetLoopAtPosition(TrackStrips_CurrentSlot(&app->tracks), true)) return;
  if (App_Preferences().play_after_setloop) Audio_PlayLooping();
  if (app->loopTime.mode == LoopTimeMaxTime) app->loopTime.firstLoopSet = true;
}

bool AppTransportNow::ExecuteTransportNow(uint32_t commandId) {
  switch (TransportNow_Resolve(commandId, Audio_GetTransportState())) {
    case TransportOp::Record: App_Record(app_); break;
    case TransportOp::Stop: App_Stop(app_); break;
    case TransportOp::Play: App_Play(app_); break;
    case TransportOp::Pause: App_Pause(app_); break;
    case TransportOp::SetLoop: App_SetLoop(app_); break;
    case TransportOp::Insert: App_Insert(app_); break;
    case TransportOp::None: return false;
  }
  App_SampleLoopTime(app_);
  return true;
}

void App_Erase(App* app) {
  const StripIndex strip{app->tracks.current};
  LoopStrip& s = CurrentStrip(app);
  Audio_SelectRecordTrack(s.slot);
  Audio_EraseLoop(s.slot, 1);
  s.directory.clear();
  const TransportState state = Audio_GetTransportState();
  if (app->loopTime.mode != LoopTimeMaxTime) {
    s.empty = !(state == Recording || state == InsertWaiting || state == Inserting);
  } else {
    s.empty = true;
    bool allEmpty = true;
    for (const LoopStrip& other : app->tracks.strips) allEmpty = allEmpty && other.empty;
    if (!App_Preferences().empty_to_last_rec || allEmpty) {
      LoopStrip_Recreate(&app->tracks, strip, app->loopTime.maxManualTime, false);
      Audio_SelectRecordTrack(s.slot);
      app->loopTime.firstLoopSet = false;
    }
  }
  if (state == Recording) {
    Audio_RecordLooping(s.slot);
    s.empty = false;
  }
  App_SetDirty(app, true);
}

void App_Multiply(App* app) {
  // In frames, not seconds: twice a length in seconds can come out a frame short, and a
  // multiplied loop would then drift against the others.
  const bool maxTime = app->loopTime.mode == LoopTimeMaxTime;
  if (Audio_MultiplyLoop(TrackStrips_CurrentSlot(&app->tracks), maxTime)) App_SetDirty(app, true);
}

void App_Divide(App* app) {
  if (Audio_DivideLoop(TrackStrips_CurrentSlot(&app->tracks))) App_SetDirty(app, true);
}

namespace {
// Undo or redo. A restored track whose strip was marked empty holds audio again: it is
// marked not empty and its file is no longer named.
void StepHistory(App* app, int (*step)()) {
  if (!App_Preferences().undo) return;
  const int slot = step();
  if (slot < 0) return;
  App_SetDirty(app, true);
  const StripIndex strip = TrackStrips_StripOfSlot(&app->tracks, EngineSlot{slot});
  if (strip.Valid() && app->tracks.strips[strip.value].empty) {
    app->tracks.strips[strip.value].empty = false;
    app->tracks.strips[strip.value].directory.clear();
  }
  if (app->loopEdit) app->loopEdit->Redraw();
}
}  // namespace

void App_Undo(App* app) { StepHistory(app, Audio_Undo); }
void App_Redo(App* app) { StepHistory(app, Audio_Redo); }

void App_SetMixToDisk(App* app, bool armed) {
  app->mixToDiskArmed = armed;
  if (armed) {
    const TransportState state = Audio_GetTransportState();
    if (state != Stopped && state != Paused) StartMixIfArmed(app);
  } else {
    if (Audio_IsMixingToDisk()) Audio_StopMixToDisk();
    app->mixWriterRunning = false;
  }
}
