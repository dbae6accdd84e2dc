#pragma once
// Trigger types and the trigger record: one kind of MIDI message or keyboard character
// tied to one action.
#include <cstdint>

#include "control/control_action.h"
#include "control/value_range.h"

// Numbered in this order everywhere: dialog lists, the MIDI control file, learning.
enum class TriggerType : int32_t {
  NoteOn = 0,
  NoteOff = 1,
  PolyPressure = 2,
  ControlChange = 3,
  ProgramChange = 4,
  ChannelPressure = 5,
  PitchBend = 6,
  SongStart = 7,
  SongStop = 8,
  KeyboardKey = 9,
};

inline constexpr int kTriggerTypeCount = 10;
// Types 0..8 are MIDI triggers; 9 is the keyboard.
inline constexpr int kMidiTriggerTypeCount = 9;

// Name in the MIDI control file ("note_on"...), display name ("Note On"...) and the learn
// message the dialog receives for an event of that type (6025...). Null / 0 outside 0..9.
const char* TriggerType_FileName(TriggerType type);
const char* TriggerType_DisplayName(TriggerType type);
uint32_t TriggerType_LearnMessage(TriggerType type);
// The type whose file name equals `name` exactly; false (and *type untouched) if none.
bool TriggerType_FromFileName(const char* name, TriggerType* type);

// Which ranges a type uses.
bool TriggerType_HasData1(TriggerType type);  // note, controller, program, pressure, bend, key
bool TriggerType_HasData2(TriggerType type);  // velocity, pressure or control value
// The range that supplies the fired value: data2 for types 0..3, data1 for 4..6; none for
// Song Start, Song Stop and keys (they fire with 0).
enum class ValueSource : int32_t { None, Data1, Data2 };
ValueSource TriggerType_ValueSource(TriggerType type);

// Learn messages posted to the learning dialog.
inline constexpr uint32_t kLearnNoteOff = 6024;
inline constexpr uint32_t kLearnNoteOn = 6025;
inline constexpr uint32_t kLearnPolyPressure = 6026;
inline constexpr uint32_t kLearnControlChange = 6027;
inline constexpr uint32_t kLearnProgramChange = 6028;
inline constexpr uint32_t kLearnChannelPressure = 6029;
inline constexpr uint32_t kLearnPitchBend = 6030;
inline constexpr uint32_t kLearnPortChannel = 6031;  // value: channel * 65536 + port
inline constexpr uint32_t kLearnSongStart = 6032;
inline constexpr uint32_t kLearnSongStop = 6033;
inline constexpr uint32_t kLearnKeyboardKey = 6034;

// One trigger. Every record carries all five fields; which ranges take part in matching
// depends on its type (TriggerType_HasData1/HasData2). Port and channel are 0-based
// (port = PortMidi device index); keyboard triggers keep them "any".
struct Trigger {
  ValueRange port = ValueRange::SevenBit();
  ValueRange channel = ValueRange::SevenBit();
  ControlAction action;
  ValueRange data1 = ValueRange::SevenBit();  // 14-bit for pitch bend
  ValueRange data2 = ValueRange::SevenBit();
  // The action's state is sent back to the controller on the trigger's own note or
  // controller (controller_feedback.h); off for a pad the controller lights itself.
  bool feedback = true;
};

// A trigger of the given type's shape: port, channel and value ranges "any", data1 the
// single value 0 for types whose data1 is one value (note, controller, program, key 0),
// a 14-bit data1 for pitch bend, action "Transport Play" on track 0.
Trigger Trigger_Make(TriggerType type);
