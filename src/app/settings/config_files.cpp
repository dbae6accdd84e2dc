#include "app/settings/config_files.h"

#include <string>

#include "app/settings/preferences.h"
#include "audio_io/audio_device.h"
#include "persist/config_directory.h"
#include "persist/xml_read_state.h"
#include "persist/xml_reader.h"
#include "persist/xml_writer.h"

namespace {

Preferences& P() { return App_Preferences(); }
MidiSendSettings& M() { return App_Preferences().midi; }

// Row shapes. Each expands to a SettingDescriptor of the named field.
#define ROW_STORED(field)                                      \
  SettingDescriptor {                                          \
    .name = #field, .setInteger = [](int v) { P().field = v; }, \
    .getInteger = [] { return P().field; }                     \
  }
#define ROW_BIT(field)                                                   \
  SettingDescriptor {                                                    \
    .name = #field, .setInteger = [](int v) { P().field = v != 0 ? 1 : 0; }, \
    .getInteger = [] { return P().field; }                               \
  }
#define ROW_APPLIED(field, apply)                              \
  SettingDescriptor {                                          \
    .name = #field, .setInteger = [](int v) { apply(v); },     \
    .getInteger = [] { return P().field; }                     \
  }
#define ROW_TEXT(field)                                                             \
  SettingDescriptor {                                                               \
    .name = #field, .setText = [](int, const std::string& t) { P().field = t; },     \
    .getText = [](int) { return P().field; }                                        \
  }
#define ROW_MIDI_BIT(field)                                              \
  SettingDescriptor {                                                    \
    .name = #field, .setInteger = [](int v) { M().field = v != 0 ? 1 : 0; }, \
    .getInteger = []() -> int { return M().field; }                               \
  }
// Values outside lo..hi are ignored: the previous value stays.
#define ROW_MIDI_IN(field, lo, hi)                                                 \
  SettingDescriptor {                                                              \
    .name = #field, .setInteger = [](int v) { if (v >= lo && v <= hi) M().field = v; }, \
    .getInteger = []() -> int { return M().field; }                                         \
  }

// Click sound paths of 260 characters or more are ignored whole rather than cut.
void ApplySound(bool accent, const std::string& text) {
  if (Xml_ReadState().textLength >= 260 || text.size() >= 260) return;
  Preferences_ApplyMetronomeSound(accent, text);
}

// A driver type the audio layer does not offer changes nothing: the driver selected
// before stays selected.
void SelectDriver(int type) {
  const int previous = Audio_GetHostApiType();
  if (!Audio_SetHostApi(type) && previous >= 0) Audio_SetHostApi(previous);
}

const SettingDescriptor kRows[] = {
    // SysConfig.xml
    {.name = "skin",
     .setText =
         [](int, const std::string& t) {
           if (Xml_ReadState().textLength < 256 && t.size() < 256) App_SystemConfiguration().skin = t;
         },
     .getText = [](int) { return App_SystemConfiguration().skin; }},
    {.name = "show_title",
     .setInteger = [](int v) { Preferences_ApplyShowTitle(v); },
     .getInteger = [] { return App_SystemConfiguration().show_title; }},

    // Preferences.xml
    ROW_APPLIED(undo, Preferences_ApplyUndo),
    ROW_APPLIED(latent_input, Preferences_ApplyLatentInput),
    ROW_APPLIED(latent_input_volume, Preferences_ApplyLatentInputVolume),
    ROW_APPLIED(latent_input_pan, Preferences_ApplyLatentInputPan),
    ROW_APPLIED(latent_input_effects_mix, Preferences_ApplyLatentInputEffectsMix),
    ROW_APPLIED(latent_input_use_loop_effects_mix, Preferences_ApplyLatentInputUseLoopEffectsMix),
    ROW_APPLIED(stereo_record, Preferences_ApplyStereoRecord),
    ROW_STORED(spacebar_record),
    ROW_STORED(warn_unsaved_loops),
    ROW_STORED(warn_erase_loops),
    ROW_STORED(warn_default_config),
    ROW_STORED(warn_quicksave),
    ROW_STORED(warn_file_load),
    ROW_STORED(warn_sample_rate),
    ROW_STORED(play_after_setloop),
    ROW_STORED(empty_to_last_rec),
    ROW_STORED(peakhold),
    ROW_BIT(unmute_after_load_loop),
    ROW_BIT(extended_loop_sync),
    ROW_BIT(crossfade_ab),
    ROW_BIT(show_edit_beat_lines),
    ROW_APPLIED(filter_before_delay, Preferences_ApplyFilterBeforeDelay),
    ROW_TEXT(quicksave_directory),
    ROW_TEXT(mixtodisk_directory),
    ROW_STORED(autosave_loops),
    {.name = "metronome_accent",
     .setText = [](int, const std::string& t) { ApplySound(true, t); },
     .getText = [](int) { return P().metronome_accent; }},
    {.name = "metronome_beat",
     .setText = [](int, const std::string& t) { ApplySound(false, t); },
     .getText = [](int) { return P().metronome_beat; }},
    ROW_MIDI_BIT(metronome_midi_enable),
    ROW_MIDI_IN(metronome_midi_accent_note, 0, 127),
    ROW_MIDI_IN(metronome_midi_accent_volume, 0, 127),
    ROW_MIDI_IN(metronome_midi_beat_note, 0, 127),
    ROW_MIDI_IN(metronome_midi_beat_volume, 0, 127),
    ROW_MIDI_IN(metronome_midi_port, 0, 15),
    ROW_MIDI_IN(metronome_midi_channel, 0, 15),
    ROW_MIDI_BIT(send_midi_sync),
    ROW_MIDI_IN(midi_sync_port, 0, 15),
    ROW_APPLIED(delay_max_milliseconds, Preferences_ApplyDelayMaxMilliseconds),
    ROW_APPLIED(continuous_metronome, Preferences_ApplyContinuousMetronome),
    ROW_APPLIED(convert_sample_rate, Preferences_ApplyConvertSampleRate),
    ROW_APPLIED(loop_file_format, Preferences_ApplyLoopFileFormat),
    // Values outside 0..65535 are ignored: the previous port stays.
    {.name = "osc_port",
     .setInteger = [](int v) { if (v >= 0 && v <= 65535) P().osc_port = v; },
     .getInteger = [] { return P().osc_port; }},
    ROW_BIT(osc_all_interfaces),
    // -1 (none) or an output position; anything else keeps the previous value.
    {.name = "midi_feedback_port",
     .setInteger = [](int v) { if (v >= -1 && v <= 15) P().midi_feedback_port = v; },
     .getInteger = [] { return P().midi_feedback_port; }},
    ROW_APPLIED(undo_memory_mb, Preferences_ApplyUndoMemory),
    ROW_APPLIED(seam_crossfade_ms, Preferences_ApplySeamCrossfade),
    // Out-of-range values are ignored: Internal and the bar stay.
    {.name = "sync_source",
     .setInteger = [](int v) { if (v >= 0 && v <= 3) P().sync_source = v; },
     .getInteger = [] { return P().sync_source; }},
    {.name = "sync_start_on",
     .setInteger = [](int v) { if (v == 0 || v == 1) P().sync_start_on = v; },
     .getInteger = [] { return P().sync_start_on; }},
    ROW_BIT(sync_lead_jack),
    ROW_BIT(sync_lead_link),

    // DeviceConfig.xml
    {.name = "driver_type",
     .setInteger = [](int v) { SelectDriver(v); },
     .getInteger = [] { return Audio_GetHostApiType(); }},
    {.name = "device_sample_rate",
     .setReal = [](double v) { Audio_GetDeviceConfiguration()->sampleRate = v; },
     .getReal = [] { return Audio_GetSampleRate(); }},
    {.name = "input_device_name",
     .setText = [](int, const std::string& t) { DeviceConfiguration_SetInputName(t.c_str()); },
     .getText = [](int) { return std::string(Audio_GetDeviceConfiguration()->inputDeviceName); }},
    {.name = "output_device_name",
     .setText = [](int, const std::string& t) { DeviceConfiguration_SetOutputName(t.c_str()); },
     .getText = [](int) { return std::string(Audio_GetDeviceConfiguration()->outputDeviceName); }},
    {.name = "use_asio_preferrred_latency",
     .setInteger = [](int v) { Audio_GetDeviceConfiguration()->useAsioPreferredLatency = v != 0; },
     .getInteger = []() -> int { return Audio_GetDeviceConfiguration()->useAsioPreferredLatency; }},
    {.name = "latency",
     .setReal = [](double v) { Audio_GetDeviceConfiguration()->latency = v * 0.001; },
     .getReal = [] { return Audio_GetLatency() * 1000.0; }},
    {.name = "input_channel",
     .setInteger = [](int v) { Audio_SetInputChannel(v); },
     .getInteger = [] { return Audio_GetInputChannel(); }},
    {.name = "output_channel",
     .setInteger = [](int v) { Audio_SetOutputChannel(v); },
     .getInteger = [] { return Audio_GetOutputChannel(); }},
    // Files written before it hold no measurement: -1, never measured. A negative value
    // (or nonsense read as one) means the same.
    {.name = "measured_latency_frames",
     .setInteger = [](int v) { Audio_GetDeviceConfiguration()->measuredLatencyFrames = v >= 0 ? v : -1; },
     .getInteger = []() -> int { return Audio_GetDeviceConfiguration()->measuredLatencyFrames; }},
};

constexpr int kRowCount = static_cast<int>(sizeof kRows / sizeof kRows[0]);

const XmlReadMessages kSystemMessages{
    nullptr,
    "Couldn't seek in system configuration file.",
    "bad file size in system configuration file.",
    "Couldn't seek to start of system configuration file.",
    "Error parsing system configuration file.",
    "File error",
    "XML error"};
const XmlReadMessages kPreferencesMessages{
    nullptr,
    "Couldn't seek in preferences file.",
    "bad file size in preferences file.",
    "Couldn't seek to start of preferences file.",
    "Error parsing preferences file.",
    "File error",
    "XML error"};
const XmlReadMessages kDeviceMessages{
    nullptr,
    "Couldn't seek in device configuration file.",
    "bad file size in device configuration file.",
    "Couldn't seek to start of device configuration file.",
    "Error parsing device configuration file.",
    "File error",
    "XML error"};

}  // namespace

