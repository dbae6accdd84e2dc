#pragma once
// The effects panel's model, free of any toolkit: slider positions 0..127 for every
// effect control, the value each position stands for, the texts shown beside the
// sliders, the link and sync rules, and the panel's start state. Sessions, MIDI adjust
// actions and the Qt panel all change the effects through it; every change is applied
// to the engine at once (the engine operations clamp and refuse on their own).
//
// Positions are the logical ones (0 = minimum); a toolkit drawing a slider inverted
// shows 127 - p itself.
#include <string>

inline constexpr int kEffectsSliderMax = 127;
inline constexpr int kDelayMaxMillisecondsDefault = 640;
inline constexpr int kDelayMaxMillisecondsLow = 200;
inline constexpr int kDelayMaxMillisecondsHigh = 5000;
inline constexpr int kDelayMillisecondsLimit = 5000;

struct EffectsPanel {
  // Filter and LFO (index 0 left, 1 right)
  int filterFrequency[2] = {127, 127};
  int filterResonance[2] = {0, 0};
  int lfoRate[2] = {14, 14};
  int lfoDepth[2] = {14, 14};
  int filterMode = 0;  // 0 "Low", 1 "Band", 2 "High", 3 "Notch"
  bool filterEnabled = false;
  bool lfoEnabled = false;
  bool filterLink = true;
  bool lfoLink = true;
  bool filterPreLoop = false;

  // Delay
  int delayTime[2] = {27, 27};              // time slider positions
  int delayMilliseconds[2] = {136, 136};    // the millisecond edit boxes
  int delayFeedback[2] = {27, 27};
  int delayMix = 64;
  bool delayEnabled = true;
  bool delayCrossMode = false;  // "Mode"
  bool delayLink = true;
  bool delaySync = false;
  int delayMaxMilliseconds = kDelayMaxMillisecondsDefault;  // preference
  double tempo = 120.0;   // loop tempo for the sync rule (beats per minute)
  int beatsPerMeasure = 4;

  // Reverb
  int reverbLength = 63;   // "Time"
  int reverbMix = 63;      // "Mix"
  int reverbDamping = 63;  // "Tone"
  bool reverbEnabled = false;
  bool operator==(const EffectsPanel&) const = default;
};

// ---- Mappings from positions to engine values ----
double EffectsPanel_FrequencyHz(int p);       // p^2 x 1.25 + 1
double EffectsPanel_UnitValue(int p);         // p x (1/127): resonance, depth, feedback, mix
double EffectsPanel_LfoRate(int p);           // (p^3 + 100) x 2e-5
double EffectsPanel_ReverbSetting(int p);     // p x 0.007874016: room size, damping
int EffectsPanel_DelayMilliseconds(int p, int maxMilliseconds);  // p x max / 127
int EffectsPanel_DelayPosition(int milliseconds, int maxMilliseconds);
// The sync rule: the longest of 2, 1, 2/3, 1/2, ... 1/24 measures that is no longer
// than both `maxMilliseconds` and `requested`; `requested` itself when the tempo lies
// outside 20..300 or nothing fits.
int EffectsPanel_SyncMilliseconds(int requested, double tempo, int beatsPerMeasure,
                                  int maxMilliseconds);
int EffectsPanel_ClampDelayMax(int milliseconds);  // 200 .. 5000

// ---- Start state ----
// Puts every control to its start position, takes "On" and "Mode" from the engine, and
// applies every slider to the engine as if it had been moved.
void EffectsPanel_Init(EffectsPanel* panel);

// ---- Filter ----
void EffectsPanel_SetFilterFrequency(EffectsPanel* panel, int channel, int p);
void EffectsPanel_SetFilterResonance(EffectsPanel* panel, int channel, int p);
void EffectsPanel_SetLfoRate(EffectsPanel* panel, int channel, int p);
void EffectsPanel_SetLfoDepth(EffectsPanel* panel, int channel, int p);
void EffectsPanel_SetFilterMode(EffectsPanel* panel, int mode);  // other values: low
void EffectsPanel_EnableFilter(EffectsPanel* panel, bool on);
void EffectsPanel_EnableLfo(EffectsPanel* panel, bool on);
void EffectsPanel_SetFilterLink(EffectsPanel* panel, bool on);
void EffectsPanel_SetLfoLink(EffectsPanel* panel, bool on);
void EffectsPanel_SetFilterPreLoop(EffectsPanel* panel, bool on);

// ---- Delay ----
void EffectsPanel_SetDelayTimePosition(EffectsPanel* panel, int channel, int p);  // slider
void EffectsPanel_SetDelayMilliseconds(EffectsPanel* panel, int channel, int milliseconds);  // box, session
void EffectsPanel_SetDelayFeedback(EffectsPanel* panel, int channel, int p);
void EffectsPanel_SetDelayMix(EffectsPanel* panel, int p);
void EffectsPanel_EnableDelay(EffectsPanel* panel, bool on);
void EffectsPanel_SetDelayMode(EffectsPanel* panel, bool cross);
void EffectsPanel_SetDelayLink(EffectsPanel* panel, bool on);
void EffectsPanel_SetDelaySync(EffectsPanel* panel, bool on);
// The preference changed: clamps it and puts the time sliders where the boxes say.
void EffectsPanel_SetDelayMaxMilliseconds(EffectsPanel* panel, int milliseconds);
// The loop's tempo or measure settings were applied: the boxes are applied again, the
// right one first (to the left channel when linked), then the left one.
void EffectsPanel_ApplyTempo(EffectsPanel* panel, double tempo, int beatsPerMeasure);

// ---- Reverb ----
void EffectsPanel_SetReverbLength(EffectsPanel* panel, int p);
void EffectsPanel_SetReverbMix(EffectsPanel* panel, int p);
void EffectsPanel_SetReverbDamping(EffectsPanel* panel, int p);
void EffectsPanel_EnableReverb(EffectsPanel* panel, bool on);

// ---- Texts shown beside the controls ----
std::string EffectsPanel_FrequencyText(const EffectsPanel* panel, int channel);  // "%d" Hz
std::string EffectsPanel_ResonanceText(const EffectsPanel* panel, int channel);  // "%d"
std::string EffectsPanel_LfoRateText(const EffectsPanel* panel, int channel);    // "%.2f"
std::string EffectsPanel_LfoDepthText(const EffectsPanel* panel, int channel);   // "%d"
std::string EffectsPanel_DelayTimeText(const EffectsPanel* panel, int channel);  // "%d" ms
std::string EffectsPanel_DelayFeedbackText(const EffectsPanel* panel, int channel);
std::string EffectsPanel_DelayMixText(const EffectsPanel* panel);
std::string EffectsPanel_ReverbLengthText(const EffectsPanel* panel);
std::string EffectsPanel_ReverbMixText(const EffectsPanel* panel);
std::string EffectsPanel_ReverbDampingText(const EffectsPanel* panel);
// "Low", "Band", "High", "Notch".
const char* EffectsPanel_FilterModeName(int mode);
