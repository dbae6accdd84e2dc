#include "app/loop_strip.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/app.h"
#include "app/preferences.h"
#include "engine/audio.h"
#include "engine/message_dialog.h"
#include "engine/metronome.h"
#include "engine/undo.h"
#include "persist/xml_read_state.h"
#include "persist/xml_writer.h"

namespace {

LoopStrip* Strip(App* app, StripIndex strip) {
  if (!strip.Valid()) {
    MessageDialog_Show(nullptr, "Invalid loop track", "Error");
    return nullptr;
  }
  return &app->strips[strip.value];
}

int Control127(int value) { return std::clamp(value, 0, 127); }
constexpr double kPerStep = 1.0 / 127.0;

int Channels() { return App_Preferences().stereo_record ? 2 : 1; }

// The switches a fresh slot takes from its strip, in this order (pan and effects mix too,
// so that the engine never disagrees with the strip's controls).
void ApplySwitches(App* app, StripIndex strip, int loopSelection) {
  const LoopStrip& s = app->strips[strip.value];
  LoopStrip_ApplyMuteSolo(app);
  Audio_SetLoopSelection(s.slot, loopSelection);
  LoopStrip_ApplySlow(app, strip);
  LoopStrip_ApplyReverse(app, strip);
  Audio_SetTrackSubmix(s.slot, s.submix);
  Audio_SetTrackEffects(s.slot, s.effects ? 1 : 0);
  Audio_SetTrackEffectsMix(s.slot, s.effectsMix * kPerStep);
  Audio_SetTrackPan(s.slot, s.pan * kPerStep);
}

}  // namespace

std::string LoopStrip_DefaultName(StripIndex strip) {
  char text[32];
  std::snprintf(text, sizeof text, "Track %d", strip.Number());
  return text;
}

bool LoopStrip_Init(App* app) {
  const double seconds = LoopTime_InitialLoopSeconds(app->loopTime);
  for (int i = 0; i < kStripCount; ++i) {
    LoopStrip& s = app->strips[i];
    s = LoopStrip{};
    s.slot = Audio_CreateLoop(seconds, 0.9, Channels(), 1);
    if (s.slot < 0) return false;
    s.name = LoopStrip_DefaultName(StripIndex{i});
  }
  app->strips[0].mute = false;
  Audio_SetMetronomeTime(2.0, 4, true);
  LoopStrip_ApplyMuteSolo(app);
  return true;
}

std::string LoopStrip_GetName(App* app, StripIndex strip) {
  LoopStrip* s = Strip(app, strip);
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

void LoopStrip_KeepName(App* app, StripIndex strip, const std::string& name) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return;
  s->name = LoopStrip_CleanName(name);
  app->fields[static_cast<int>(TrackNameField(strip.value))] = s->name;
}

void LoopStrip_SetName(App* app, StripIndex strip, const std::string& name) {
  std::string stored = name;
  // An extension is a last "." followed by no space ("Take 2.wav", not "v1. intro").
  const size_t dot = stored.rfind('.');
  if (dot != std::string::npos && dot > 0 && stored.find_first_of(" /\\", dot) == std::string::npos)
    stored.resize(dot);
  LoopStrip_KeepName(app, strip, stored);
}

void LoopStrip_TakeNameField(App* app, StripIndex strip) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return;
  std::string& text = app->fields[static_cast<int>(TrackNameField(strip.value))];
  if (text == s->name) return;
  if (text.find('/') != std::string::npos || text.find('\\') != std::string::npos)
    text = LoopStrip_DefaultName(strip);
  LoopStrip_SetName(app, strip, text);
}

std::string LoopStrip_GetDirectory(App* app, StripIndex strip) {
  LoopStrip* s = Strip(app, strip);
  return s ? s->directory : std::string();
}

void LoopStrip_SetDirectory(App* app, StripIndex strip, const std::string& directory) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return;
  std::string full = directory;
  if (!full.empty() && std::filesystem::path(full).is_relative() && !app->session.directory.empty())
    full = (std::filesystem::path(app->session.directory) / full).lexically_normal().string();
  if (full.size() > kMaxPathChars) return;
  s->directory = full;
}

bool LoopStrip_GetEmpty(App* app, StripIndex strip) {
  LoopStrip* s = Strip(app, strip);
  return s ? s->empty : false;
}

void LoopStrip_SetEmpty(App* app, StripIndex strip, bool empty) {
  if (LoopStrip* s = Strip(app, strip)) s->empty = empty;
}

