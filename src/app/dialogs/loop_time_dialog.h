#pragma once
// "Set Loop Time": the loop time by seconds, by tempo and measures, or as the maximum of
// a free first recording, for the current, the empty or all tracks. Nothing is applied
// before OK, so Cancel has nothing to put back: the settings stay as they were.
// User-interface thread only.
#include <string>

#include "app/session/session_file.h"

// The radio buttons "Seconds:", "Tempo:" and "Manual" (the loop-time modes 0, 1, 2).
enum class LoopTimeChoice { Seconds = 0, Tempo = 1, Manual = 2 };
enum class LoopTimeDialogField { Seconds, Tempo, Measures, MaxTime };

struct LoopTimeDialog {
  SessionParts parts;  // the loop time, the strips it gives it to, the panel it refreshes
  std::string seconds;   // "%.4f"
  std::string tempo;     // "%.4f"
  std::string measures;  // "%d"
  std::string maxTime;   // "%.4f"
  LoopTimeChoice choice = LoopTimeChoice::Seconds;
  bool setAll = false;    // "Set All Loops to This Time"
  bool setEmpty = false;  // "Set Empty Loops to This Time"
  LoopTimeDialogField focus = LoopTimeDialogField::Seconds;
};

// The fields filled from the application's loop-time settings, the mode's radio button
// ticked, the focus in the seconds field for mode 0 and in the measures field otherwise.
LoopTimeDialog LoopTimeDialog_Open(const SessionParts& parts);
// Entering a field ticks its radio button.
void LoopTimeDialog_Enter(LoopTimeDialog* d, LoopTimeDialogField field);
// The two check boxes are enabled for "Seconds:" and "Tempo:".
inline bool LoopTimeDialog_CheckBoxesEnabled(const LoopTimeDialog& d) {
  return d.choice != LoopTimeChoice::Manual;
}
// OK: validates the chosen field (messages with caption "Error"), asks before erasing,
// gives the target tracks the new time, stores it and sets the metronome. True when the
// dialog closes; false keeps it open.
bool LoopTimeDialog_Ok(LoopTimeDialog* d);
// The time the chosen field gives, in seconds (what OK would set, before its range check).
double LoopTimeDialog_Seconds(const LoopTimeDialog& d);
