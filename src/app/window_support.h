#pragma once
// What the window needs beside the panel view (panel_view.h): the mixer faders it
// draws, the submix faders' crossfade rule, the panel field holding the keyboard focus,
// and the per-strip levels for the strip meters. User-interface thread.
#include "app/model/track_numbers.h"

struct App;
enum class PanelField;

// Fader positions 0..127 and mute switches.
struct MixerView {
  int masterVolume = 127;
  bool masterMute = false;
  int submixVolume[2] = {127, 127};  // A, B
  bool submixMute[2] = {false, false};
  int crossfade = 127;  // where A stands
  int feedback = 114;
  int metronomeVolume = 63;
  bool operator==(const MixerView&) const = default;
};
MixerView App_Mixer(const App* app);

// A submix fader moved (0 A, 1 B; position 0..127): with crossfade_ab on the other
// submix follows as 127 - position.
void App_MoveSubmixFader(App* app, int submix, int position);

// A panel field took the keyboard focus: characters now belong to it (nothing is
// edited yet, so the session stays clean).
void App_FieldFocused(App* app, PanelField field);

// The strips' peak levels since the last call (the engine clears them on reading).
struct StripLevels {
  double level[kStripCount] = {};
};
StripLevels App_TakeStripLevels(const App* app);
