#include "control/trigger.h"

#include <cstring>

namespace {
struct TypeInfo {
  const char* fileName;
  const char* displayName;
  uint32_t learnMessage;
};

constexpr TypeInfo kTypes[kTriggerTypeCount] = {
    {"note_on", "Note On", kLearnNoteOn},
    {"note_off", "Note Off", kLearnNoteOff},
    {"poly_pressure", "Poly Pressure", kLearnPolyPressure},
    {"control_change", "Control Change", kLearnControlChange},
    {"program_change", "Program Change", kLearnProgramChange},
    {"channel_pressure", "Channel Pressure", kLearnChannelPressure},
    {"pitch_bend", "Pitch Bend", kLearnPitchBend},
    {"song_start", "Song Start", kLearnSongStart},
    {"song_stop", "Song Stop", kLearnSongStop},
    {"keyboard_key", "Keyboard Key", kLearnKeyboardKey},
};

const TypeInfo* Info(TriggerType type) {
  const int i = static_cast<int>(type);
  return i >= 0 && i < kTriggerTypeCount ? &kTypes[i] : nullptr;
}
}  // namespace

const char* TriggerType_FileName(TriggerType type) {
  const TypeInfo* info = Info(type);
  return info ? info->fileName : nullptr;
}

const char* TriggerType_DisplayName(TriggerType type) {
  const TypeInfo* info = Info(type);
  return info ? info->displayName : nullptr;
}

uint32_t TriggerType_LearnMessage(TriggerType type) {
  const TypeInfo* info = Info(type);
  return info ? info->learnMessage : 0;
}

bool TriggerType_FromFileName(const char* name, TriggerType* type) {
  if (!name) return false;
  for (int i = 0; i < kTriggerTypeCount; ++i) {
    if (std::strcmp(name, kTypes[i].fileName) == 0) {
      *type = static_cast<TriggerType>(i);
      return true;
    }
  }
  return false;
}

bool TriggerType_HasData1(TriggerType type) {
  return type != TriggerType::SongStart && type != TriggerType::SongStop && Info(type);
}

bool TriggerType_HasData2(TriggerType type) {
  const int i = static_cast<int>(type);
  return i >= 0 && i <= 3;
}

ValueSource TriggerType_ValueSource(TriggerType type) {
  const int i = static_cast<int>(type);
  if (i >= 0 && i <= 3) return ValueSource::Data2;
  if (i >= 4 && i <= 6) return ValueSource::Data1;
  return ValueSource::None;
}

Trigger Trigger_Make(TriggerType type) {
  Trigger t;
  switch (type) {
    case TriggerType::NoteOn:
    case TriggerType::NoteOff:
    case TriggerType::PolyPressure:
    case TriggerType::ControlChange:
    case TriggerType::ProgramChange:
    case TriggerType::KeyboardKey:
      t.data1.SetInput(0, ValueRange::kSingle);
      break;
    case TriggerType::PitchBend:
      t.data1 = ValueRange::FourteenBit();
      break;
    default:
      break;
  }
  return t;
}
