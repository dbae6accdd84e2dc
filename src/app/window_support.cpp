#include "app/window_support.h"

#include <algorithm>
#include <cmath>

#include "app/app.h"
#include "app/preferences.h"
#include "control/action_catalogue.h"
#include "engine/audio.h"

MixerView App_Mixer(const App* app) {
  MixerView v;
  const AudioEngine* e = Audio_GetEngine();
  if (e) {
    v.masterVolume = e->masterVolume;
    v.masterMute = e->masterMute != 0;
    for (int i = 0; i < 2; ++i) {
      v.submixVolume[i] = e->submixVolume[i];
      v.submixMute[i] = e->submixMute[i] != 0;
    }
  }
  v.feedback = app->feedback;
  v.metronomeVolume = app->metronomeVolume;
  return v;
}

uint16_t App_PositionValue(int p) {
  p = std::clamp(p, 0, 127);
  // Start just below the exact quotient and walk up to the first value that converts
  // back to p (the conversion is single precision).
  int v = std::max(0, static_cast<int>(p * 65535.0 / 127.0) - 2);
  while (v < 65535 && ActionValue_S127(static_cast<uint16_t>(v)) < p) ++v;
  return static_cast<uint16_t>(v);
}

uint16_t App_FaderValue(double value) {
  return static_cast<uint16_t>(std::lround(std::clamp(value, 0.0, 1.0) * 65535.0));
}

void App_MoveSubmixFader(App* app, int submix, double value) {
  if (submix != 0 && submix != 1) return;
  const Command own = submix == 0 ? Command::SubmixAVolume : Command::SubmixBVolume;
  const Command other = submix == 0 ? Command::SubmixBVolume : Command::SubmixAVolume;
  App_Command(app, own, App_Parameter(kActionCurrentTrack, App_FaderValue(value)));
  if (App_Preferences().crossfade_ab)
    App_Command(app, other, App_Parameter(kActionCurrentTrack, App_FaderValue(1.0 - value)));
}

void App_FieldFocused(App* app, PanelField field) { app->focus = field; }

StripLevels App_TakeStripLevels(const App* app) {
  StripLevels levels;
  for (int i = 0; i < kStripCount; ++i) levels.level[i] = Audio_GetTrackPeak(app->strips[i].slot);
  return levels;
}
