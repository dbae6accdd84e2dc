// The engine record's life cycle, track slots and the plain setters and getters.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/audio.h"
#include "engine/audio_layer.h"
#include "engine/buffers.h"
#include "engine/effects_ops.h"
#include "engine/message_dialog.h"
#include "engine/undo.h"

namespace {

AudioEngine* theEngine = nullptr;
MixDiskServiceFn mixDiskService = nullptr;

inline bool ValidSlot(int track) { return track >= 0 && track < NUM_TRACKS; }

// NaN (from a corrupt file or a bad computation) becomes 0: it would poison the mix and
// every effect's state for good.
double Clamp01(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); }

// Linear balance law with unity at the centre.
void BalanceGains(double p, double* left, double* right) {
  if (p < 0.5) {
    *left = 1.0;
    *right = 2.0 * p;
  } else if (p > 0.5) {
    *left = 2.0 * (1.0 - p);
    *right = 1.0;
  } else {
    *left = *right = 1.0;
  }
}

}  // namespace

void LoopTrack_Reset(LoopTrack* t) {
  t->inUse = 0;
  t->active = 0;
  t->record = 0;
  t->volume = 1.0;
  t->numChannels = 2;
  t->position = 0;
  t->lastPosition = 1;
  t->length = 240000;
  t->exactPosition = 0.0;
  t->pBuffer = nullptr;
  t->bufferSize = 0;
  t->pNewBuffer.store(nullptr);
  t->newBufferSize = 0;
  t->newLength = 0;
  t->newNumChannels = 0;
  t->newResync = 0;
  t->keepEditRange = 0;
  t->feedback = 0.904;
  t->recorded = 0;
  t->effects = 0;
  t->effectsMix = 0.0;
  t->dryGain = 1.0;
  t->wetGain = 0.0;
  t->peak = 0.0;
  t->rate = 1.0;
  t->leftGain = 1.0;
  t->rightGain = 1.0;
  t->pan = 0.5;
  t->resync = 0;
  t->loopSelection = 0;
  t->editBegin = 0;
  t->editEnd = 240000;
  t->changed = 0;
  t->submix = 0;
}

AudioEngine* Audio_GetEngine() { return theEngine; }

bool Audio_Init() {
  if (theEngine) return true;
  theEngine = new AudioEngine();
  for (LoopTrack& t : theEngine->tracks) LoopTrack_Reset(&t);
  LoopTrack_Reset(&theEngine->beatSample);
  LoopTrack_Reset(&theEngine->accentSample);
  theEngine->beatSample.inUse = 1;
  theEngine->accentSample.inUse = 1;
  // Without delay buffers the lines pass their channels through; nothing else fails.
  Effects_Init(theEngine);

  if (!AudioLayer_Initialize()) {
    delete theEngine;
    theEngine = nullptr;
    return false;
  }

  const int metronome = Audio_CreateLoop(1.0, 0.0, 1, 0);
  theEngine->metronomeTrack = metronome;
  if (metronome >= 0) Audio_SetTrackVolume(metronome, 0.5);
  return true;
}

void Audio_Shutdown() {
  AudioEngine* e = theEngine;
  if (!e) return;
  AudioLayer_CloseStream();
  Audio_SetCallbackRunning(false);
  for (int i = 0; i < NUM_TRACKS; ++i) Audio_DeleteLoop(i);
  Audio_DisableUndo();
  for (LoopTrack* sample : {&e->beatSample, &e->accentSample}) {
    Audio_FreeBuffer(sample->pBuffer);
    sample->pBuffer = nullptr;
  }
  Effects_Release(e);
  Audio_CollectGarbage();
  AudioLayer_Terminate();
  theEngine = nullptr;
  delete e;
}

int Audio_Assert(const char* text, const char* file, int line) {
  char message[512];
  std::snprintf(message, sizeof message, "%s\n File: %s\nLine: %d", text, file, line);
  MessageDialog_Show(theEngine ? theEngine->messageOwner : nullptr, message, "Assert Failed");
  if (theEngine && theEngine->FatalError) theEngine->FatalError();
  return 1;
}