void ConfigFiles_InitDefaults() {
  Preferences_ResetDefaults();
  Audio_GetDeviceConfiguration()->useAsioPreferredLatency = 1;
}

void ConfigFiles_SetDeviceDefaults() {
  DeviceConfiguration* config = Audio_GetDeviceConfiguration();
  config->sampleRate = Audio_GetSampleRate();
  config->latency = Audio_GetLatency();
  config->measuredLatencyFrames = -1;
  DeviceConfiguration_SetInputName("none");
  DeviceConfiguration_SetOutputName("none");
}

const SettingDescriptor* ConfigFiles_Rows(int* count) {
  if (count) *count = kRowCount;
  return kRows;
}

SettingTable ConfigFiles_SystemTable() { return SettingTable_Slice(kRows, kRowCount, "skin", 2); }
SettingTable ConfigFiles_PreferencesTable() {
  return SettingTable_Slice(kRows, kRowCount, "undo", 49);
}
SettingTable ConfigFiles_DeviceTable() {
  return SettingTable_Slice(kRows, kRowCount, "driver_type", 9);
}

bool WriteSystemConfiguration() {
  if (ConfigDirectoryReadOnly) return false;  // told once at start-up
  return Xml_WriteSettingsFile(ConfigDirectory_File("SysConfig.xml"),
                               ConfigDirectory_File("SysConfig.bak"),
                               "Kestrine System Configuration", "system_configuration",
                               ConfigFiles_SystemTable(),
                               "Unable to open system configuration XML file for writing.");
}

