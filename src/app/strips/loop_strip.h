#pragma once
// The operations on the track strips (track_strips.h) that turn a strip's switches into
// engine settings, and its name and directory rules.
//
// User-interface thread only. A strip index outside 0..7 shows "Invalid loop track"
// (caption "Error") and does nothing else.
#include <cstddef>
#include <string>

#include "app/strips/track_strips.h"

inline constexpr int kMaxPathChars = 259;
// The longest name kept, in bytes: its loop file "<name> (8).wav", and the temporary
// file beside it while it is written (".XXXXXX"), must fit a file name of 255 bytes.
inline constexpr std::size_t kMaxNameBytes = 240;

// Creates the eight loops of `seconds` each, puts every strip to its start state (track 1
// unmuted, 2..8 muted, all empty, "Track %d") and sets the metronome to 2.0 s for 4
// beats. False when a loop could not be created.
bool LoopStrip_Init(TrackStrips* tracks, double seconds);

std::string LoopStrip_DefaultName(StripIndex strip);
std::string LoopStrip_GetName(TrackStrips* tracks, StripIndex strip);
// A name any loop file can be saved under and any session file carries unchanged: what
// XML cannot carry is cleaned out, tabs and line breaks become spaces, and it is cut to
// kMaxNameBytes on a character boundary. Empty when nothing is left.
std::string LoopStrip_CleanName(const std::string& name);
// A name set by the user or taken from a file name: one extension is removed (the last
// "." followed by no space or separator), then the name is cleaned. The name field
// shows the stored name.
void LoopStrip_SetName(TrackStrips* tracks, StripIndex strip, const std::string& name);
// A name stored as it is, only cleaned: a name already set, or read back from a session.
void LoopStrip_KeepName(TrackStrips* tracks, StripIndex strip, const std::string& name);
// Takes the strip's name field when it differs from the stored name, so that a name is
// cut at most once however often the fields are taken. A text holding a directory
// separator is not a name and gives "Track %d".
void LoopStrip_TakeNameField(TrackStrips* tracks, StripIndex strip);
std::string LoopStrip_GetDirectory(TrackStrips* tracks, StripIndex strip);
// A relative directory is taken relative to `sessionDirectory`; 260 characters or more
// are ignored.
void LoopStrip_SetDirectory(TrackStrips* tracks, StripIndex strip, const std::string& directory,
                            const std::string& sessionDirectory);
bool LoopStrip_GetEmpty(TrackStrips* tracks, StripIndex strip);
void LoopStrip_SetEmpty(TrackStrips* tracks, StripIndex strip, bool empty);

// Mixer setters (control values 0..127 are clamped; the engine gets value / 127).
void LoopStrip_SetMute(TrackStrips* tracks, StripIndex strip, bool on);
// Soloing a strip clears every other solo when `exclusive` (the panel without Shift held);
// a session's solos are taken as they are, several at once too.
void LoopStrip_SetSolo(TrackStrips* tracks, StripIndex strip, bool on, bool exclusive);
void LoopStrip_SetVolume(TrackStrips* tracks, StripIndex strip, int value);
void LoopStrip_SetPan(TrackStrips* tracks, StripIndex strip, int value);
void LoopStrip_SetEffects(TrackStrips* tracks, StripIndex strip, bool on);
void LoopStrip_SetEffectsMix(TrackStrips* tracks, StripIndex strip, int value);
void LoopStrip_SetSubmix(TrackStrips* tracks, StripIndex strip, int submix);
void LoopStrip_SetReverse(TrackStrips* tracks, StripIndex strip, bool on);
void LoopStrip_SetSlow(TrackStrips* tracks, StripIndex strip, bool on);
// The feedback knob: value / 127 on all eight strips.
void LoopStrip_SetFeedback(TrackStrips* tracks, int value);

// The mute/solo rule on all eight strips: with any solo, soloed strips sound at their
// volume and the rest are silent; otherwise muted strips are silent.
void LoopStrip_ApplyMuteSolo(TrackStrips* tracks);
// The reverse and half-speed rules of one strip against the global switches.
void LoopStrip_ApplyReverse(TrackStrips* tracks, StripIndex strip);
void LoopStrip_ApplySlow(TrackStrips* tracks, StripIndex strip);

// Re-creates the strip's loop silent with `seconds` (same feedback; stereo unless
// stereo_record is off, or `channels` when given), falling back to 4.0 s after showing
// `failureText` (default "Not enough memory to create loop."); the strip is then empty
// and its switches are applied to the new slot. False when no loop could be made.
bool LoopStrip_Recreate(TrackStrips* tracks, StripIndex strip, double seconds, bool resync, int channels = 0,
                        const char* failureText = nullptr);