// ---- Track lifetime ----

int Audio_CreateLoop(double time, double feedback, int channels, uint8_t resync) {
  AudioEngine* e = theEngine;
  if (!e) return -1;
  int slot = -1;
  for (int i = 0; i < NUM_TRACKS; ++i) {
    if (!e->tracks[i].inUse) {
      slot = i;
      break;
    }
  }
  if (slot < 0) return -1;

  if (!(feedback >= 0.0 && feedback <= 1.0)) Audio_Assert("Invalid feedback setting", "audio", __LINE__);
  if (!(time >= MIN_LOOP_SECONDS && time <= MAX_LOOP_SECONDS))
    Audio_Assert("Invalid time setting", "audio", __LINE__);
  if (channels != 1 && channels != 2) Audio_Assert("Invalid channels setting", "audio", __LINE__);
  feedback = std::clamp(feedback, 0.0, 1.0);
  time = std::clamp(time, MIN_LOOP_SECONDS, MAX_LOOP_SECONDS);
  channels = std::clamp(channels, 1, 2);

  LoopTrack& t = e->tracks[slot];
  // Everything that can fail is checked before the slot is touched, so a failed call
  // leaves the slot exactly as it was.
  if (t.pNewBuffer.load()) {
    MessageDialog_Show(e->messageOwner, "pNewBuffer not NULL", "Audio_CreateLoop");
    return -1;
  }
  const auto bufferSize = static_cast<uint32_t>(Audio_WholeFrameBytes(
      static_cast<uint64_t>(channels * e->sampleRate * time * 4.0), static_cast<uint32_t>(channels)));
  float* buffer = Audio_AllocBuffer(bufferSize, true);
  if (!buffer) {
    MessageDialog_Show(e->messageOwner, "Insufficient memory", "Audio_CreateLoop");
    return -1;
  }

  SlotRewrite rewrite(t);
  t.record = 0;
  t.numChannels = static_cast<uint32_t>(channels);
  t.feedback = feedback;
  t.recorded = 0;
  t.volume = 1.0;
  t.peak = 0.0;
  t.exactPosition = 0.0;
  t.position = 0;
  t.lastPosition = 1;
  t.editBegin = 0;
  t.newBufferSize = 0;
  t.newLength = 0;
  t.newResync = 0;
  t.newNumChannels = 0;
  t.bufferSize = bufferSize;
  t.length = static_cast<int32_t>(bufferSize / (static_cast<uint32_t>(channels) * 4));
  t.editEnd = t.length;
  t.pBuffer = buffer;
  t.resync = resync;
  t.active = 1;
  t.inUse = 1;
  return slot;
}

int Audio_DeleteLoop(int track) {
  AudioEngine* e = theEngine;
  if (!e || !ValidSlot(track)) return 0;
  LoopTrack& t = e->tracks[track];
  if (!t.inUse) return 0;
  float* old;
  float* pending;
  {
    // Held only against the callback's swap, which could otherwise hand back the old
    // buffer while this call retires it too.
    std::lock_guard<std::mutex> guard(e->lock);
    SlotRewrite rewrite(t);
    t.inUse = 0;
    t.active = 0;
    old = t.pBuffer;
    pending = t.pNewBuffer.exchange(nullptr);
    t.pBuffer = nullptr;
    t.bufferSize = 0;
  }
  // A callback that began before this point may still be reading these.
  Audio_RetireBuffer(old);
  if (pending != old) Audio_RetireBuffer(pending);
  return 1;
}

int Audio_IsTrackInUse(int track) {
  return theEngine && ValidSlot(track) ? static_cast<int>(theEngine->tracks[track].inUse.load()) : 0;
}

// ---- Per-track settings ----

int Audio_SetTrackVolume(int track, double v) {
  if (!theEngine || !ValidSlot(track)) return 0;
  theEngine->tracks[track].volume = Clamp01(v);
  return 1;
}

int Audio_SetTrackFeedback(int track, double v) {
  if (!theEngine || !ValidSlot(track)) return 0;
  theEngine->tracks[track].feedback = Clamp01(v);
  return 1;
}

