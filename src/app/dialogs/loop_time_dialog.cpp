#include "app/dialogs/loop_time_dialog.h"

#include "app/dialogs/dialog_text.h"
#include "app/session/session_file.h"
#include "app/settings/preferences.h"
#include "app/strips/loop_strip.h"
#include "engine/loop_ops.h"
#include "engine/message_dialog.h"
#include "engine/metronome.h"

namespace {

void Error(const std::string& text) { MessageDialog_Show(nullptr, text, "Error"); }

bool Confirm(const char* text, const char* caption) {
  if (!App_Preferences().warn_erase_loops) return true;
  return MessageDialog_Show(nullptr, text, caption, MB_OKCANCEL) == IDOK;
}

// The strip's loop takes `seconds`: an empty strip gets a fresh loop, a recorded one is
// cut or padded with silence (undoable).
void GiveLoopTime(TrackStrips* tracks, int strip, double seconds) {
  LoopStrip& s = tracks->strips[strip];
  if (s.empty)
    LoopStrip_Recreate(tracks, StripIndex{strip}, seconds, true);
  else
    Audio_ResizeLoop(s.slot, seconds, false, 1, ResizeNewLoopTime, false);
}

}  // namespace

LoopTimeDialog LoopTimeDialog_Open(const SessionParts& parts) {
  const LoopTimeSettings& lt = *parts.loopTime;
  LoopTimeDialog d;
  d.parts = parts;
  d.seconds = DialogText_Format("%.4f", lt.loopTime);
  d.tempo = DialogText_Format("%.4f", lt.tempo);
  d.measures = DialogText_Format("%d", lt.measures);
  d.maxTime = DialogText_Format("%.4f", lt.maxManualTime);
  d.choice = lt.mode == LoopTimeMeasures ? LoopTimeChoice::Tempo
             : lt.mode == LoopTimeMaxTime ? LoopTimeChoice::Manual
                                          : LoopTimeChoice::Seconds;
  d.focus = lt.mode == LoopTimeSeconds ? LoopTimeDialogField::Seconds : LoopTimeDialogField::Measures;
  return d;
}

void LoopTimeDialog_Enter(LoopTimeDialog* d, LoopTimeDialogField field) {
  d->focus = field;
  switch (field) {
    case LoopTimeDialogField::Seconds: d->choice = LoopTimeChoice::Seconds; break;
    case LoopTimeDialogField::Tempo:
    case LoopTimeDialogField::Measures: d->choice = LoopTimeChoice::Tempo; break;
    case LoopTimeDialogField::MaxTime: d->choice = LoopTimeChoice::Manual; break;
  }
}

double LoopTimeDialog_Seconds(const LoopTimeDialog& d) {
  const LoopTimeSettings& lt = *d.parts.loopTime;
  unsigned measures = 0;
  switch (d.choice) {
    case LoopTimeChoice::Manual: return DialogText_Real(d.maxTime);
    case LoopTimeChoice::Tempo:
      if (!DialogText_Unsigned(d.measures, &measures)) measures = 0;
      return 60.0 / DialogText_Real(d.tempo) * lt.beatsPerMeasure * measures;
    default: return DialogText_Real(d.seconds);
  }
}

bool LoopTimeDialog_Ok(LoopTimeDialog* d) {
  const SessionParts& parts = d->parts;
  TrackStrips* tracks = parts.tracks;
  LoopTimeState& lt = *parts.loopTime;
  const int mode = static_cast<int>(d->choice);
  double tempo = lt.tempo;
  unsigned measures = static_cast<unsigned>(lt.measures);
  switch (d->choice) {
    case LoopTimeChoice::Manual: {
      if (DialogText_Empty(d->maxTime)) return Error("Please enter a maximum manual loop time"), false;
      const double v = DialogText_Real(d->maxTime);
      if (!(v >= 0.1)) return Error("Time too short."), false;
      if (v > 240.0) return Error("Time too long."), false;
      break;
    }
    case LoopTimeChoice::Tempo:
      if (DialogText_Empty(d->tempo)) return Error("Please enter a tempo"), false;
      tempo = DialogText_Real(d->tempo);
      if (!(tempo >= 20.0 && tempo <= 300.0)) return Error("Tempo out of range"), false;
      if (!DialogText_Unsigned(d->measures, &measures)) {
        Error(DialogText_Format(
            "Unable to translate \"%s\" into a Measure value,\nplease enter a new value for Measures.",
            d->measures.c_str()));
        measures = 0;
      }
      break;
    case LoopTimeChoice::Seconds:
      if (DialogText_Empty(d->seconds)) return Error("Please enter a time in seconds"), false;
      break;
  }
  const double seconds = LoopTimeDialog_Seconds(*d);
  if (seconds > 240.0) return Error("Time too long"), false;
  if (!(seconds >= 0.1)) return Error(DialogText_Format("Time too short.\nButton = %d", mode)), false;

  if (d->choice == LoopTimeChoice::Manual) {
    if (!Confirm("This will erase current loop. Proceed?", "Erase Loop?")) return false;
    lt.maxManualTime = seconds;
    GiveLoopTime(tracks, tracks->current, seconds);
    lt.firstLoopSet = false;
  } else if (d->setAll) {
    if (!Confirm("This will erase all loops! Proceed?", "Erase All Loops?")) return false;
    for (int i = 0; i < kStripCount; ++i) GiveLoopTime(tracks, i, seconds);
  } else if (d->setEmpty) {
    for (int i = 0; i < kStripCount; ++i)
      if (tracks->strips[i].empty) GiveLoopTime(tracks, i, seconds);
  } else {
    if (!Confirm("This will erase current loop. Proceed?", "Erase Loop?")) return false;
    GiveLoopTime(tracks, tracks->current, seconds);
  }

  LoopTime_SetMode(&lt, mode);
  if (d->choice == LoopTimeChoice::Tempo) {
    LoopTime_SetTempo(&lt, tempo);
    LoopTime_SetMeasures(&lt, static_cast<int32_t>(measures));
    EffectsPanel_ApplyTempo(parts.effects, lt.tempo, lt.beatsPerMeasure);
  }
  LoopTime_SetLoopTime(&lt, seconds);
  // The metronome keeps the measure's own beats (the panel's beats per measure).
  Audio_SetMetronomeTime(LoopTime_MeasureSeconds(lt), lt.beatsPerMeasure, false);
  SessionFile_RefreshPanel(parts);
  return true;
}
