#pragma once
// The catalogue of controllable actions: 137 fixed rows, each tying the key name written
// in the MIDI control file, the display name of the control dialog and the command id the
// main window executes. The row order is also the order of the dialog's event list.
#include <cstdint>
#include <string>

#include "control/control_action.h"

enum class ActionKind : uint8_t {
  Now,      // transport operation executed at once by the firing code
  Trigger,  // performs an operation; the value is ignored
  Toggle,   // flips an on/off state; the value is ignored
  Set,      // on when the value is above 0, off when 0
  Adjust,   // sets a continuous parameter from the value
  Cycle,    // steps a mode to the next one
};

enum class TrackUse : uint8_t {
  None,   // acts on the current track or on global state
  Track,  // acts on the action's track (8: the current track)
  Mode,   // reads the track field as a mode selector (Loop Time Mode)
};

// How an adjust row turns its 16-bit value into a parameter.
enum class ValueConversion : uint8_t {
  None,
  S127,        // 0..127
  S1,          // 0.0..1.0
  Ms,          // delay milliseconds, scaled by the delay maximum
  PosMin,      // loop fraction for the cursor / selection minimum
  PosMinBeat,  // the same, snapped to a beat
  PosMax,      // loop fraction for the selection maximum
  PosMaxBeat,  // the same, snapped to a beat
  FilterMode,  // the value itself, capped at 3
};

struct ActionRow {
  const char* keyName;
  const char* displayName;
  uint32_t commandId;
  ActionKind kind;
  TrackUse trackUse;
  ValueConversion conversion;
};

inline constexpr int kActionCount = 137;

// Row 0..136; row 0 for an index outside the table.
const ActionRow& ActionCatalogue_Row(int row);
// The first row with this command id; 0 when the id is not in the table.
int ActionCatalogue_RowOfCommand(uint32_t commandId);
// The command id of the last row whose key name equals `keyName` exactly. Without a
// match *commandId is left unchanged and false is returned.
bool ActionCatalogue_CommandOfKey(const char* keyName, uint32_t* commandId);

// The description of an action as a part of a trigger's description: the 17 track rows
// with their track suffix, the others with their display name, "No Text For Message" for
// an unknown id. At most 255 characters.
std::string Describe(const ControlAction& action);

// ---- Value conversions of adjust rows ----
int ActionValue_S127(uint16_t value);                                  // 0..127
double ActionValue_S1(uint16_t value);                                 // 0.0..1.0
int ActionValue_Ms(uint16_t value, int delayMaxMilliseconds);          // 0..delay maximum
double ActionValue_Pos(uint16_t value);                                // 0.0..1.0
int ActionValue_FilterMode(uint16_t value);                            // min(value, 3)
// What a set row wants: on for any value above 0.
inline bool ActionValue_SetOn(uint16_t value) { return value > 0; }

// Loop Time Mode (CommandNumber::LoopTimeMode): the mode a command with this track field
// leaves, given the current mode (0 "Seconds", 1 "Measures", 2 "Max Time"). Track fields
// 1, 2 and 3 select modes 0, 1 and 2; anything else steps to the next mode, 2 wrapping
// to 0.
int LoopTimeMode_After(int32_t trackField, int currentMode);
// Filter Mode (Toggle) (CommandNumber::FilterMode): the next filter mode, 3 wrapping to 0.
int FilterMode_Next(int currentMode);