int Audio_SetTrackPan(int track, double p) {
  if (!theEngine || !ValidSlot(track)) return 0;
  LoopTrack& t = theEngine->tracks[track];
  p = Clamp01(p);
  double left, right;
  BalanceGains(p, &left, &right);
  t.pan = p;
  t.leftGain = left;
  t.rightGain = right;
  return 1;
}

int Audio_SetTrackEffectsMix(int track, double m) {
  if (!theEngine || !ValidSlot(track)) return 0;
  LoopTrack& t = theEngine->tracks[track];
  m = Clamp01(m);
  t.effectsMix = m;
  t.dryGain = std::sqrt(1.0 - m);
  t.wetGain = std::sqrt(m);
  return 1;
}

int Audio_SetTrackEffects(int track, int on) {
  if (!theEngine || !ValidSlot(track)) return 0;
  theEngine->tracks[track].effects = static_cast<uint32_t>(on);
  return 1;
}

int Audio_SetTrackRate(int track, double r) {
  if (!theEngine || !ValidSlot(track)) return 0;
  theEngine->tracks[track].rate = r;
  return 1;
}

int Audio_SetTrackSubmix(int track, int s) {
  if (!theEngine || !ValidSlot(track) || (s != 0 && s != 1)) return 0;
  theEngine->tracks[track].submix = static_cast<uint32_t>(s);
  return 1;
}

int Audio_SetLoopSelection(int track, int on) {
  if (!theEngine || !ValidSlot(track)) return 0;
  theEngine->tracks[track].loopSelection = static_cast<uint8_t>(on != 0);
  return 1;
}

namespace {
void JumpTo(LoopTrack& t, int32_t frame) {
  t.position = frame;
  t.lastPosition = frame;
  t.exactPosition = frame;
}
}  // namespace

int Audio_SetEditBegin(int track, double seconds) {
  if (!theEngine || !ValidSlot(track)) return 0;
  LoopTrack& t = theEngine->tracks[track];
  auto frames = static_cast<int64_t>(seconds * theEngine->sampleRate);
  frames = std::min<int64_t>(frames, t.editEnd);
  frames = std::min<int64_t>(frames, t.length);
  if (frames < 0) return 0;
  t.editBegin = static_cast<int32_t>(frames);
  if (frames > t.position) JumpTo(t, static_cast<int32_t>(frames));
  return 1;
}

int Audio_SetEditEnd(int track, double seconds) {
  if (!theEngine || !ValidSlot(track)) return 0;
  LoopTrack& t = theEngine->tracks[track];
  auto frames = static_cast<int64_t>(seconds * theEngine->sampleRate);
  if (frames < 0) frames = 0;
  frames = std::max<int64_t>(frames, t.editBegin);
  frames = std::min<int64_t>(frames, t.length);
  t.editEnd = static_cast<int32_t>(frames);
  if (frames < t.position) JumpTo(t, static_cast<int32_t>(frames));
  return 1;
}

int Audio_SetEditRange(int track, int32_t begin, int32_t end) {
  if (!theEngine || !ValidSlot(track)) return 0;
  LoopTrack& t = theEngine->tracks[track];
  const int32_t length = t.length;
  begin = std::clamp(begin, 0, std::max(0, length - 1));
  end = std::clamp(end, 0, length);
  end = std::max(end, begin + 1);
  t.editBegin = begin;
  t.editEnd = end;
  const int32_t position = t.position;
  if (position < begin || position >= end) JumpTo(t, begin);
  t.resync = 1;
  return 1;
}

int Audio_RequestResync(int track) {
  if (!theEngine || !ValidSlot(track)) return 0;
  LoopTrack& t = theEngine->tracks[track];
  if (t.pNewBuffer.load() || t.resync) return 0;
  t.resync = 1;
  return 1;
}

// ---- Getters ----

namespace {
template <class F>
auto Get(int track, F field) -> decltype(field(std::declval<LoopTrack&>())) {
  if (!theEngine || !ValidSlot(track)) return {};
  return field(theEngine->tracks[track]);
}
}  // namespace

