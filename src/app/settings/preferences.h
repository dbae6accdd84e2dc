#pragma once
// The user's preferences (Preferences.xml) and the system configuration (SysConfig.xml):
// toolkit-free records of the application, named as the file elements. The Preferences
// dialog, the metronome dialog and the message boxes change them; the configuration
// files read and write them.
//
// Preferences that act on the engine are applied through the Preferences_Apply...
// operations, which keep the record and the engine in step.
#include <string>

#include "control/midi_send_settings.h"

struct Preferences {
  int undo = 1;
  int latent_input = 0;
  int latent_input_volume = 127;  // slider positions 0..127, engine value = position / 127
  int latent_input_pan = 63;
  int latent_input_effects_mix = 0;
  int latent_input_use_loop_effects_mix = 1;
  int stereo_record = 1;
  int spacebar_record = 0;
  int warn_unsaved_loops = 1;
  int warn_erase_loops = 1;
  int warn_default_config = 1;
  int warn_quicksave = 1;
  int warn_file_load = 1;
  int warn_sample_rate = 1;
  int play_after_setloop = 0;
  int empty_to_last_rec = 1;
  int peakhold = 1;
  int unmute_after_load_loop = 1;
  int extended_loop_sync = 1;
  int crossfade_ab = 1;
  int show_edit_beat_lines = 1;
  int filter_before_delay = 0;
  std::string quicksave_directory;  // empty: ConfigDirectory
  std::string mixtodisk_directory;
  int autosave_loops = 0;
  // Click sounds as stored: relative to ConfigDirectory, or absolute when no relative
  // form exists.
  std::string metronome_accent = "accent.wav";
  std::string metronome_beat = "beat.wav";
  MidiSendSettings midi;  // metronome_midi_*, send_midi_sync, midi_sync_port
  int delay_max_milliseconds = 640;
  int continuous_metronome = 1;
  // Loop files: a file at another rate than the stream's is converted at load (and the
  // loops are offered conversion when the device's rate changes); the sample format
  // loops are saved in (LoopFileFormat: 0 16-bit PCM, 1 24-bit PCM, 2 32-bit float).
  int convert_sample_rate = 0;
  int loop_file_format = 0;
  // OSC control: the UDP port (0: no server) and whether it listens on every interface
  // rather than on this machine only.
  int osc_port = 0;
  int osc_all_interfaces = 0;
  // The output the controller's lamps are sent to: a position in the output table
  // (0..15), -1 for none.
  int midi_feedback_port = -1;
  // The memory the undo history may hold, in MB (0..kUndoMemoryMaxMb): the oldest levels
  // go when it is full; below one level, the last operation still stays undoable.
  int undo_memory_mb = 1024;
  // Length of the crossfades at the loops' seams (wrap, punch in and out, mute, solo,
  // reverse, half speed, Stop/Play), 0..50 ms; 0 plays exactly as without them.
  int seam_crossfade_ms = 5;
  // The tempo source followed (0 Internal, 1 MIDI clock in, 2 JACK transport, 3 Ableton
  // Link) and whether a waiting start takes its next bar (0) or beat (1).
  int sync_source = 0;
  int sync_start_on = 0;
  // With Internal, Kestrine leads: as the JACK transport's timebase master, as a Link peer.
  int sync_lead_jack = 0;
  int sync_lead_link = 0;
};
inline constexpr int kUndoMemoryMaxMb = 1 << 20;

struct SystemConfiguration {
  std::string skin;  // folder under Skins; empty for the built-in look
  int show_title = 1;
};

Preferences& App_Preferences();
SystemConfiguration& App_SystemConfiguration();

// Restores the start-up values of both records (tests, a fresh start).
void Preferences_ResetDefaults();

// Called after a change the main window shows: the title bar (show_title) or the state
// of the Undo button and menu entry (undo). The window installs it.
using WindowStateHook = void (*)();
void Preferences_SetWindowStateHook(WindowStateHook hook);
// Called after the sync source or start rule changed (the application follows the new
// choice). The application installs it.
using SyncChangedHook = void (*)();
void Preferences_SetSyncChangedHook(SyncChangedHook hook);
void Preferences_ApplySyncSource(int source);   // 0..3, else ignored
void Preferences_ApplySyncStartOn(int startOn);  // 0..1, else ignored
void Preferences_ApplySyncLead(bool jack, bool link);

// Called when stereo_record changes, so that the current track's recording loop is
// re-created with the new channel count. The strips install it.
using StereoRecordHook = void (*)(int channels);
void Preferences_SetStereoRecordHook(StereoRecordHook hook);

// Loads a click sound (accent or beat) from a resolved path and rebuilds the click loop;
// true when loaded. Without one installed the audio layer's click loader is used, with
// the measure of the attached loop-time settings.
using ClickSoundLoader = bool (*)(bool accent, const std::string& path);
void Preferences_SetClickSoundLoader(ClickSoundLoader loader);

// The application's effects panel, which takes the delay maximum (null: none).
struct EffectsPanel;
void Preferences_AttachEffectsPanel(EffectsPanel* panel);
// The application's loop-time settings, whose measure a new click sound is built for.
struct LoopTimeSettings;
void Preferences_AttachLoopTime(const LoopTimeSettings* settings);

// Applying preferences that act on the engine or the window.
void Preferences_ApplyUndo(int on);
void Preferences_ApplyLatentInput(int on);
void Preferences_ApplyLatentInputVolume(int position);   // clamped to 0..127
void Preferences_ApplyLatentInputPan(int position);      // clamped to 0..127
void Preferences_ApplyLatentInputEffectsMix(int position);  // clamped to 0..127
void Preferences_ApplyLatentInputUseLoopEffectsMix(int on);
void Preferences_ApplyStereoRecord(int on);
void Preferences_ApplyFilterBeforeDelay(int on);
void Preferences_ApplyDelayMaxMilliseconds(int milliseconds);  // 200..5000, to the panel too
void Preferences_ApplyContinuousMetronome(int on);
void Preferences_ApplyShowTitle(int on);
void Preferences_ApplyConvertSampleRate(int on);
void Preferences_ApplyLoopFileFormat(int format);  // 0..2, else ignored
void Preferences_ApplyUndoMemory(int megabytes);    // 0..kUndoMemoryMaxMb, else ignored
void Preferences_ApplySeamCrossfade(int milliseconds);  // clamped to 0..50

// A click sound path as given by the user or a file: a relative path is kept and
// resolved against ConfigDirectory; an absolute one is kept relative to ConfigDirectory
// and used as given. Loads the sound when the resolved path is not empty; true when
// loaded.
bool Preferences_ApplyMetronomeSound(bool accent, const std::string& path);
// The path a stored click sound resolves to.
std::string Preferences_ResolveSoundPath(const std::string& stored);