bool WritePreferences() {
  if (ConfigDirectoryReadOnly) return false;  // told once at start-up
  return Xml_WriteSettingsFile(ConfigDirectory_File("Preferences.xml"),
                               ConfigDirectory_File("Preferences.bak"), "Kestrine Preferences",
                               "preferences", ConfigFiles_PreferencesTable(),
                               "Unable to open preferences XML file for writing.");
}

bool WriteDeviceConfiguration() {
  if (ConfigDirectoryReadOnly) return false;  // told once at start-up
  return Xml_WriteSettingsFile(ConfigDirectory_File("DeviceConfig.xml"),
                               ConfigDirectory_File("DeviceConfig.bak"),
                               "Kestrine Device Configuration", "device_configuration",
                               ConfigFiles_DeviceTable(),
                               "Unable to open device configuration XML file for writing.");
}

void ReadSystemConfiguration() {
  Xml_ReadSettings(ConfigDirectory_File("SysConfig.xml"), kSystemMessages,
                   ConfigFiles_SystemTable());
}

void ReadPreferences() {
  Xml_ReadSettings(ConfigDirectory_File("Preferences.xml"), kPreferencesMessages,
                   ConfigFiles_PreferencesTable());
}

void ReadDeviceConfiguration() {
  Xml_ReadSettings(ConfigDirectory_File("DeviceConfig.xml"), kDeviceMessages,
                   ConfigFiles_DeviceTable());
}
