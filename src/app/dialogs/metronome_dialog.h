#pragma once
// "Metronome": the click sounds and the MIDI metronome. The combo boxes and "Send MIDI
// Notes" act at once; OK loads the two sounds and writes Preferences.xml; Cancel puts
// back the switch, the notes, the port and the channel (not the volumes).
// User-interface thread only.
#include <string>
#include <vector>

#include "app/dialogs/midi_output_choice.h"

struct MetronomeDialog {
  bool sendNotes = false;  // "Send MIDI Notes"; the six combo boxes are enabled only then
  std::vector<MidiOutputChoice> ports;
  int port = -1;  // chosen entry of `ports`, -1 when the stored port is not open
  int accentNote = 0, beatNote = 0, accentVolume = 0, beatVolume = 0;  // 0..127
  int channel = 0;  // 0..15, shown as 1..16
  std::string beatPath;    // "Beat .wav File", combined with ConfigDirectory
  std::string accentPath;  // "Accent .wav File"

  struct {
    int enable, accentNote, beatNote, port, channel;
  } saved{};
};

MetronomeDialog MetronomeDialog_Open();
void MetronomeDialog_SetSendNotes(MetronomeDialog* d, bool on);
void MetronomeDialog_ChoosePort(MetronomeDialog* d, int entry);
void MetronomeDialog_SetAccentNote(MetronomeDialog* d, int note);
void MetronomeDialog_SetBeatNote(MetronomeDialog* d, int note);
void MetronomeDialog_SetAccentVolume(MetronomeDialog* d, int volume);
void MetronomeDialog_SetBeatVolume(MetronomeDialog* d, int volume);
// Also applies the chosen port again.
void MetronomeDialog_SetChannel(MetronomeDialog* d, int channel);
// True when the dialog closes; a sound that cannot be used keeps it open.
bool MetronomeDialog_Ok(MetronomeDialog* d);
void MetronomeDialog_Cancel(MetronomeDialog* d);
