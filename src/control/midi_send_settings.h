#pragma once
// The preferences that govern what the program sends on its MIDI outputs. The
// application's preferences record holds one of these and points the port table at it
// (MidiPorts_UseSendSettings). The fields are read on the audio thread by the clock and
// metronome hooks while the preferences dialog may write them, hence relaxed atomics;
// they read and assign like plain ints.
#include <cstdint>

#include "engine/relaxed.h"

struct MidiSendSettings {
  Relaxed<int32_t> metronome_midi_enable{0};          // boolean
  Relaxed<int32_t> metronome_midi_accent_note{63};    // 0..127
  Relaxed<int32_t> metronome_midi_accent_volume{127}; // 0..127
  Relaxed<int32_t> metronome_midi_beat_note{64};      // 0..127
  Relaxed<int32_t> metronome_midi_beat_volume{127};   // 0..127
  Relaxed<int32_t> metronome_midi_port{0};            // position in the output table, 0..15
  Relaxed<int32_t> metronome_midi_channel{0};         // 0..15, 0 meaning MIDI channel 1
  Relaxed<int32_t> send_midi_sync{0};                 // boolean
  Relaxed<int32_t> midi_sync_port{0};                 // position in the output table, 0..15
};
