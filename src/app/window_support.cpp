#include "app/window_support.h"

#include <algorithm>
#include <cmath>

#include "app/app.h"
#include "app/settings/preferences.h"
#include "engine/audio.h"

namespace {

int Position(double unit) { return static_cast<int>(std::lround(std::clamp(unit, 0.0, 1.0) * 127.0)); }

}  // namespace

MixerView App_Mixer(const App* app) {
  MixerView v;
  const AudioEngine* e = Audio_GetEngine();
  if (e) {
    v.masterVolume = Position(e->masterVolume);
    v.masterMute = e->masterMute != 0;
    for (int i = 0; i < 2; ++i) {
      v.submixVolume[i] = Position(e->submixVolume[i]);
      v.submixMute[i] = e->submixMute[i] != 0;
    }
    v.crossfade = v.submixVolume[0];
  }
  v.feedback = app->tracks.feedback;
  v.metronomeVolume = app->metronome.volume;
  return v;
}

void App_MoveSubmixFader(App* app, int submix, int position) {
  if (submix != 0 && submix != 1) return;
  position = std::clamp(position, 0, 127);
  App_Slider(app, submix == 0 ? Slider::SubmixAVolume : Slider::SubmixBVolume, 0, position);
  if (App_Preferences().crossfade_ab)
    App_Slider(app, submix == 0 ? Slider::SubmixBVolume : Slider::SubmixAVolume, 0, 127 - position);
}

void App_FieldFocused(App* app, PanelField field) { app->focus = field; }

StripLevels App_TakeStripLevels(const App* app) {
  StripLevels levels;
  for (int i = 0; i < kStripCount; ++i) levels.level[i] = Audio_GetTrackPeak(app->tracks.strips[i].slot);
  return levels;
}
