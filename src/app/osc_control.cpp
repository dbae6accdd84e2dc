#include "app/osc_control.h"

#include <memory>

#include "app/app.h"
#include "app/settings/preferences.h"
#include "control/fire_action.h"
#include "engine/audio.h"
#include "engine/metronome.h"
#include "engine/metronome_gate.h"
#include "engine/message_dialog.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPositionPeriod = std::chrono::microseconds(1'000'000 / 30 + 1);

struct MessageFree {
  void operator()(lo_message m) const { lo_message_free(m); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageFree>;

const char* TransportName(TransportState state) {
  switch (state) {
    case Playing: return "Playing";
    case Recording: return "Recording";
    case Paused: return "Paused";
    case InsertWaiting: return "Insert Waiting";
    case Inserting: return "Inserting";
    default: return "Stopped";
  }
}

// The server's thread announces a request the way a posted command is announced, so the
// window drains both at once.
void WakeUserInterface() { ControlCommands().Wake(); }

void Tell(App* app, const OscState& state, const std::string& what) {
  Message m(lo_message_new());
  if (OscState_AddValue(state, what, m.get())) app->osc->clients.SendAll(m.get());
}

}  // namespace

OscState App_OscState(const App* app) {
  OscState s;
  const TransportState transport = Audio_GetTransportState();
  const bool moving = transport == Playing || transport == Recording || transport == InsertWaiting ||
                      transport == Inserting;
  s.transport = TransportName(transport);
  s.tempo = app->loopTime.tempo;
  s.loopTime = Audio_GetLoopSeconds(TrackStrips_CurrentSlot(&app->tracks));
  s.currentTrack = app->tracks.current + 1;
  s.undoDepth = app->undoDepth;
  for (int i = 0; i < kOscTracks; ++i) {
    const LoopStrip& strip = app->tracks.strips[i];
    OscTrackState& t = s.tracks[i];
    if (strip.empty)
      t.state = "Empty";
    else if (transport == Recording && i == app->tracks.current)
      t.state = "Recording";
    else if (strip.mute)
      t.state = "Muted";
    else
      t.state = moving ? "Playing" : "Stopped";
    t.length = strip.empty ? 0.0 : Audio_GetLoopSeconds(strip.slot);
    t.position = strip.empty ? 0.0 : Audio_GetPlayProgress(strip.slot);
    t.volume = strip.volume / 127.0;
    t.mute = strip.mute;
    t.solo = strip.solo;
    t.reverse = strip.reverse;
    t.slow = strip.slow;
    t.effects = strip.effects;
    t.submixB = strip.submix == 1;
  }
  OscSwitches& w = s.switches;
  w.reverse = app->tracks.globalReverse;
  w.halfSpeed = app->tracks.globalSlow;
  w.delay = app->effects.delayEnabled;
  w.delayLink = app->effects.delayLink;
  w.delayMode = app->effects.delayCrossMode;
  w.delaySync = app->effects.delaySync;
  w.filter = app->effects.filterEnabled;
  w.lfo = app->effects.lfoEnabled;
  w.filterLink = app->effects.filterLink;
  w.lfoLink = app->effects.lfoLink;
  w.reverb = app->effects.reverbEnabled;
  w.metronomeRecord = Audio_GetMetronomeRecord() != 0;
  w.metronomePlayback = Audio_GetMetronomePlayback() != 0;
  w.mixToTrack = Audio_GetMixToTrack() != 0;
  w.mixToDisk = app->mixToDiskArmed;
  if (const AudioEngine* e = Audio_GetEngine()) {
    w.masterMute = e->masterMute != 0;
    w.submixAMute = e->submixMute[0] != 0;
    w.submixBMute = e->submixMute[1] != 0;
    s.countoff = Metronome_CountoffRunning(e, transport);
    // The click loop always runs with the transport: its position gives the beat.
    const int32_t framesPerBeat = e->framesPerBeat;
    if (framesPerBeat > 0) s.beat = Audio_GetLoopPosition(e->metronomeTrack) / framesPerBeat;
  }
  return s;
}

int App_OscPort(const App* app) {
  return app->oscPortFromCommandLine >= 0 ? app->oscPortFromCommandLine : App_Preferences().osc_port;
}

bool App_StartOsc(App* app) {
  App_StopOsc(app);
  const int port = App_OscPort(app);
  if (port <= 0) return false;
  auto osc = std::make_unique<AppOsc>();
  std::string error;
  if (!osc->server.Start(port, App_Preferences().osc_all_interfaces != 0, &error)) {
    MessageDialog_Show(nullptr, error + "\nKestrine runs without OSC control.", "OSC");
    return false;
  }
  osc->server.SetNotify(WakeUserInterface);
  osc->port = port;
  osc->allInterfaces = App_Preferences().osc_all_interfaces != 0;
  app->osc = std::move(osc);
  return true;
}

void App_StopOsc(App* app) {
  if (!app->osc) return;
  app->osc->server.Stop();
  app->osc.reset();
}

void App_OscPreferencesChanged(App* app) {
  const int port = App_OscPort(app);
  const bool all = App_Preferences().osc_all_interfaces != 0;
  if (app->osc ? app->osc->port == port && app->osc->allInterfaces == all : port <= 0) return;
  if (port <= 0)
    App_StopOsc(app);
  else
    App_StartOsc(app);
}

void App_OscDrain(App* app) {
  if (!app->osc) return;
  AppOsc* osc = app->osc.get();
  OscRequest request;
  while (osc->server.Take(&request)) {
    switch (request.kind) {
      case OscRequestKind::Action:
        Fire(request.action, request.value);
        break;
      case OscRequestKind::Get: {
        Message m(lo_message_new());
        OscState_AddValue(App_OscState(app), request.what, m.get());
        if (!OscClients::SendOnce(request.replyUrl, request.replyPath, m.get())) ++osc->repliesFailed;
        break;
      }
      case OscRequestKind::Register: {
        const bool first = osc->clients.Count() == 0;
        if (!osc->clients.Register(request.replyUrl, request.replyPath)) break;
        // A new client is told everything once, then only what changes.
        const OscState now = App_OscState(app);
        for (const std::string& what : OscState_AllNames()) {
          Message m(lo_message_new());
          OscState_AddValue(now, what, m.get());
          OscClients::SendOnce(request.replyUrl, request.replyPath, m.get());
        }
        if (first) osc->last = now;
        break;
      }
      case OscRequestKind::Unregister:
        osc->clients.Unregister(request.replyUrl, request.replyPath);
        break;
    }
  }
}

void App_OscTick(App* app) {
  AppOsc* osc = app->osc.get();
  if (!osc || osc->clients.Count() == 0) return;
  OscState now = App_OscState(app);
  for (const std::string& what : OscState_Changes(osc->last, now)) Tell(app, now, what);
  const Clock::time_point t = Clock::now();
  if (t >= osc->nextPositions) {
    for (int i = 0; i < kOscTracks; ++i)
      if (now.tracks[i].position != osc->last.tracks[i].position && std::string(now.tracks[i].state) != "Empty")
        Tell(app, now, "track/" + std::to_string(i + 1) + "/position");
    // Paced from the last due time, so ticks that come a little early or late still give
    // 30 a second on average, never more; after a pause it starts afresh.
    osc->nextPositions = t - osc->nextPositions > kPositionPeriod ? t + kPositionPeriod
                                                                  : osc->nextPositions + kPositionPeriod;
  } else {
    // Not sent this time: the clients still have the old positions.
    for (int i = 0; i < kOscTracks; ++i) now.tracks[i].position = osc->last.tracks[i].position;
  }
  osc->last = now;
}
