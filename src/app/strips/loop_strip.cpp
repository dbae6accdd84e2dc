#include "app/strips/loop_strip.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/settings/preferences.h"
#include "engine/audio.h"
#include "engine/message_dialog.h"
#include "engine/metronome.h"
#include "engine/undo.h"
#include "persist/xml_read_state.h"
#include "persist/xml_writer.h"

namespace {

LoopStrip* Strip(TrackStrips* tracks, StripIndex strip) {
  if (!strip.Valid()) {
    MessageDialog_Show(nullptr, "Invalid loop track", "Error");
    return nullptr;
  }
  return &tracks->strips[strip.value];
}

int Control127(int value) { return std::clamp(value, 0, 127); }
constexpr double kPerStep = 1.0 / 127.0;

int Channels() { return App_Preferences().stereo_record ? 2 : 1; }

// The switches a fresh slot takes from its strip, in this order (pan and effects mix too,
// so that the engine never disagrees with the strip's controls).
void ApplySwitches(TrackStrips* tracks, StripIndex strip, int loopSelection) {
  const LoopStrip& s = tracks->strips[strip.value];
  LoopStrip_ApplyMuteSolo(tracks);
  Audio_SetLoopSelection(s.slot, loopSelection);
  LoopStrip_ApplySlow(tracks, strip);
  LoopStrip_ApplyReverse(tracks, strip);
  Audio_SetTrackSubmix(s.slot, s.submix);
  Audio_SetTrackEffects(s.slot, s.effects ? 1 : 0);
  Audio_SetTrackEffectsMix(s.slot, s.effectsMix * kPerStep);
  Audio_SetTrackPan(s.slot, s.pan * kPerStep);
}

}  // namespace

StripIndex TrackStrips_StripOfAction(const TrackStrips* tracks, ActionTrack track) {
  if (track.value < 0 || track.value >= kActionCurrentTrack) return StripIndex{tracks->current};
  return StripIndex{track.value};
}

EngineSlot TrackStrips_SlotOfStrip(const TrackStrips* tracks, StripIndex strip) {
  return EngineSlot{strip.Valid() ? tracks->strips[strip.value].slot : -1};
}

StripIndex TrackStrips_StripOfSlot(const TrackStrips* tracks, EngineSlot slot) {
  for (int i = 0; i < kStripCount; ++i)
    if (slot.value >= 0 && tracks->strips[i].slot == slot.value) return StripIndex{i};
  return StripIndex{-1};
}

std::string LoopStrip_DefaultName(StripIndex strip) {
  char text[32];
  std::snprintf(text, sizeof text, "Track %d", strip.Number());
  return text;
}

bool LoopStrip_Init(TrackStrips* tracks, double seconds) {
  for (int i = 0; i < kStripCount; ++i) {
    LoopStrip& s = tracks->strips[i];
    s = LoopStrip{};
    s.slot = Audio_CreateLoop(seconds, 0.9, Channels(), 1);
    if (s.slot < 0) return false;
    s.name = LoopStrip_DefaultName(StripIndex{i});
  }
  tracks->strips[0].mute = false;
  Audio_SetMetronomeTime(2.0, 4, true);
  LoopStrip_ApplyMuteSolo(tracks);
  return true;
}

std::string LoopStrip_GetName(TrackStrips* tracks, StripIndex strip) {
  LoopStrip* s = Strip(tracks, strip);
  return s ? s->name : std::string();
}

std::string LoopStrip_CleanName(const std::string& name) {
  std::string clean = Xml_CarriableText(name);
  for (char& c : clean)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  if (clean.find_first_not_of(' ') == std::string::npos) return {};
  clean.resize(Xml_CutAtCharacter(clean, kMaxNameBytes));
  return clean;
}

void LoopStrip_KeepName(TrackStrips* tracks, StripIndex strip, const std::string& name) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return;
  s->name = LoopStrip_CleanName(name);
  tracks->nameFields[strip.value] = s->name;
}

void LoopStrip_SetName(TrackStrips* tracks, StripIndex strip, const std::string& name) {
  std::string stored = name;
  // An extension is a last "." followed by no space ("Take 2.wav", not "v1. intro").
  const size_t dot = stored.rfind('.');
  if (dot != std::string::npos && dot > 0 && stored.find_first_of(" /\\", dot) == std::string::npos)
    stored.resize(dot);
  LoopStrip_KeepName(tracks, strip, stored);
}

void LoopStrip_TakeNameField(TrackStrips* tracks, StripIndex strip) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return;
  std::string& text = tracks->nameFields[strip.value];
  if (text == s->name) return;
  if (text.find('/') != std::string::npos || text.find('\\') != std::string::npos)
    text = LoopStrip_DefaultName(strip);
  LoopStrip_SetName(tracks, strip, text);
}

std::string LoopStrip_GetDirectory(TrackStrips* tracks, StripIndex strip) {
  LoopStrip* s = Strip(tracks, strip);
  return s ? s->directory : std::string();
}

void LoopStrip_SetDirectory(TrackStrips* tracks, StripIndex strip, const std::string& directory,
                            const std::string& sessionDirectory) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return;
  std::string full = directory;
  if (!full.empty() && std::filesystem::path(full).is_relative() && !sessionDirectory.empty())
    full = (std::filesystem::path(sessionDirectory) / full).lexically_normal().string();
  if (full.size() > kMaxPathChars) return;
  s->directory = full;
}

bool LoopStrip_GetEmpty(TrackStrips* tracks, StripIndex strip) {
  LoopStrip* s = Strip(tracks, strip);
  return s ? s->empty : false;
}