void LoopStrip_ApplyMuteSolo(App* app) {
  bool anySolo = false;
  for (const LoopStrip& s : app->strips) anySolo = anySolo || s.solo;
  for (const LoopStrip& s : app->strips) {
    const bool audible = anySolo ? s.solo : !s.mute;
    Audio_SetTrackVolume(s.slot, audible ? s.volume * kPerStep : 0.0);
  }
}

void LoopStrip_SetMute(App* app, StripIndex strip, bool on) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return;
  const bool turnedOn = on && !s->mute;
  s->mute = on;
  if (turnedOn && App_Preferences().extended_loop_sync) Audio_RequestResync(s->slot);
  LoopStrip_ApplyMuteSolo(app);
}

void LoopStrip_SetSolo(App* app, StripIndex strip, bool on, bool exclusive) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return;
  if (on && exclusive)
    for (LoopStrip& other : app->strips) other.solo = false;
  s->solo = on;
  LoopStrip_ApplyMuteSolo(app);
}

void LoopStrip_SetVolume(App* app, StripIndex strip, int value) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return;
  s->volume = Control127(value);
  LoopStrip_ApplyMuteSolo(app);
}

void LoopStrip_SetPan(App* app, StripIndex strip, int value) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return;
  s->pan = Control127(value);
  Audio_SetTrackPan(s->slot, s->pan * kPerStep);
}

void LoopStrip_SetEffects(App* app, StripIndex strip, bool on) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return;
  s->effects = on;
  Audio_SetTrackEffects(s->slot, on ? 1 : 0);
}

void LoopStrip_SetEffectsMix(App* app, StripIndex strip, int value) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return;
  s->effectsMix = Control127(value);
  Audio_SetTrackEffectsMix(s->slot, s->effectsMix * kPerStep);
}

void LoopStrip_SetSubmix(App* app, StripIndex strip, int submix) {
  LoopStrip* s = Strip(app, strip);
  if (!s || (submix != 0 && submix != 1)) return;
  s->submix = submix;
  Audio_SetTrackSubmix(s->slot, submix);
}

void LoopStrip_ApplyReverse(App* app, StripIndex strip) {
  const LoopStrip& s = app->strips[strip.value];
  const double rate = Audio_GetTrackRate(s.slot);
  if (s.reverse && app->globalReverse) {
    if (rate > 0) Audio_SetTrackRate(s.slot, -rate);
  } else if (rate < 0) {
    Audio_SetTrackRate(s.slot, -rate);
    if (App_Preferences().extended_loop_sync) Audio_RequestResync(s.slot);
  }
}

void LoopStrip_ApplySlow(App* app, StripIndex strip) {
  const LoopStrip& s = app->strips[strip.value];
  const double rate = Audio_GetTrackRate(s.slot);
  if (s.slow && app->globalSlow) {
    Audio_SetTrackRate(s.slot, rate > 0 ? 0.5 : -0.5);
  } else if (rate > 0) {
    Audio_SetTrackRate(s.slot, 1.0);
    // Back to normal speed: line the track up with the others again.
    if (rate != 1.0 && App_Preferences().extended_loop_sync) Audio_RequestResync(s.slot);
  } else {
    Audio_SetTrackRate(s.slot, -1.0);
  }
}

void LoopStrip_SetReverse(App* app, StripIndex strip, bool on) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return;
  s->reverse = on;
  LoopStrip_ApplyReverse(app, strip);
}

void LoopStrip_SetSlow(App* app, StripIndex strip, bool on) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return;
  s->slow = on;
  LoopStrip_ApplySlow(app, strip);
}

void LoopStrip_SetFeedback(App* app, int value) {
  app->feedback = Control127(value);
  for (const LoopStrip& s : app->strips) Audio_SetTrackFeedback(s.slot, app->feedback * kPerStep);
}

bool LoopStrip_Recreate(App* app, StripIndex strip, double seconds, bool resync, int channels,
                        const char* failureText) {
  LoopStrip* s = Strip(app, strip);
  if (!s) return false;
  const double feedback = Audio_GetTrackFeedback(s->slot);
  const int loopSelection = Audio_GetLoopSelection(s->slot);
  const bool wasRecordTrack = strip.value == app->currentTrack;
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
  ApplySwitches(app, strip, loopSelection);
  if (wasRecordTrack) Audio_SelectRecordTrack(slot);
  return true;
}
