#pragma once
// The eight track strips: the user interface's record of each track beside the engine's
// own track state (its slot, switches, name, directory, volume position, empty flag),
// and the operations that turn a strip's switches into engine settings.
//
// User-interface thread only. A strip index outside 0..7 shows "Invalid loop track"
// (caption "Error") and does nothing else.
#include <cstddef>
#include <string>

#include "app/track_numbers.h"

struct LoopStrip {
  int slot = -1;
  bool mute = true;
  bool solo = false;
  bool reverse = false;
  bool slow = false;
  std::string name;       // without extension, at most 259 characters
  std::string directory;  // of the track's WAV file, at most 259 characters
  int volume = 127;       // 0..127
  int pan = 63;           // 0..127
  int effectsMix = 0;     // 0..127
  bool effects = false;
  int submix = 0;         // 0 A, 1 B
  bool empty = true;
};

inline constexpr int kMaxPathChars = 259;
// The longest name kept, in bytes: its loop file "<name> (8).wav", and the temporary
// file beside it while it is written (".XXXXXX"), must fit a file name of 255 bytes.
inline constexpr std::size_t kMaxNameBytes = 240;

struct App;

// Creates the eight loops (4.0 s, or the maximum manual time in "Max Time" mode), puts
// every strip to its start state (track 1 unmuted, 2..8 muted, all empty, "Track %d")
// and sets the metronome to 2.0 s for 4 beats. False when a loop could not be created.
bool LoopStrip_Init(App* app);

std::string LoopStrip_DefaultName(StripIndex strip);
std::string LoopStrip_GetName(App* app, StripIndex strip);
// A name any loop file can be saved under and any session file carries unchanged: what
// XML cannot carry is cleaned out, tabs and line breaks become spaces, and it is cut to
// kMaxNameBytes on a character boundary. Empty when nothing is left.
std::string LoopStrip_CleanName(const std::string& name);
// A name set by the user or taken from a file name: one extension is removed (the last
// "." followed by no space or separator), then the name is cleaned. The name field
// shows the stored name.
void LoopStrip_SetName(App* app, StripIndex strip, const std::string& name);
// A name stored as it is, only cleaned: a name already set, or read back from a session.
void LoopStrip_KeepName(App* app, StripIndex strip, const std::string& name);
// Takes the strip's name field when it differs from the stored name, so that a name is
// cut at most once however often the fields are taken. A text holding a directory
// separator is not a name and gives "Track %d".
void LoopStrip_TakeNameField(App* app, StripIndex strip);
std::string LoopStrip_GetDirectory(App* app, StripIndex strip);
// A relative directory is taken relative to the session directory; 260 characters or
// more are ignored.
void LoopStrip_SetDirectory(App* app, StripIndex strip, const std::string& directory);
bool LoopStrip_GetEmpty(App* app, StripIndex strip);
void LoopStrip_SetEmpty(App* app, StripIndex strip, bool empty);

// Mixer setters (control values 0..127 are clamped; the engine gets value / 127).
void LoopStrip_SetMute(App* app, StripIndex strip, bool on);
// Soloing a strip clears every other solo when `exclusive` (the panel without Shift held);
// a session's solos are taken as they are, several at once too.
void LoopStrip_SetSolo(App* app, StripIndex strip, bool on, bool exclusive);
void LoopStrip_SetVolume(App* app, StripIndex strip, int value);
void LoopStrip_SetPan(App* app, StripIndex strip, int value);
void LoopStrip_SetEffects(App* app, StripIndex strip, bool on);
void LoopStrip_SetEffectsMix(App* app, StripIndex strip, int value);
void LoopStrip_SetSubmix(App* app, StripIndex strip, int submix);
void LoopStrip_SetReverse(App* app, StripIndex strip, bool on);
void LoopStrip_SetSlow(App* app, StripIndex strip, bool on);
// The feedback knob: value / 127 on all eight strips.
void LoopStrip_SetFeedback(App* app, int value);

// The mute/solo rule on all eight strips: with any solo, soloed strips sound at their
// volume and the rest are silent; otherwise muted strips are silent.
void LoopStrip_ApplyMuteSolo(App* app);
// The reverse and half-speed rules of one strip against the global switches.
void LoopStrip_ApplyReverse(App* app, StripIndex strip);
void LoopStrip_ApplySlow(App* app, StripIndex strip);

// Re-creates the strip's loop silent with `seconds` (same feedback; stereo unless
// stereo_record is off, or `channels` when given), falling back to 4.0 s after showing
// `failureText` (default "Not enough memory to create loop."); the strip is then empty
// and its switches are applied to the new slot. False when no loop could be made.
bool LoopStrip_Recreate(App* app, StripIndex strip, double seconds, bool resync, int channels = 0,
                        const char* failureText = nullptr);
