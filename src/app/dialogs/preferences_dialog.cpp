#include "app/dialogs/preferences_dialog.h"

#include <filesystem>

#include "app/dialogs/dialog_text.h"
#include "app/settings/config_files.h"
#include "engine/audio.h"
#include "engine/message_dialog.h"

const PreferenceBox kPreferenceBoxes[kPreferenceBoxCount] = {
    {"Spacebar Record", &Preferences::spacebar_record, nullptr},
    {"Warn About Unsaved Session", &Preferences::warn_unsaved_loops, nullptr},
    {"Warn About Erasing Loops (Menu Only)", &Preferences::warn_erase_loops, nullptr},
    {"Warn When Load/Save Default Session", &Preferences::warn_default_config, nullptr},
    {"Warn about Quicksave overwrites", &Preferences::warn_quicksave, nullptr},
    {"Show Info Dialog Before Loop Load", &Preferences::warn_file_load, nullptr},
    {"Warn About Sample Rate Differences", &Preferences::warn_sample_rate, nullptr},
    {"Play After Set Loop", &Preferences::play_after_setloop, nullptr},
    {"Set Empty Loop Times to Last Recorded", &Preferences::empty_to_last_rec, nullptr},
    {"Meter Peak Hold", &Preferences::peakhold, nullptr},
    {"Unmute Track After Loop Loaded", &Preferences::unmute_after_load_loop, nullptr},
    {"Sync Loop After Mute, Un-Slow, Un-Reverse", &Preferences::extended_loop_sync, nullptr},
    {"Crossfade Mix A and B Sliders", &Preferences::crossfade_ab, nullptr},
    {"Show Beat Markers in Loop Edit Window", &Preferences::show_edit_beat_lines, nullptr},
    {"Filter Preceeds Delay in Effects Chain", &Preferences::filter_before_delay, Preferences_ApplyFilterBeforeDelay},
    {"Continuous Metronome  when set to 0 measures", &Preferences::continuous_metronome,
     Preferences_ApplyContinuousMetronome},
    {"Convert Loaded Loops to the Device Sample Rate", &Preferences::convert_sample_rate,
     Preferences_ApplyConvertSampleRate},
};

namespace {

void (*const kApplySlider[3])(int) = {Preferences_ApplyLatentInputVolume, Preferences_ApplyLatentInputPan,
                                      Preferences_ApplyLatentInputEffectsMix};

int Position(double engineValue) { return static_cast<int>(engineValue * 127.0); }

// A directory field: false (field emptied when too long) keeps the dialog open.
bool DirectoryValid(std::string* field, const char* tooLong, const char* missing) {
  if (field->size() >= 244) {
    field->clear();
    MessageDialog_Show(nullptr, tooLong, "Error");
    return false;
  }
  std::error_code ec;
  if (!field->empty() && !std::filesystem::exists(*field, ec)) {
    MessageDialog_Show(nullptr, missing, "Error");
    return false;
  }
  return true;
}

}  // namespace

PreferencesDialog PreferencesDialog_Open() {
  const Preferences& p = App_Preferences();
  PreferencesDialog d;
  if (const AudioEngine* e = Audio_GetEngine()) {
    d.slider[0] = Position(e->latentVolume);
    d.slider[1] = Position(e->latentPan);
    d.slider[2] = Position(e->latentEffectsMix);
  }
  d.monitor = p.latent_input != 0;
  d.useLoopEffectsMix = p.latent_input_use_loop_effects_mix != 0;
  d.sendSync = p.midi.send_midi_sync != 0;
  d.ports = MidiOutputChoices();
  d.port = MidiOutputChoice_Find(d.ports, p.midi.midi_sync_port);
  if (d.port < 0 && !d.ports.empty()) d.port = 0;
  d.undo = p.undo != 0;
  d.stereo = p.stereo_record != 0;
  for (int i = 0; i < kPreferenceBoxCount; ++i) d.boxes[i] = p.*kPreferenceBoxes[i].field != 0;
  d.quicksaveDirectory = p.quicksave_directory;
  d.mixToDiskDirectory = p.mixtodisk_directory;
  d.delayMax = DialogText_Format("%d", p.delay_max_milliseconds);
  d.loopFileFormat = p.loop_file_format;
  d.feedbackPort = MidiOutputChoice_Find(d.ports, p.midi_feedback_port);
  d.oscPort = DialogText_Format("%d", p.osc_port);
  d.oscAllInterfaces = p.osc_all_interfaces != 0;
  d.undoMemory = DialogText_Format("%d", p.undo_memory_mb);
  d.seamCrossfadeMs = p.seam_crossfade_ms;
  d.syncSource = p.sync_source;
  d.syncStartOn = p.sync_start_on;
  d.syncLeadJack = p.sync_lead_jack != 0;
  d.syncLeadLink = p.sync_lead_link != 0;
  for (int i = 0; i < 3; ++i) d.saved.slider[i] = d.slider[i];
  d.saved.monitor = p.latent_input;
  d.saved.useLoopEffectsMix = p.latent_input_use_loop_effects_mix;
  d.saved.sendSync = p.midi.send_midi_sync;
  d.saved.syncPort = p.midi.midi_sync_port;
  return d;
}

std::vector<std::string> PreferencesDialog_FeedbackPortNames(const PreferencesDialog& d) {
  std::vector<std::string> names = {"None"};
  for (const MidiOutputChoice& c : d.ports) names.push_back(c.name);
  return names;
}

