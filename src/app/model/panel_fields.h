#pragma once
// The panel's edit fields: what the user typed, kept as text until Enter or Tab commits
// it. The number fields live here; the eight track-name fields belong to the strips
// (strips/track_strips.h), so a name and its field change together.
//
// User-interface thread only.
#include <string>

// The panel's edit fields that commit on Enter or Tab.
enum class PanelField {
  None,
  Seconds,       // 1209
  Measures,      // 1211
  MaxTime,       // 1212
  Tempo,         // 1210
  Beats,         // 1159
  Countoff,      // 1144
  MuteAfter,     // 1145
  DelayLeft,     // 1294
  DelayRight,    // 1295
  TrackName1,    // 1105 .. 1112
  TrackName8 = TrackName1 + 7,
};

inline PanelField TrackNameField(int strip) {
  return static_cast<PanelField>(static_cast<int>(PanelField::TrackName1) + strip);
}
// The strip 0..7 of a track-name field, -1 for any other field.
inline int TrackNameStrip(PanelField field) {
  const int offset = static_cast<int>(field) - static_cast<int>(PanelField::TrackName1);
  return offset >= 0 && offset < 8 ? offset : -1;
}

// The number fields' texts, by field (PanelField::None holds nothing shown).
struct PanelFields {
  std::string text[static_cast<int>(PanelField::DelayRight) + 1];
  std::string& operator[](PanelField f) { return text[static_cast<int>(f)]; }
  const std::string& operator[](PanelField f) const { return text[static_cast<int>(f)]; }
};
