#pragma once
// Engine operations of the effects chain (user-interface thread): the resonant filter
// and its LFO, the stereo delay and the reverb. Setters clamp their argument to the
// parameter's range; a channel index outside the stream's channels, or a mode out of
// range, is refused (0 and no change). Without an engine every call returns 0.
struct AudioEngine;

// ---- Life cycle ----

// Puts every effect to its start state and gives both delay lines a zeroed five-second
// buffer at the engine's sample rate. False when a buffer could not be allocated (that
// line then passes its channel through unprocessed).
bool Effects_Init(AudioEngine* engine);
// New sample rate (after a stream opens; store it in the engine's `sampleRate` first):
// filter units take it, each delay line gets a fresh zeroed buffer of five seconds at
// that rate and its length is recomputed from the stored time. Safe while a callback
// runs: the old buffers are freed once it can no longer use them, and the filter units
// then take the rate at the callback's next LFO step. False when a buffer could not be
// allocated (that line is not processed until a later call succeeds).
bool Effects_SetSampleRate(AudioEngine* engine, double sampleRate);
// Detaches and frees the delay buffers.
void Effects_Release(AudioEngine* engine);

// ---- Filter and LFO ----
int Audio_SetFilterFrequency(int channel, double hz);  // 0 .. sampleRate / 2
int Audio_SetFilterResonance(int channel, double value);  // 0 .. 1
int Audio_SetFilterMode(int mode);  // 0 low, 1 band, 2 high, 3 notch; both units
int Audio_EnableFilter(int on);     // both channels
int Audio_SetFilterLfoRate(int channel, double rate);  // 0 .. 100
int Audio_SetFilterLfoDepth(int channel, double depth);  // 0 .. 1
int Audio_EnableFilterLfo(int on);  // both channels
int Audio_ResetFilterLfo();         // both phases to 0

int Audio_GetFilterMode();
int Audio_GetFilterEnabled();
double Audio_GetFilterFrequency(int channel);
double Audio_GetFilterResonance(int channel);
double Audio_GetFilterLfoRate(int channel);
double Audio_GetFilterLfoDepth(int channel);
int Audio_GetFilterLfoEnabled();

// ---- Delay ----
int Audio_SetDelayTime(int channel, double seconds);  // 0.001 .. 5
int Audio_SetDelayFeedback(int channel, double value);  // 0 .. 0.99
int Audio_SetDelayMix(int channel, double value);  // 0 .. 1
int Audio_EnableDelay(int on);
int Audio_SetDelayMode(int mode);  // 0 normal, 1 cross; other values refused

double Audio_GetDelayTime(int channel);  // seconds
// The time as the panel shows it and sessions store it: truncate(seconds x 1000.01) ms
// (the extra hundredth keeps single-precision times such as 0.251 s at 251).
int Audio_GetDelayMilliseconds(int channel);
double Audio_GetDelayFeedback(int channel);
double Audio_GetDelayMix(int channel);
int Audio_GetDelayEnabled();
int Audio_GetDelayMode();

// ---- Reverb (user-level settings 0..1) ----
int Audio_SetReverbRoomSize(double value);
int Audio_SetReverbWet(double value);
int Audio_SetReverbDry(double value);
int Audio_SetReverbDamping(double value);
int Audio_EnableReverb(int on);

double Audio_GetReverbRoomSize();
double Audio_GetReverbWet();
double Audio_GetReverbDry();
double Audio_GetReverbDamping();
int Audio_GetReverbEnabled();
