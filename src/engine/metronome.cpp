// The metronome's click loop and settings (user-interface thread).
#include "engine/metronome.h"

#include <algorithm>
#include <cstring>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/message_dialog.h"

namespace {

// The single-precision value of 0.005 s: a click is 239 samples at 48000 Hz, not 240.
constexpr double kClickSeconds = static_cast<double>(0.005f);
constexpr double kClickLevel = 0.8;
constexpr double kAccentPeriodSeconds = 1.0 / 440.0;
constexpr double kBeatPeriodSeconds = 1.0 / 220.0;

LoopTrack* MetronomeTrack(AudioEngine* e) {
  if (!e || e->metronomeTrack < 0 || e->metronomeTrack >= NUM_TRACKS) return nullptr;
  return &e->tracks[e->metronomeTrack];
}

bool HoldsAudio(const LoopTrack& sample) {
  return sample.inUse && sample.pBuffer && sample.length > 0;
}

// Writes a square-wave click of `clickLength` samples at `start`; the accent sits an
// octave above the other beats.
void WriteSyntheticClick(float* out, int64_t capacity, int64_t start, int64_t clickLength,
                         int64_t period, double level) {
  const int64_t end = std::min(start + clickLength, capacity);
  const int64_t half = period / 2;
  for (int64_t i = start; i < end; ++i) {
    const int64_t k = i - start;
    out[i] = static_cast<float>(k % period < half ? level : -level);
  }
}

// Copies a click sample as mono: a stereo sample is mixed down, so that it keeps its
// pitch and length in the mono click loop.
void CopyClickSample(float* out, int64_t capacity, int64_t start, int64_t maxFrames,
                     const LoopTrack& sample) {
  const int64_t channels = sample.numChannels == 2 ? 2 : 1;
  const int64_t frames = std::min<int64_t>({maxFrames, sample.length, capacity - start});
  const float* in = sample.pBuffer;
  if (channels == 1) {
    if (frames > 0) std::memcpy(out + start, in, static_cast<size_t>(frames) * sizeof(float));
    return;
  }
  for (int64_t k = 0; k < frames; ++k)
    out[start + k] = static_cast<float>(0.5 * (static_cast<double>(in[2 * k]) + in[2 * k + 1]));
}

}  // namespace

bool Audio_SetMetronomeTime(double seconds, int beats, bool force) {
  AudioEngine* e = Audio_GetEngine();
  LoopTrack* t = MetronomeTrack(e);
  if (!t || !t->inUse) return false;
  if (!(seconds >= MIN_LOOP_SECONDS && seconds <= MAX_LOOP_SECONDS)) return false;

  const uint32_t channels = t->numChannels == 2 ? 2 : 1;
  const auto bytesPerSecond = static_cast<int64_t>(channels * e->sampleRate * 4.0);
  const auto size = static_cast<uint32_t>(
      Audio_WholeFrameBytes(static_cast<uint64_t>(static_cast<double>(bytesPerSecond) * seconds), channels));
  if (!force && size == t->bufferSize && beats == e->metronomeBeats) return true;

  // A rebuild still waiting for the callback must be taken over before its companion
  // fields are rewritten; a stalled stream fails the rebuild and keeps the old clicks.
  const int track = e->metronomeTrack;
  if (!Audio_WaitForSwap(track)) return false;

  float* buffer = Audio_AllocBuffer(size, true);
  if (!buffer) {
    MessageDialog_Show(e->messageOwner, "Insufficient memory", "Audio_SetMetronomeTime");
    return false;
  }
  const uint32_t length = size / (4 * channels);
  const int64_t capacity = static_cast<int64_t>(length) * channels;  // samples

  e->metronomeBeats = beats;
  const int64_t samplesPerSecond = bytesPerSecond / 4;
  // A measure without beats has no beat length (and no clock) at all.
  const int32_t framesPerBeat =
      beats >= 1 ? static_cast<int32_t>(seconds / beats * static_cast<double>(samplesPerSecond)) : 0;
  e->framesPerBeat = framesPerBeat;
  e->framesPerClock = framesPerBeat / kClocksPerBeat;
  e->framesPerMeasure = static_cast<int32_t>(length);

  if (static_cast<int64_t>(framesPerBeat) * beats >= 1) {
    const auto clickLength = static_cast<int64_t>(kClickSeconds * static_cast<double>(samplesPerSecond));
    const bool samples = HoldsAudio(e->beatSample) && HoldsAudio(e->accentSample);
    const double level = kClickLevel * e->metronomeVolume;
    for (int b = 0; b < beats; ++b) {
      const int64_t start = static_cast<int64_t>(b) * framesPerBeat;
      if (start >= capacity) break;
      if (samples) {
        CopyClickSample(buffer, capacity, start, framesPerBeat, b == 0 ? e->accentSample : e->beatSample);
      } else {
        const double periodSeconds = b == 0 ? kAccentPeriodSeconds : kBeatPeriodSeconds;
        const auto period = static_cast<int64_t>(periodSeconds * static_cast<double>(samplesPerSecond));
        if (period > 0) WriteSyntheticClick(buffer, capacity, start, clickLength, period, level);
      }
    }
  }

  Audio_PublishBuffer(track, buffer, size, length, channels, false, t->resync);
  return true;
}

