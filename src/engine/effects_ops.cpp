#include "engine/effects_ops.h"

#include <algorithm>
#include <cmath>

#include "engine/audio.h"
#include "engine/buffers.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// NaN is taken as the bottom of the range, so no setter ever stores one.
double Clamp(double v, double lo, double hi) { return std::isnan(v) ? lo : std::clamp(v, lo, hi); }

AudioEngine* EngineFor(int channel) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || channel < 0 || channel >= static_cast<int>(e->numChannels)) return nullptr;
  return e;
}

// Gives `line` a fresh buffer for `sampleRate`; the old one is freed once no callback
// can still be reading it.
bool ReplaceDelayBuffer(DelayLine* line, double sampleRate) {
  const uint32_t samples = DelayLine_BufferSamples(sampleRate);
  float* buffer = samples ? Audio_AllocBuffer(static_cast<uint64_t>(samples) * sizeof(float), true)
                          : nullptr;
  Audio_RetireBuffer(DelayLine_Attach(line, buffer, buffer ? samples : 0, sampleRate));
  return buffer != nullptr;
}

}  // namespace

bool Effects_Init(AudioEngine* e) {
  if (!e) return false;
  for (int c = 0; c < 2; ++c) {
    StateVariableFilter_Init(&e->filter[c]);
    FilterLfo_Init(&e->filterLfo[c]);
    DelayLine_Init(&e->delay[c]);
    e->filterEnabled[c] = 0;
    e->filterFrequency[c] = 19000.0;
    e->filterResonance[c] = 0.0;
  }
  e->delayEnabled = 1;
  e->reverbEnabled = 0;
  ReverbModel_Init(&e->reverb);
  return Effects_SetSampleRate(e, e->sampleRate);
}

bool Effects_SetSampleRate(AudioEngine* e, double sampleRate) {
  if (!e || !(sampleRate > 0.0)) return false;
  bool ok = true;
  for (int c = 0; c < 2; ++c) {
    // The units belong to the callback while it runs; it takes the engine's rate itself
    // at its next LFO step.
    if (!e->callbackRunning.load())
      StateVariableFilter_SetParameter(&e->filter[c], FilterParamSampleRate, sampleRate);
    ok = ReplaceDelayBuffer(&e->delay[c], sampleRate) && ok;
  }
  return ok;
}

void Effects_Release(AudioEngine* e) {
  if (!e) return;
  for (DelayLine& line : e->delay) {
    const double rate = line.sampleRate.load(kRelaxed);
    Audio_RetireBuffer(DelayLine_Attach(&line, nullptr, 0, rate));
  }
}

// ---- Filter and LFO ----

int Audio_SetFilterFrequency(int channel, double hz) {
  AudioEngine* e = EngineFor(channel);
  if (!e) return 0;
  e->filterFrequency[channel] = Clamp(hz, 0.0, e->sampleRate * 0.5);
  return 1;
}

int Audio_SetFilterResonance(int channel, double value) {
  AudioEngine* e = EngineFor(channel);
  if (!e) return 0;
  e->filterResonance[channel] = Clamp(value, 0.0, 1.0);
  return 1;
}

int Audio_SetFilterMode(int mode) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || mode < 0 || mode > 3) return 0;
  for (StateVariableFilter& unit : e->filter) StateVariableFilter_SetParameter(&unit, FilterParamMode, mode);
  return 1;
}

int Audio_EnableFilter(int on) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return 0;
  e->filterEnabled[0] = on ? 1 : 0;
  e->filterEnabled[1] = on ? 1 : 0;
  return 1;
}

int Audio_SetFilterLfoRate(int channel, double rate) {
  AudioEngine* e = EngineFor(channel);
  if (!e) return 0;
  e->filterLfo[channel].rate.store(Clamp(rate, 0.0, 100.0), kRelaxed);
  return 1;
}

int Audio_SetFilterLfoDepth(int channel, double depth) {
  AudioEngine* e = EngineFor(channel);
  if (!e) return 0;
  e->filterLfo[channel].depth.store(Clamp(depth, 0.0, 1.0), kRelaxed);
  return 1;
}

int Audio_EnableFilterLfo(int on) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return 0;
  for (FilterLfo& lfo : e->filterLfo) lfo.enabled.store(on ? 1 : 0, kRelaxed);
  return 1;
}

int Audio_ResetFilterLfo() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return 0;
  for (FilterLfo& lfo : e->filterLfo) FilterLfo_RequestReset(&lfo);
  return 1;
}

int Audio_GetFilterMode() {
  AudioEngine* e = Audio_GetEngine();
  return e ? static_cast<int>(StateVariableFilter_GetParameter(&e->filter[0], FilterParamMode)) : 0;
}