double Audio_GetTrackVolume(int track) { return Get(track, [](LoopTrack& t) { return t.volume.load(); }); }
double Audio_GetTrackFeedback(int track) { return Get(track, [](LoopTrack& t) { return t.feedback.load(); }); }
double Audio_GetTrackPan(int track) { return Get(track, [](LoopTrack& t) { return t.pan.load(); }); }
double Audio_GetTrackEffectsMix(int track) {
  return Get(track, [](LoopTrack& t) { return t.effectsMix.load(); });
}
int Audio_GetTrackEffects(int track) {
  return Get(track, [](LoopTrack& t) { return static_cast<int>(t.effects.load()); });
}
double Audio_GetTrackRate(int track) { return Get(track, [](LoopTrack& t) { return t.rate.load(); }); }
int Audio_GetTrackSubmix(int track) {
  return Get(track, [](LoopTrack& t) { return static_cast<int>(t.submix.load()); });
}
int Audio_GetLoopSelection(int track) {
  return Get(track, [](LoopTrack& t) { return static_cast<int>(t.loopSelection.load()); });
}
int Audio_GetTrackChannels(int track) {
  return Get(track, [](LoopTrack& t) { return static_cast<int>(t.numChannels.load()); });
}
int32_t Audio_GetLoopLength(int track) { return Get(track, [](LoopTrack& t) { return t.length.load(); }); }
int32_t Audio_GetLoopPosition(int track) { return Get(track, [](LoopTrack& t) { return t.position.load(); }); }
int Audio_GetLoopRecorded(int track) {
  return Get(track, [](LoopTrack& t) { return static_cast<int>(t.recorded.load()); });
}
int32_t Audio_GetEditBegin(int track) { return Get(track, [](LoopTrack& t) { return t.editBegin.load(); }); }
int32_t Audio_GetEditEnd(int track) { return Get(track, [](LoopTrack& t) { return t.editEnd.load(); }); }
double Audio_GetEditBeginSeconds(int track) {
  return Get(track, [](LoopTrack& t) { return t.editBegin / theEngine->sampleRate; });
}
double Audio_GetEditEndSeconds(int track) {
  return Get(track, [](LoopTrack& t) { return t.editEnd / theEngine->sampleRate; });
}
double Audio_GetLoopSeconds(int track) {
  return Get(track, [](LoopTrack& t) { return t.length / theEngine->sampleRate; });
}
double Audio_GetPlayProgress(int track) {
  return Get(track, [](LoopTrack& t) { return t.length > 0 ? t.exactPosition / t.length : 0.0; });
}
double Audio_GetTrackPeak(int track) {
  return Get(track, [](LoopTrack& t) {
    const double peak = t.peak;
    t.peak = 0.0;
    return peak;
  });
}
double Audio_GetInputPeak(int ch) {
  if (!theEngine || ch < 0 || ch >= 2) return 0.0;
  const double peak = theEngine->inputPeak[ch];
  theEngine->inputPeak[ch] = 0.0;
  return peak;
}
double Audio_GetOutputPeak(int ch) {
  if (!theEngine || ch < 0 || ch >= 2) return 0.0;
  const double peak = theEngine->outputPeak[ch];
  theEngine->outputPeak[ch] = 0.0;
  return peak;
}

// ---- Engine-wide settings ----