void Audio_SetMetronomeVolume(double v) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  v = std::clamp(v, 0.0, 1.0);
  e->metronomeVolume = v;
  Audio_SetTrackVolume(e->metronomeTrack, v);
}

void Audio_SetMetronomePan(double p) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  Audio_SetTrackPan(e->metronomeTrack, std::clamp(p, 0.0, 1.0));
}

void Audio_SetMetronomeRecord(int on) {
  if (AudioEngine* e = Audio_GetEngine()) e->metronomeRecord = static_cast<uint32_t>(on != 0);
}

void Audio_SetMetronomePlayback(int on) {
  if (AudioEngine* e = Audio_GetEngine()) e->metronomePlayback = static_cast<uint32_t>(on != 0);
}

void Audio_SetMetronomeMax(int n) {
  if (AudioEngine* e = Audio_GetEngine()) e->metronomeMax = std::clamp(n, 0, kMetronomeMeasuresMax);
}

void Audio_SetMetronomeCountoff(int n) {
  if (AudioEngine* e = Audio_GetEngine()) e->metronomeCountoff = std::clamp(n, 0, kMetronomeMeasuresMax);
}

void Audio_SetContinuousMetronome(int on) {
  if (AudioEngine* e = Audio_GetEngine()) e->continuousMetronome = static_cast<uint8_t>(on != 0);
}

double Audio_GetMetronomeVolume() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->metronomeVolume.load() : 0.0;
}

double Audio_GetMetronomePan() {
  AudioEngine* e = Audio_GetEngine();
  return e ? Audio_GetTrackPan(e->metronomeTrack) : 0.0;
}

int Audio_GetMetronomeRecord() {
  AudioEngine* e = Audio_GetEngine();
  return e ? static_cast<int>(e->metronomeRecord.load()) : 0;
}

int Audio_GetMetronomePlayback() {
  AudioEngine* e = Audio_GetEngine();
  return e ? static_cast<int>(e->metronomePlayback.load()) : 0;
}

int Audio_GetMetronomeMax() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->metronomeMax.load() : 0;
}

int Audio_GetMetronomeCountoff() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->metronomeCountoff.load() : 0;
}

int Audio_GetContinuousMetronome() {
  AudioEngine* e = Audio_GetEngine();
  return e ? static_cast<int>(e->continuousMetronome.load()) : 0;
}

int32_t Audio_GetFramesPerBeat() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->framesPerBeat.load() : 0;
}

namespace {
LoopTrack* ClickHolder(AudioEngine* e, ClickSample which) {
  if (!e) return nullptr;
  if (which == ClickBeat) return &e->beatSample;
  if (which == ClickAccent) return &e->accentSample;
  return nullptr;
}
}  // namespace

// The click samples are read only by Audio_SetMetronomeTime on this thread, never by the
// callback, so they are replaced in place.
bool Audio_SetClickSample(ClickSample which, float* buffer, uint32_t bytes, uint32_t frames,
                          uint32_t channels) {
  LoopTrack* holder = ClickHolder(Audio_GetEngine(), which);
  const bool valid = holder && buffer && (channels == 1 || channels == 2) &&
                     static_cast<uint64_t>(frames) * channels * sizeof(float) <= bytes &&
                     frames <= static_cast<uint32_t>(INT32_MAX);
  if (!valid) {
    Audio_FreeBuffer(buffer);
    return false;
  }
  Audio_FreeBuffer(holder->pBuffer);
  holder->pBuffer = buffer;
  holder->bufferSize = bytes;
  holder->length = static_cast<int32_t>(frames);
  holder->numChannels = channels;
  holder->position = 0;
  holder->exactPosition = 0.0;
  holder->lastPosition = 1;
  holder->inUse = 1;
  return true;
}

void Audio_ClearClickSample(ClickSample which) {
  LoopTrack* holder = ClickHolder(Audio_GetEngine(), which);
  if (!holder) return;
  Audio_FreeBuffer(holder->pBuffer);
  holder->pBuffer = nullptr;
  holder->bufferSize = 0;
  holder->length = 0;
}
