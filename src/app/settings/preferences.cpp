#include "app/settings/preferences.h"

#include <algorithm>
#include <filesystem>

#include "app/model/effects_panel.h"
#include "app/model/loop_time.h"
#include "audio_io/loop_files.h"
#include "engine/audio.h"
#include "engine/metronome.h"
#include "engine/undo.h"
#include "persist/config_directory.h"

namespace {

Preferences g_preferences;
SystemConfiguration g_system;
WindowStateHook g_windowHook = nullptr;
SyncChangedHook g_syncHook = nullptr;
StereoRecordHook g_stereoHook = nullptr;
ClickSoundLoader g_soundLoader = nullptr;
EffectsPanel* g_effectsPanel = nullptr;
const LoopTimeSettings* g_loopTime = nullptr;

int Bit(int on) { return on != 0 ? 1 : 0; }
int Position(int value) { return std::clamp(value, 0, 127); }

// Loads a click sound and rebuilds the click loop for one measure of the current loop
// time (the default settings when none is attached).
bool LoadClickSound(bool accent, const std::string& path) {
  if (g_soundLoader) return g_soundLoader(accent, path);
  const LoopTimeSettings defaults;
  const LoopTimeSettings& loopTime = g_loopTime ? *g_loopTime : defaults;
  return Audio_LoadClickSample(accent ? ClickAccent : ClickBeat, path.c_str(),
                               LoopTime_MeasureSeconds(loopTime), loopTime.beatsPerMeasure);
}

void WindowChanged() {
  if (g_windowHook) g_windowHook();
}

}  // namespace

Preferences& App_Preferences() { return g_preferences; }
SystemConfiguration& App_SystemConfiguration() { return g_system; }

void Preferences_ResetDefaults() {
  g_preferences = Preferences{};
  g_system = SystemConfiguration{};
  Audio_SetLoopFileOptions({});
  Audio_SetSeamCrossfade(g_preferences.seam_crossfade_ms);
}

void Preferences_SetWindowStateHook(WindowStateHook hook) { g_windowHook = hook; }

void Preferences_SetSyncChangedHook(SyncChangedHook hook) { g_syncHook = hook; }

void Preferences_ApplySyncSource(int source) {
  if (source < 0 || source > 3 || source == g_preferences.sync_source) return;
  g_preferences.sync_source = source;
  if (g_syncHook) g_syncHook();
}

void Preferences_ApplySyncLead(bool jack, bool link) {
  if ((g_preferences.sync_lead_jack != 0) == jack && (g_preferences.sync_lead_link != 0) == link) return;
  g_preferences.sync_lead_jack = jack ? 1 : 0;
  g_preferences.sync_lead_link = link ? 1 : 0;
  if (g_syncHook) g_syncHook();
}

void Preferences_ApplySyncStartOn(int startOn) {
  if (startOn < 0 || startOn > 1 || startOn == g_preferences.sync_start_on) return;
  g_preferences.sync_start_on = startOn;
  if (g_syncHook) g_syncHook();
}
void Preferences_SetStereoRecordHook(StereoRecordHook hook) { g_stereoHook = hook; }
void Preferences_SetClickSoundLoader(ClickSoundLoader loader) { g_soundLoader = loader; }

void Preferences_ApplyUndo(int on) {
  g_preferences.undo = Bit(on);
  if (g_preferences.undo)
    Audio_EnableUndo();
  else
    Audio_DisableUndo();
  WindowChanged();
}

void Preferences_ApplyLatentInput(int on) {
  g_preferences.latent_input = Bit(on);
  Audio_SetLatentInput(g_preferences.latent_input);
}

void Preferences_ApplyLatentInputVolume(int position) {
  g_preferences.latent_input_volume = Position(position);
  Audio_SetLatentInputVolume(g_preferences.latent_input_volume / 127.0);
}

void Preferences_ApplyLatentInputPan(int position) {
  g_preferences.latent_input_pan = Position(position);
  Audio_SetLatentInputPan(g_preferences.latent_input_pan / 127.0);
}

void Preferences_ApplyLatentInputEffectsMix(int position) {
  g_preferences.latent_input_effects_mix = Position(position);
  Audio_SetLatentInputEffectsMix(g_preferences.latent_input_effects_mix / 127.0);
}