void Audio_SetMasterVolume(double v) {
  if (theEngine) theEngine->masterVolume = Clamp01(v);
}
double Audio_GetMasterVolume() { return theEngine ? theEngine->masterVolume.load() : 0.0; }
void Audio_SetSeamCrossfade(int milliseconds) {
  if (theEngine) theEngine->seamMilliseconds = std::clamp(milliseconds, 0, MAX_SEAM_MILLISECONDS);
}
int Audio_GetSeamCrossfade() { return theEngine ? theEngine->seamMilliseconds.load() : 0; }
bool Audio_WaitForSeamRecording() {
  AudioEngine* e = theEngine;
  if (!e) return true;
  return Audio_PollUntil(
      [e] { return !e->callbackRunning.load() || !e->seamRecording.load(std::memory_order_acquire); },
      std::chrono::seconds(1));
}
void Audio_SetMasterMute(int on) {
  if (theEngine) theEngine->masterMute = static_cast<uint8_t>(on != 0);
}
int Audio_SetSubmixVolume(int i, double v) {
  if (!theEngine || (i != 0 && i != 1)) return 0;
  theEngine->submixVolume[i] = Clamp01(v);
  return 1;
}
int Audio_SetSubmixMute(int i, int on) {
  if (!theEngine || (i != 0 && i != 1)) return 0;
  theEngine->submixMute[i] = static_cast<uint8_t>(on != 0);
  return 1;
}
void Audio_SetLatentInput(int on) {
  if (theEngine) theEngine->latentInput = static_cast<uint8_t>(on != 0);
}
void Audio_SetLatentInputVolume(double v) {
  if (theEngine) theEngine->latentVolume = Clamp01(v);
}
void Audio_SetLatentInputPan(double p) {
  if (!theEngine) return;
  p = Clamp01(p);
  double left, right;
  BalanceGains(p, &left, &right);
  theEngine->latentPan = p;
  theEngine->latentLeftGain = left;
  theEngine->latentRightGain = right;
}
void Audio_SetLatentInputEffectsMix(double m) {
  if (!theEngine) return;
  m = Clamp01(m);
  theEngine->latentEffectsMix = m;
  theEngine->latentDryGain = std::sqrt(1.0 - m);
  theEngine->latentWetGain = std::sqrt(m);
}
int Audio_SetLatentInputTrack(int track) {
  if (!theEngine || !ValidSlot(track)) return 0;
  theEngine->latentEffectsTrack = static_cast<uint32_t>(track);
  return 1;
}
void Audio_SetLatentInputUseLoopEffectsMix(int on) {
  if (theEngine) theEngine->latentUseLoopEffectsMix = static_cast<uint8_t>(on != 0);
}
void Audio_SetMixToTrack(int on) {
  if (theEngine) theEngine->mixToTrack = static_cast<uint8_t>(on != 0);
}
int Audio_GetMixToTrack() { return theEngine ? theEngine->mixToTrack.load() : 0; }
void Audio_SetFilterBeforeDelay(int on) {
  if (theEngine) theEngine->filterBeforeDelay = static_cast<uint8_t>(on != 0);
}
void Audio_SetFilterPreLoop(int on) {
  if (theEngine) theEngine->filterPreLoop = static_cast<uint8_t>(on != 0);
}

void Audio_SetBeatCallback(BeatCallbackFn fn) {
  if (theEngine) theEngine->BeatCallback = fn;
}
void Audio_SetMidiClockCallback(MidiClockCallbackFn fn) {
  if (theEngine) theEngine->MidiClockCallback = fn;
}
void Audio_SetInsertPassCallback(InsertPassCallbackFn fn) {
  if (theEngine) theEngine->InsertPassCallback = fn;
}
void Audio_SetUndoChangedCallback(UndoChangedCallbackFn fn) {
  if (theEngine) theEngine->UndoChangedCallback = fn;
}
void Audio_SetTrackChangedCallback(TrackChangedCallbackFn fn) {
  if (theEngine) theEngine->TrackChangedCallback = fn;
}
void Audio_SetTransportStartCallback(TransportStartCallbackFn fn) {
  if (theEngine) theEngine->TransportStartCallback = fn;
}

void Audio_SetMixDiskService(MixDiskServiceFn fn) { mixDiskService = fn; }

void Audio_PollChanges() {
  AudioEngine* e = theEngine;
  if (!e) return;
  AudioLayer_Poll();
  Undo_TakeDueSnapshot();
  Audio_CollectGarbage();
  for (int i = 0; i < NUM_TRACKS; ++i) {
    LoopTrack& t = e->tracks[i];
    if (t.changed) {
      t.changed = 0;
      if (e->TrackChangedCallback) e->TrackChangedCallback(i);
    }
  }
  if (mixDiskService) mixDiskService();
}