void LoopStrip_SetEmpty(TrackStrips* tracks, StripIndex strip, bool empty) {
  if (LoopStrip* s = Strip(tracks, strip)) s->empty = empty;
}

void LoopStrip_ApplyMuteSolo(TrackStrips* tracks) {
  bool anySolo = false;
  for (const LoopStrip& s : tracks->strips) anySolo = anySolo || s.solo;
  for (const LoopStrip& s : tracks->strips) {
    const bool audible = anySolo ? s.solo : !s.mute;
    Audio_SetTrackVolume(s.slot, audible ? s.volume * kPerStep : 0.0);
  }
}

void LoopStrip_SetMute(TrackStrips* tracks, StripIndex strip, bool on) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return;
  const bool turnedOn = on && !s->mute;
  s->mute = on;
  if (turnedOn && App_Preferences().extended_loop_sync) Audio_RequestResync(s->slot);
  LoopStrip_ApplyMuteSolo(tracks);
}

void LoopStrip_SetSolo(TrackStrips* tracks, StripIndex strip, bool on, bool exclusive) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return;
  if (on && exclusive)
    for (LoopStrip& other : tracks->strips) other.solo = false;
  s->solo = on;
  LoopStrip_ApplyMuteSolo(tracks);
}

void LoopStrip_SetVolume(TrackStrips* tracks, StripIndex strip, int value) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return;
  s->volume = Control127(value);
  LoopStrip_ApplyMuteSolo(tracks);
}

void LoopStrip_SetPan(TrackStrips* tracks, StripIndex strip, int value) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return;
  s->pan = Control127(value);
  Audio_SetTrackPan(s->slot, s->pan * kPerStep);
}

void LoopStrip_SetEffects(TrackStrips* tracks, StripIndex strip, bool on) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return;
  s->effects = on;
  Audio_SetTrackEffects(s->slot, on ? 1 : 0);
}

void LoopStrip_SetEffectsMix(TrackStrips* tracks, StripIndex strip, int value) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return;
  s->effectsMix = Control127(value);
  Audio_SetTrackEffectsMix(s->slot, s->effectsMix * kPerStep);
}

void LoopStrip_SetSubmix(TrackStrips* tracks, StripIndex strip, int submix) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s || (submix != 0 && submix != 1)) return;
  s->submix = submix;
  Audio_SetTrackSubmix(s->slot, submix);
}

void LoopStrip_ApplyReverse(TrackStrips* tracks, StripIndex strip) {
  const LoopStrip& s = tracks->strips[strip.value];
  const double rate = Audio_GetTrackRate(s.slot);
  if (s.reverse && tracks->globalReverse) {
    if (rate > 0) Audio_SetTrackRate(s.slot, -rate);
  } else if (rate < 0) {
    Audio_SetTrackRate(s.slot, -rate);
    if (App_Preferences().extended_loop_sync) Audio_RequestResync(s.slot);
  }
}

void LoopStrip_ApplySlow(TrackStrips* tracks, StripIndex strip) {
  const LoopStrip& s = tracks->strips[strip.value];
  const double rate = Audio_GetTrackRate(s.slot);
  if (s.slow && tracks->globalSlow) {
    Audio_SetTrackRate(s.slot, rate > 0 ? 0.5 : -0.5);
  } else if (rate > 0) {
    Audio_SetTrackRate(s.slot, 1.0);
    // Back to normal speed: line the track up with the others again.
    if (rate != 1.0 && App_Preferences().extended_loop_sync) Audio_RequestResync(s.slot);
  } else {
    Audio_SetTrackRate(s.slot, -1.0);
  }
}

void LoopStrip_SetReverse(TrackStrips* tracks, StripIndex strip, bool on) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return;
  s->reverse = on;
  LoopStrip_ApplyReverse(tracks, strip);
}

void LoopStrip_SetSlow(TrackStrips* tracks, StripIndex strip, bool on) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return;
  s->slow = on;
  LoopStrip_ApplySlow(tracks, strip);
}

void LoopStrip_SetFeedback(TrackStrips* tracks, int value) {
  tracks->feedback = Control127(value);
  for (const LoopStrip& s : tracks->strips) Audio_SetTrackFeedback(s.slot, tracks->feedback * kPerStep);
}

bool LoopStrip_Recreate(TrackStrips* tracks, StripIndex strip, double seconds, bool resync, int channels,
                        const char* failureText) {
  LoopStrip* s = Strip(tracks, strip);
  if (!s) return false;
  const double feedback = Audio_GetTrackFeedback(s->slot);
  const int loopSelection = Audio_GetLoopSelection(s->slot);
  const bool wasRecordTrack = strip.value == tracks->current;
  if (channels <= 0) channels = Channels();
  Audio_DeleteLoop(s->slot);
  int slot = Audio_CreateLoop(std::clamp(seconds, 0.1, 240.0), feedback, channels, resync ? 1 : 0);
  if (slot < 0) {
    MessageDialog_Show(nullptr, failureText ? failureText : "Not enough memory to create loop.", "Error");
    slot = Audio_CreateLoop(4.0, feedback, channels, 1);
    if (slot < 0) {
      MessageDialog_Show(nullptr, "Not enough memory to create default loop.", "Error");
      return false;
    }
  }
  s->slot = slot;
  s->empty = true;
  ApplySwitches(tracks, strip, loopSelection);
  if (wasRecordTrack) Audio_SelectRecordTrack(slot);
  return true;
}
