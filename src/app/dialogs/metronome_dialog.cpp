#include "app/dialogs/metronome_dialog.h"

#include "app/settings/config_files.h"
#include "app/settings/preferences.h"
#include "engine/message_dialog.h"

namespace {

int Seven(int v) { return v < 0 ? 0 : v > 127 ? 127 : v; }

// One sound path of OK; false keeps the dialog open. A sound that fails to load leaves
// the stored path as it was.
bool TakeSound(bool accent, std::string* field, const char* tooLong, const char* unloadable) {
  if (field->size() >= 260) {
    field->clear();
    MessageDialog_Show(nullptr, tooLong, "Error");
    return false;
  }
  if (field->empty()) return true;
  Preferences& p = App_Preferences();
  std::string& stored = accent ? p.metronome_accent : p.metronome_beat;
  const std::string before = stored;
  if (Preferences_ApplyMetronomeSound(accent, *field)) return true;
  stored = before;
  MessageDialog_Show(nullptr, unloadable, "Error");
  return false;
}

}  // namespace

MetronomeDialog MetronomeDialog_Open() {
  const Preferences& p = App_Preferences();
  const MidiSendSettings& m = p.midi;
  MetronomeDialog d;
  d.saved = {m.metronome_midi_enable, m.metronome_midi_accent_note, m.metronome_midi_beat_note,
             m.metronome_midi_port, m.metronome_midi_channel};
  d.sendNotes = m.metronome_midi_enable != 0;
  d.ports = MidiOutputChoices();
  d.port = MidiOutputChoice_Find(d.ports, m.metronome_midi_port);
  d.accentNote = m.metronome_midi_accent_note;
  d.beatNote = m.metronome_midi_beat_note;
  d.accentVolume = m.metronome_midi_accent_volume;
  d.beatVolume = m.metronome_midi_beat_volume;
  d.channel = m.metronome_midi_channel;
  d.beatPath = Preferences_ResolveSoundPath(p.metronome_beat);
  d.accentPath = Preferences_ResolveSoundPath(p.metronome_accent);
  return d;
}

void MetronomeDialog_SetSendNotes(MetronomeDialog* d, bool on) {
  d->sendNotes = on;
  App_Preferences().midi.metronome_midi_enable = on ? 1 : 0;
}

void MetronomeDialog_ChoosePort(MetronomeDialog* d, int entry) {
  if (entry < 0 || entry >= static_cast<int>(d->ports.size())) return;
  d->port = entry;
  App_Preferences().midi.metronome_midi_port = d->ports[entry].position;
}

void MetronomeDialog_SetAccentNote(MetronomeDialog* d, int note) {
  App_Preferences().midi.metronome_midi_accent_note = d->accentNote = Seven(note);
}
void MetronomeDialog_SetBeatNote(MetronomeDialog* d, int note) {
  App_Preferences().midi.metronome_midi_beat_note = d->beatNote = Seven(note);
}
void MetronomeDialog_SetAccentVolume(MetronomeDialog* d, int volume) {
  App_Preferences().midi.metronome_midi_accent_volume = d->accentVolume = Seven(volume);
}
void MetronomeDialog_SetBeatVolume(MetronomeDialog* d, int volume) {
  App_Preferences().midi.metronome_midi_beat_volume = d->beatVolume = Seven(volume);
}

void MetronomeDialog_SetChannel(MetronomeDialog* d, int channel) {
  if (channel < 0 || channel > 15) return;
  App_Preferences().midi.metronome_midi_channel = d->channel = channel;
  MetronomeDialog_ChoosePort(d, d->port);
}

bool MetronomeDialog_Ok(MetronomeDialog* d) {
  if (!TakeSound(false, &d->beatPath, "Beat .wav File Path too long", "Unable to load beat .wav file")) return false;
  if (!TakeSound(true, &d->accentPath, "Accent .wav File Path too long", "Unable to load accent .wav file"))
    return false;
  App_Preferences().midi.metronome_midi_enable = d->sendNotes ? 1 : 0;
  WritePreferences();
  return true;
}

void MetronomeDialog_Cancel(MetronomeDialog* d) {
  MidiSendSettings& m = App_Preferences().midi;
  m.metronome_midi_enable = d->saved.enable;
  m.metronome_midi_accent_note = d->saved.accentNote;
  m.metronome_midi_beat_note = d->saved.beatNote;
  m.metronome_midi_port = d->saved.port;
  m.metronome_midi_channel = d->saved.channel;
}