std::string PreferencesDialog_SliderLabel(const PreferencesDialog& d, MonitorSlider which) {
  static const char* const kFormats[3] = {"Volume: %d", "Pan: %d", "Effects Mix: %d"};
  const int i = static_cast<int>(which);
  return DialogText_Format(kFormats[i], d.slider[i] * 100 / 127);
}

void PreferencesDialog_MoveSlider(PreferencesDialog* d, MonitorSlider which, int position) {
  const int i = static_cast<int>(which);
  d->slider[i] = position < 0 ? 0 : position > 127 ? 127 : position;
  kApplySlider[i](d->slider[i]);
}

void PreferencesDialog_SetMonitor(PreferencesDialog* d, bool on) {
  d->monitor = on;
  Preferences_ApplyLatentInput(on);
}

void PreferencesDialog_SetUseLoopEffectsMix(PreferencesDialog* d, bool on) {
  d->useLoopEffectsMix = on;
  Preferences_ApplyLatentInputUseLoopEffectsMix(on);
}

void PreferencesDialog_SetSendSync(PreferencesDialog* d, bool on) {
  d->sendSync = on;
  App_Preferences().midi.send_midi_sync = on ? 1 : 0;
}

void PreferencesDialog_ChoosePort(PreferencesDialog* d, int entry) {
  if (entry < 0 || entry >= static_cast<int>(d->ports.size())) return;
  d->port = entry;
  App_Preferences().midi.midi_sync_port = d->ports[entry].position;
}

bool PreferencesDialog_Ok(PreferencesDialog* d) {
  Preferences& p = App_Preferences();
  // Every field is checked, and the erase question answered, before anything is applied:
  // switching between stereo and mono erases the recording loop, so a refused OK must
  // leave the loop, the preferences and Preferences.xml as they were.
  unsigned delay = 0;
  if (!DialogText_Unsigned(d->delayMax, &delay) || delay < 200 || delay > 5000) {
    MessageDialog_Show(nullptr, "Max Delay Time is out of range (200 to 5000).", "Delay Time Out of Range",
                       MB_OKCANCEL);
    return false;
  }
  unsigned oscPort = 0;
  if (!DialogText_Unsigned(d->oscPort, &oscPort) || oscPort > 65535) {
    MessageDialog_Show(nullptr, "OSC Port is out of range (0 to 65535, 0 for no OSC control).",
                       "OSC Port Out of Range");
    return false;
  }
  unsigned undoMemory = 0;
  if (!DialogText_Unsigned(d->undoMemory, &undoMemory) || undoMemory > static_cast<unsigned>(kUndoMemoryMaxMb)) {
    MessageDialog_Show(nullptr, "Undo memory is out of range (0 to 1048576 MB).", "Undo Memory Out of Range",
                       MB_OKCANCEL);
    return false;
  }
  if (!DirectoryValid(&d->quicksaveDirectory, "Quicksave Path too long", "Quicksave path does not exist."))
    return false;
  if (!DirectoryValid(&d->mixToDiskDirectory, "Mix to Disk Path too long", "Mix to Disk path does not exist."))
    return false;
  const bool switchChannels = d->stereo != (p.stereo_record != 0);
  if (switchChannels && p.warn_erase_loops) {
    const char* question = d->stereo ? "Changing from Mono to Stereo will erase current recording loop, proceed?"
                                     : "Changing from Stereo to Mono will erase current recording loop, proceed?";
    if (MessageDialog_Show(nullptr, question, "Erase Loop?", MB_OKCANCEL) != IDOK) return false;
  }

  Preferences_ApplyDelayMaxMilliseconds(static_cast<int>(delay));
  Preferences_ApplyUndo(d->undo);
  Preferences_ApplyLatentInput(d->monitor);
  if (switchChannels) Preferences_ApplyStereoRecord(d->stereo);
  for (int i = 0; i < kPreferenceBoxCount; ++i) {
    const PreferenceBox& box = kPreferenceBoxes[i];
    if (box.apply)
      box.apply(d->boxes[i]);
    else
      p.*box.field = d->boxes[i] ? 1 : 0;
  }
  Preferences_ApplyLoopFileFormat(d->loopFileFormat);
  p.midi_feedback_port = d->feedbackPort >= 0 && d->feedbackPort < static_cast<int>(d->ports.size())
                             ? d->ports[static_cast<size_t>(d->feedbackPort)].position
                             : -1;
  p.osc_port = static_cast<int>(oscPort);
  p.osc_all_interfaces = d->oscAllInterfaces ? 1 : 0;
  Preferences_ApplyUndoMemory(static_cast<int>(undoMemory));
  Preferences_ApplySeamCrossfade(d->seamCrossfadeMs);
  Preferences_ApplySyncStartOn(d->syncStartOn);
  Preferences_ApplySyncSource(d->syncSource);
  Preferences_ApplySyncLead(d->syncLeadJack, d->syncLeadLink);
  p.quicksave_directory = d->quicksaveDirectory;
  p.mixtodisk_directory = d->mixToDiskDirectory;
  WritePreferences();
  return true;
}

void PreferencesDialog_Cancel(PreferencesDialog* d) {
  for (int i = 0; i < 3; ++i) kApplySlider[i](d->saved.slider[i]);
  Preferences_ApplyLatentInput(d->saved.monitor);
  Preferences_ApplyLatentInputUseLoopEffectsMix(d->saved.useLoopEffectsMix);
  Preferences& p = App_Preferences();
  p.midi.send_midi_sync = d->saved.sendSync;
  p.midi.midi_sync_port = d->saved.syncPort;
}
