// The three timers' work, as plain functions the window's timers call.
#include <algorithm>

#include "app/app.h"
#include "app/midi_feedback.h"
#include "app/panel_view.h"
#include "app/sync_control.h"
#include "app/settings/preferences.h"
#include "audio_io/mix_disk_writer.h"
#include "control/midi_ports.h"
#include "engine/audio.h"
#include "engine/metronome.h"

namespace {

// The click is heard in this transport state.
bool MetronomeAudible() {
  switch (Audio_GetTransportState()) {
    case Recording: case InsertWaiting: case Inserting: return Audio_GetMetronomeRecord() != 0;
    case Playing: return Audio_GetMetronomePlayback() != 0;
    default: return false;
  }
}

void BeatLights(App* app) {
  bool accent = false;
  if (!MidiHooks_TakeBeat(&accent) || !MetronomeAudible()) return;
  if (accent) app->metronome.playBox = true;
  app->metronome.recordBox = true;
  if (app->window && app->loopTime.tempo > 0)
    app->window->StartFlashTimer(static_cast<int>(30000.0 / app->loopTime.tempo));
}

}  // namespace

void App_Timer1(App* app) {
  if (app->closeRequested.exchange(false)) {
    // The engine's assertion asked the program to end: the normal shutdown follows.
    if (app->window) app->window->Close();
    return;
  }
  Audio_PollChanges();  // also writes staged mix-to-disk audio
  App_PollLoads(app);   // a load whose wake-up found the drain busy
  App_PollSaves(app);   // likewise a save
  MidiPollWoken();      // MIDI input whose wake-up found no drain to wake
  const bool peakHold = App_Preferences().peakhold != 0;
  Meter_Update(&app->meters[0], Audio_GetInputPeak(0), peakHold);
  Meter_Update(&app->meters[1], Audio_GetInputPeak(1), peakHold);
  Meter_Update(&app->meters[2], Audio_GetOutputPeak(0), peakHold);
  Meter_Update(&app->meters[3], Audio_GetOutputPeak(1), peakHold);
  // The writer closes itself at its size limit or on a write error: Mix->Disk goes off.
  if (app->mixWriterRunning && !Audio_IsMixingToDisk()) {
    app->mixWriterRunning = false;
    app->mixToDiskArmed = false;
  }
  BeatLights(app);
  App_SyncTick(app);
  App_OscTick(app);
  App_MidiFeedbackTick(app);
  App_NsmTick(app);
  if (app->loopEdit) app->loopEdit->Refresh();
  App_SampleLoopTime(app);
}

void App_Timer2(App*) { MidiPoll(); }

// Inputs that can wake the drain are read there (MidiPollWoken); the timer is left for
// those that cannot.
bool App_Timer2Wanted(const App*) { return MidiPorts_PollingWanted(); }

void App_Timer3(App* app) {
  const TransportState state = Audio_GetTransportState();
  const bool running = (state == Playing && Audio_GetMetronomePlayback()) ||
                       (state == Recording && Audio_GetMetronomeRecord());
  app->metronome.recordBox = running ? false : Audio_GetMetronomeRecord() != 0;
  app->metronome.playBox = running ? false : Audio_GetMetronomePlayback() != 0;
}
