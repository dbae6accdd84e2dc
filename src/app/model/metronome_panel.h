#pragma once
// The metronome's part of the panel as the application keeps it: the volume slider and
// the two check boxes, which also light with the beat (timer 1) and go back to the
// engine's settings when the flash ends (timer 3). Owned by the App; user-interface
// thread only.
struct MetronomePanel {
  int volume = 63;         // 0..127
  bool recordBox = false;  // control 1242 as shown
  bool playBox = false;    // control 1241 as shown
};
