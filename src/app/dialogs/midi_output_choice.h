#pragma once
// The MIDI output ports a dialog offers: the open ones, by name, each with its position
// in the port table (what `metronome_midi_port` and `midi_sync_port` store).
// User-interface thread only.
#include <string>
#include <vector>

#include "control/midi_ports.h"

struct MidiOutputChoice {
  int position = 0;
  std::string name;
};

inline std::vector<MidiOutputChoice> MidiOutputChoices() {
  std::vector<MidiOutputChoice> choices;
  const MidiPortTable& table = MidiPorts();
  for (int i = 0; i < table.outputCount && i < kMaxMidiPorts; ++i)
    if (table.outputs[i].enabled) choices.push_back({i, table.outputs[i].name});
  return choices;
}

// The entry holding table position `position`, or -1.
inline int MidiOutputChoice_Find(const std::vector<MidiOutputChoice>& choices, int position) {
  for (size_t i = 0; i < choices.size(); ++i)
    if (choices[i].position == position) return static_cast<int>(i);
  return -1;
}
