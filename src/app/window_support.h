#pragma once
// What the window needs beside the panel view (panel_view.h): the mixer faders it
// draws, the 16-bit command values its sliders send, the panel field holding the
// keyboard focus, and the per-strip levels for the strip meters. User-interface thread.
#include <cstdint>

#include "app/track_numbers.h"

struct App;
enum class PanelField;

struct MixerView {
  double masterVolume = 1.0;  // 0..1
  bool masterMute = false;
  double submixVolume[2] = {1.0, 1.0};  // A, B: 0..1
  bool submixMute[2] = {false, false};
  int feedback = 114;         // 0..127
  int metronomeVolume = 63;   // 0..127
};
MixerView App_Mixer(const App* app);

// The smallest 16-bit command value standing for slider position p (0..127), and for a
// fader value 0..1.
uint16_t App_PositionValue(int p);
uint16_t App_FaderValue(double value);

// A submix fader moved (0 A, 1 B; value 0..1): with crossfade_ab on the other submix
// follows as 1 - value.
void App_MoveSubmixFader(App* app, int submix, double value);

// A panel field took the keyboard focus: characters now belong to it (nothing is
// edited yet, so the session stays clean).
void App_FieldFocused(App* app, PanelField field);

// The strips' peak levels since the last call (the engine clears them on reading).
struct StripLevels {
  double level[kStripCount] = {};
};
StripLevels App_TakeStripLevels(const App* app);