int Audio_GetFilterEnabled() {
  AudioEngine* e = Audio_GetEngine();
  return e ? static_cast<int>(e->filterEnabled[0].load()) : 0;
}

double Audio_GetFilterFrequency(int channel) {
  AudioEngine* e = EngineFor(channel);
  return e ? e->filterFrequency[channel].load() : 0.0;
}

double Audio_GetFilterResonance(int channel) {
  AudioEngine* e = EngineFor(channel);
  return e ? e->filterResonance[channel].load() : 0.0;
}

double Audio_GetFilterLfoRate(int channel) {
  AudioEngine* e = EngineFor(channel);
  return e ? e->filterLfo[channel].rate.load(kRelaxed) : 0.0;
}

double Audio_GetFilterLfoDepth(int channel) {
  AudioEngine* e = EngineFor(channel);
  return e ? e->filterLfo[channel].depth.load(kRelaxed) : 0.0;
}

int Audio_GetFilterLfoEnabled() {
  AudioEngine* e = Audio_GetEngine();
  return e ? static_cast<int>(e->filterLfo[0].enabled.load(kRelaxed)) : 0;
}

// ---- Delay ----

int Audio_SetDelayTime(int channel, double seconds) {
  AudioEngine* e = EngineFor(channel);
  return e ? DelayLine_SetTime(&e->delay[channel], seconds) : 0;
}

int Audio_SetDelayFeedback(int channel, double value) {
  AudioEngine* e = EngineFor(channel);
  return e ? DelayLine_SetFeedback(&e->delay[channel], value) : 0;
}

int Audio_SetDelayMix(int channel, double value) {
  AudioEngine* e = EngineFor(channel);
  return e ? DelayLine_SetMix(&e->delay[channel], value) : 0;
}

int Audio_EnableDelay(int on) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return 0;
  e->delayEnabled = on ? 1 : 0;
  return 1;
}

int Audio_SetDelayMode(int mode) {
  AudioEngine* e = Audio_GetEngine();
  return e ? DelayLine_SetMode(&e->delay[0], mode) : 0;
}

double Audio_GetDelayTime(int channel) {
  AudioEngine* e = EngineFor(channel);
  return e ? e->delay[channel].time.load(kRelaxed) : 0.0;
}

int Audio_GetDelayMilliseconds(int channel) {
  return static_cast<int>(Audio_GetDelayTime(channel) * 1000.01);
}

double Audio_GetDelayFeedback(int channel) {
  AudioEngine* e = EngineFor(channel);
  return e ? e->delay[channel].feedback.load(kRelaxed) : 0.0;
}

double Audio_GetDelayMix(int channel) {
  AudioEngine* e = EngineFor(channel);
  return e ? e->delay[channel].mix.load(kRelaxed) : 0.0;
}

int Audio_GetDelayEnabled() {
  AudioEngine* e = Audio_GetEngine();
  return e ? static_cast<int>(e->delayEnabled.load()) : 0;
}

int Audio_GetDelayMode() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->delay[0].mode.load(kRelaxed) : 0;
}

// ---- Reverb ----

int Audio_SetReverbRoomSize(double value) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return 0;
  ReverbModel_SetRoomSize(&e->reverb, static_cast<float>(Clamp(value, 0.0, 1.0)));
  return 1;
}

int Audio_SetReverbWet(double value) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return 0;
  ReverbModel_SetWet(&e->reverb, static_cast<float>(Clamp(value, 0.0, 1.0)));
  return 1;
}

int Audio_SetReverbDry(double value) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return 0;
  ReverbModel_SetDry(&e->reverb, static_cast<float>(Clamp(value, 0.0, 1.0)));
  return 1;
}

int Audio_SetReverbDamping(double value) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return 0;
  ReverbModel_SetDamp(&e->reverb, static_cast<float>(Clamp(value, 0.0, 1.0)));
  return 1;
}

int Audio_EnableReverb(int on) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return 0;
  e->reverbEnabled = on ? 1 : 0;
  return 1;
}

double Audio_GetReverbRoomSize() {
  AudioEngine* e = Audio_GetEngine();
  return e ? ReverbModel_GetRoomSize(&e->reverb) : 0.0;
}

double Audio_GetReverbWet() {
  AudioEngine* e = Audio_GetEngine();
  return e ? ReverbModel_GetWet(&e->reverb) : 0.0;
}

double Audio_GetReverbDry() {
  AudioEngine* e = Audio_GetEngine();
  return e ? ReverbModel_GetDry(&e->reverb) : 0.0;
}

double Audio_GetReverbDamping() {
  AudioEngine* e = Audio_GetEngine();
  return e ? ReverbModel_GetDamp(&e->reverb) : 0.0;
}

int Audio_GetReverbEnabled() {
  AudioEngine* e = Audio_GetEngine();
  return e ? static_cast<int>(e->reverbEnabled.load()) : 0;
}