void Preferences_ApplyLatentInputUseLoopEffectsMix(int on) {
  g_preferences.latent_input_use_loop_effects_mix = Bit(on);
  Audio_SetLatentInputUseLoopEffectsMix(g_preferences.latent_input_use_loop_effects_mix);
}

void Preferences_ApplyStereoRecord(int on) {
  const int stereo = Bit(on);
  const bool changed = stereo != g_preferences.stereo_record;
  g_preferences.stereo_record = stereo;
  if (changed && g_stereoHook) g_stereoHook(stereo ? 2 : 1);
}

void Preferences_ApplyFilterBeforeDelay(int on) {
  g_preferences.filter_before_delay = Bit(on);
  Audio_SetFilterBeforeDelay(g_preferences.filter_before_delay);
}

void Preferences_AttachEffectsPanel(EffectsPanel* panel) { g_effectsPanel = panel; }
void Preferences_AttachLoopTime(const LoopTimeSettings* settings) { g_loopTime = settings; }

void Preferences_ApplyDelayMaxMilliseconds(int milliseconds) {
  g_preferences.delay_max_milliseconds = EffectsPanel_ClampDelayMax(milliseconds);
  if (g_effectsPanel)
    EffectsPanel_SetDelayMaxMilliseconds(g_effectsPanel, g_preferences.delay_max_milliseconds);
}

void Preferences_ApplyContinuousMetronome(int on) {
  g_preferences.continuous_metronome = Bit(on);
  Audio_SetContinuousMetronome(g_preferences.continuous_metronome);
}

void Preferences_ApplyConvertSampleRate(int on) {
  g_preferences.convert_sample_rate = Bit(on);
  LoopFileOptions options = Audio_GetLoopFileOptions();
  options.convertSampleRate = g_preferences.convert_sample_rate != 0;
  Audio_SetLoopFileOptions(options);
}

void Preferences_ApplyLoopFileFormat(int format) {
  if (format < LOOP_FILE_PCM16 || format > LOOP_FILE_FLOAT32) return;
  g_preferences.loop_file_format = format;
  LoopFileOptions options = Audio_GetLoopFileOptions();
  options.saveFormat = static_cast<LoopFileFormat>(format);
  Audio_SetLoopFileOptions(options);
}

void Preferences_ApplyUndoMemory(int megabytes) {
  if (megabytes < 0 || megabytes > kUndoMemoryMaxMb) return;
  g_preferences.undo_memory_mb = megabytes;
  Audio_SetUndoMemory(megabytes);
}

void Preferences_ApplySeamCrossfade(int milliseconds) {
  g_preferences.seam_crossfade_ms = std::clamp(milliseconds, 0, MAX_SEAM_MILLISECONDS);
  Audio_SetSeamCrossfade(g_preferences.seam_crossfade_ms);
}

void Preferences_ApplyShowTitle(int on) {
  g_system.show_title = Bit(on);
  WindowChanged();
}

std::string Preferences_ResolveSoundPath(const std::string& stored) {
  if (stored.empty()) return {};
  const std::filesystem::path path(stored);
  if (path.is_absolute()) return stored;
  // The user's own sound beside the configuration first, then the shipped one.
  const std::string own = ConfigDirectory_File(stored);
  std::error_code ec;
  if (std::filesystem::exists(own, ec)) return own;
  const std::string shipped = DataDirectory_File(stored);
  return std::filesystem::exists(shipped, ec) ? shipped : own;
}

bool Preferences_ApplyMetronomeSound(bool accent, const std::string& value) {
  std::string stored = value;
  const std::filesystem::path path(value);
  if (path.is_absolute() && !ConfigDirectory.empty()) {
    const std::filesystem::path relative = path.lexically_normal().lexically_relative(
        std::filesystem::path(ConfigDirectory).lexically_normal());
    if (!relative.empty()) stored = relative.string();
  }
  (accent ? g_preferences.metronome_accent : g_preferences.metronome_beat) = stored;

  const std::string resolved = path.is_absolute() ? value : Preferences_ResolveSoundPath(stored);
  return !resolved.empty() && LoadClickSound(accent, resolved);
}
