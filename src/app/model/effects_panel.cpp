#include "app/model/effects_panel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/audio.h"
#include "engine/effects_ops.h"

namespace {

int ClampPosition(int p) { return std::clamp(p, 0, kEffectsSliderMax); }
int Other(int channel) { return channel == 0 ? 1 : 0; }
bool ValidChannel(int channel) { return channel == 0 || channel == 1; }

std::string Format(const char* format, int value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string PercentText(int p) { return Format("%d", p * 100 / kEffectsSliderMax); }

// ---- Filter ----

void ApplyFrequency(EffectsPanel* panel, int channel, int p) {
  panel->filterFrequency[channel] = p;
  Audio_SetFilterFrequency(channel, EffectsPanel_FrequencyHz(p));
}

void ApplyResonance(EffectsPanel* panel, int channel, int p) {
  panel->filterResonance[channel] = p;
  Audio_SetFilterResonance(channel, EffectsPanel_UnitValue(p));
}

void ApplyLfoRate(EffectsPanel* panel, int channel, int p) {
  panel->lfoRate[channel] = p;
  Audio_SetFilterLfoRate(channel, EffectsPanel_LfoRate(p));
}

void ApplyLfoDepth(EffectsPanel* panel, int channel, int p) {
  panel->lfoDepth[channel] = p;
  Audio_SetFilterLfoDepth(channel, EffectsPanel_UnitValue(p));
}

// Sets one channel's control and, while `linked`, the other channel's to the same.
void SetLinked(EffectsPanel* panel, int channel, int p, bool linked,
               void (*apply)(EffectsPanel*, int, int)) {
  if (!ValidChannel(channel)) return;
  p = ClampPosition(p);
  apply(panel, channel, p);
  if (linked) apply(panel, Other(channel), p);
}

// ---- Delay ----

// The time rule: clamp to 0..5000 ms, snap to the tempo when synced, set the line's time.
// Returns the milliseconds in use.
int ApplyTimeRule(EffectsPanel* panel, int channel, int requested) {
  int ms = std::clamp(requested, 0, kDelayMillisecondsLimit);
  if (panel->delaySync)
    ms = EffectsPanel_SyncMilliseconds(ms, panel->tempo, panel->beatsPerMeasure,
                                       panel->delayMaxMilliseconds);
  Audio_SetDelayTime(channel, ms * 0.001);
  return ms;
}

// One channel's time from the slider (`p` >= 0) or from milliseconds (`p` < 0: the
// slider follows the box).
void SetDelayTime(EffectsPanel* panel, int channel, int requested, int p) {
  if (!ValidChannel(channel)) return;
  const int ms = ApplyTimeRule(panel, channel, requested);
  const int position = p >= 0 ? p : EffectsPanel_DelayPosition(ms, panel->delayMaxMilliseconds);
  panel->delayMilliseconds[channel] = ms;
  panel->delayTime[channel] = position;
  if (panel->delayLink) {
    const int other = Other(channel);
    panel->delayMilliseconds[other] = ms;
    panel->delayTime[other] = position;
    Audio_SetDelayTime(other, ms * 0.001);
  }
}

void ApplyDelayFeedback(EffectsPanel* panel, int channel, int p) {
  panel->delayFeedback[channel] = p;
  Audio_SetDelayFeedback(channel, EffectsPanel_UnitValue(p));
}

// Both boxes through the time rule again: the right one first (to the left channel when
// linked, else to the right), then the left one.
void ReapplyDelayTimes(EffectsPanel* panel) {
  SetDelayTime(panel, panel->delayLink ? 0 : 1, panel->delayMilliseconds[1], -1);
  SetDelayTime(panel, 0, panel->delayMilliseconds[0], -1);
}

}  // namespace

// ---- Mappings ----

double EffectsPanel_FrequencyHz(int p) {
  p = ClampPosition(p);
  return static_cast<double>(p) * p * 1.25 + 1.0;
}

double EffectsPanel_UnitValue(int p) { return ClampPosition(p) * (1.0 / 127.0); }

double EffectsPanel_LfoRate(int p) {
  p = ClampPosition(p);
  return (static_cast<double>(p) * p * p + 100.0) * 2e-5;
}

double EffectsPanel_ReverbSetting(int p) { return ClampPosition(p) * 0.007874016; }

int EffectsPanel_DelayMilliseconds(int p, int maxMilliseconds) {
  return ClampPosition(p) * EffectsPanel_ClampDelayMax(maxMilliseconds) / kEffectsSliderMax;
}

int EffectsPanel_DelayPosition(int milliseconds, int maxMilliseconds) {
  const long p = static_cast<long>(std::max(milliseconds, 0)) * kEffectsSliderMax /
                 EffectsPanel_ClampDelayMax(maxMilliseconds);
  return static_cast<int>(std::min<long>(p, kEffectsSliderMax));
}

int EffectsPanel_SyncMilliseconds(int requested, double tempo, int beatsPerMeasure,
                                  int maxMilliseconds) {
  // A measure without beats has no length to snap to.
  if (!(tempo >= 20.0 && tempo <= 300.0) || beatsPerMeasure <= 0) return requested;
  static constexpr float kFactors[] = {2.0f,     1.0f,   0.66666f, 0.5f,    0.33333f, 0.25f,
                                       0.16666f, 0.125f, 0.08333f, 0.0625f, 0.04166f};
  const float perBeat = 1.0f / static_cast<float>(tempo);
  for (const float m : kFactors) {
    const auto candidate = static_cast<int>(static_cast<double>(beatsPerMeasure) * perBeat *
                                            60.0 * static_cast<double>(m) * 1000.0);
    if (candidate <= maxMilliseconds && candidate <= requested) return candidate;
  }
  return requested;
}

int EffectsPanel_ClampDelayMax(int milliseconds) {
  return std::clamp(milliseconds, kDelayMaxMillisecondsLow, kDelayMaxMillisecondsHigh);
}

// ---- Start state ----

void EffectsPanel_Init(EffectsPanel* panel) {
  const EffectsPanel start;
  panel->filterMode = start.filterMode;
  panel->filterEnabled = false;
  panel->lfoEnabled = false;
  panel->filterLink = true;
  panel->lfoLink = true;
  panel->delayLink = true;
  panel->delaySync = false;
  panel->delayMaxMilliseconds = EffectsPanel_ClampDelayMax(panel->delayMaxMilliseconds);
  panel->delayEnabled = Audio_GetDelayEnabled() != 0;
  panel->delayCrossMode = Audio_GetDelayMode() == 1;
  panel->reverbEnabled = Audio_GetReverbEnabled() != 0;

  for (int c = 0; c < 2; ++c) {
    ApplyFrequency(panel, c, start.filterFrequency[c]);
    ApplyResonance(panel, c, start.filterResonance[c]);
    ApplyLfoRate(panel, c, start.lfoRate[c]);
    ApplyLfoDepth(panel, c, start.lfoDepth[c]);
    SetDelayTime(panel, c, EffectsPanel_DelayMilliseconds(start.delayTime[c], panel->delayMaxMilliseconds),
                 start.delayTime[c]);
    ApplyDelayFeedback(panel, c, start.delayFeedback[c]);
  }
  Audio_SetFilterMode(panel->filterMode);
  EffectsPanel_SetDelayMix(panel, start.delayMix);
  EffectsPanel_SetReverbLength(panel, start.reverbLength);
  EffectsPanel_SetReverbMix(panel, start.reverbMix);
  EffectsPanel_SetReverbDamping(panel, start.reverbDamping);
}

// ---- Filter ----

void EffectsPanel_SetFilterFrequency(EffectsPanel* panel, int channel, int p) {
  SetLinked(panel, channel, p, panel->filterLink, ApplyFrequency);
}

void EffectsPanel_SetFilterResonance(EffectsPanel* panel, int channel, int p) {
  SetLinked(panel, channel, p, panel->filterLink, ApplyResonance);
}

void EffectsPanel_SetLfoRate(EffectsPanel* panel, int channel, int p) {
  SetLinked(panel, channel, p, panel->lfoLink, ApplyLfoRate);
}

void EffectsPanel_SetLfoDepth(EffectsPanel* panel, int channel, int p) {
  SetLinked(panel, channel, p, panel->lfoLink, ApplyLfoDepth);
}

void EffectsPanel_SetFilterMode(EffectsPanel* panel, int mode) {
  panel->filterMode = mode >= 0 && mode <= 3 ? mode : 0;
  Audio_SetFilterMode(panel->filterMode);
}

void EffectsPanel_EnableFilter(EffectsPanel* panel, bool on) {
  panel->filterEnabled = on;
  Audio_EnableFilter(on);
}

void EffectsPanel_EnableLfo(EffectsPanel* panel, bool on) {
  panel->lfoEnabled = on;
  Audio_EnableFilterLfo(on);
}

void EffectsPanel_SetFilterLink(EffectsPanel* panel, bool on) {
  panel->filterLink = on;
  if (!on) return;
  ApplyFrequency(panel, 1, panel->filterFrequency[0]);
  ApplyResonance(panel, 1, panel->filterResonance[0]);
}

void EffectsPanel_SetLfoLink(EffectsPanel* panel, bool on) {
  panel->lfoLink = on;
  if (!on) return;
  // Linked channels sweep in step from here on.
  Audio_ResetFilterLfo();
  ApplyLfoRate(panel, 1, panel->lfoRate[0]);
  ApplyLfoDepth(panel, 1, panel->lfoDepth[0]);
}

void EffectsPanel_SetFilterPreLoop(EffectsPanel* panel, bool on) {
  panel->filterPreLoop = on;
  Audio_SetFilterPreLoop(on);
}

// ---- Delay ----

void EffectsPanel_SetDelayTimePosition(EffectsPanel* panel, int channel, int p) {
  p = ClampPosition(p);
  SetDelayTime(panel, channel, EffectsPanel_DelayMilliseconds(p, panel->delayMaxMilliseconds), p);
}

void EffectsPanel_SetDelayMilliseconds(EffectsPanel* panel, int channel, int milliseconds) {
  SetDelayTime(panel, channel, milliseconds, -1);
}

void EffectsPanel_SetDelayFeedback(EffectsPanel* panel, int channel, int p) {
  SetLinked(panel, channel, p, panel->delayLink, ApplyDelayFeedback);
}

void EffectsPanel_SetDelayMix(EffectsPanel* panel, int p) {
  panel->delayMix = ClampPosition(p);
  const double mix = EffectsPanel_UnitValue(panel->delayMix);
  Audio_SetDelayMix(0, mix);
  Audio_SetDelayMix(1, mix);
}

void EffectsPanel_EnableDelay(EffectsPanel* panel, bool on) {
  panel->delayEnabled = on;
  Audio_EnableDelay(on);
}

void EffectsPanel_SetDelayMode(EffectsPanel* panel, bool cross) {
  panel->delayCrossMode = cross;
  Audio_SetDelayMode(cross ? 1 : 0);
}

void EffectsPanel_SetDelayLink(EffectsPanel* panel, bool on) {
  panel->delayLink = on;
  if (!on) return;
  // The left time (box, slider and value) goes to the right; feedback stays.
  panel->delayMilliseconds[1] = panel->delayMilliseconds[0];
  panel->delayTime[1] = panel->delayTime[0];
  Audio_SetDelayTime(1, panel->delayMilliseconds[0] * 0.001);
}

void EffectsPanel_SetDelaySync(EffectsPanel* panel, bool on) {
  panel->delaySync = on;
  if (on) ReapplyDelayTimes(panel);
}

void EffectsPanel_SetDelayMaxMilliseconds(EffectsPanel* panel, int milliseconds) {
  panel->delayMaxMilliseconds = EffectsPanel_ClampDelayMax(milliseconds);
  for (int c = 0; c < 2; ++c)
    panel->delayTime[c] = EffectsPanel_DelayPosition(panel->delayMilliseconds[c], panel->delayMaxMilliseconds);
}

void EffectsPanel_ApplyTempo(EffectsPanel* panel, double tempo, int beatsPerMeasure) {
  panel->tempo = tempo;
  panel->beatsPerMeasure = beatsPerMeasure;
  ReapplyDelayTimes(panel);
}

// ---- Reverb ----

void EffectsPanel_SetReverbLength(EffectsPanel* panel, int p) {
  panel->reverbLength = ClampPosition(p);
  Audio_SetReverbRoomSize(EffectsPanel_ReverbSetting(panel->reverbLength));
}

void EffectsPanel_SetReverbMix(EffectsPanel* panel, int p) {
  panel->reverbMix = ClampPosition(p);
  // One slider splits into wet and dry: all dry at 0, all wet at 127.
  const double wet = EffectsPanel_ReverbSetting(panel->reverbMix) * 0.6;
  Audio_SetReverbWet(wet);
  Audio_SetReverbDry(0.6 - wet);
}

void EffectsPanel_SetReverbDamping(EffectsPanel* panel, int p) {
  panel->reverbDamping = ClampPosition(p);
  Audio_SetReverbDamping(EffectsPanel_ReverbSetting(panel->reverbDamping));
}

void EffectsPanel_EnableReverb(EffectsPanel* panel, bool on) {
  panel->reverbEnabled = on;
  Audio_EnableReverb(on);
}

// ---- Texts ----

std::string EffectsPanel_FrequencyText(const EffectsPanel* panel, int channel) {
  if (!ValidChannel(channel)) return {};
  return Format("%d", static_cast<int>(EffectsPanel_FrequencyHz(panel->filterFrequency[channel])));
}

std::string EffectsPanel_ResonanceText(const EffectsPanel* panel, int channel) {
  return ValidChannel(channel) ? PercentText(panel->filterResonance[channel]) : std::string();
}

std::string EffectsPanel_LfoRateText(const EffectsPanel* panel, int channel) {
  if (!ValidChannel(channel)) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", EffectsPanel_LfoRate(panel->lfoRate[channel]));
  return text;
}

std::string EffectsPanel_LfoDepthText(const EffectsPanel* panel, int channel) {
  return ValidChannel(channel) ? PercentText(panel->lfoDepth[channel]) : std::string();
}

std::string EffectsPanel_DelayTimeText(const EffectsPanel* panel, int channel) {
  return ValidChannel(channel) ? Format("%d", panel->delayMilliseconds[channel]) : std::string();
}

std::string EffectsPanel_DelayFeedbackText(const EffectsPanel* panel, int channel) {
  if (!ValidChannel(channel)) return {};
  return Format("%d", static_cast<int>(EffectsPanel_UnitValue(panel->delayFeedback[channel]) * 100.0));
}

std::string EffectsPanel_DelayMixText(const EffectsPanel* panel) {
  return Format("%d", static_cast<int>(EffectsPanel_UnitValue(panel->delayMix) * 100.0));
}

std::string EffectsPanel_ReverbLengthText(const EffectsPanel* panel) { return PercentText(panel->reverbLength); }
std::string EffectsPanel_ReverbMixText(const EffectsPanel* panel) { return PercentText(panel->reverbMix); }
std::string EffectsPanel_ReverbDampingText(const EffectsPanel* panel) { return PercentText(panel->reverbDamping); }

const char* EffectsPanel_FilterModeName(int mode) {
  static const char* const kNames[] = {"Low", "Band", "High", "Notch"};
  return mode >= 0 && mode <= 3 ? kNames[mode] : kNames[0];
}
