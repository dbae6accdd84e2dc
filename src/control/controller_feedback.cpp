#include "control/controller_feedback.h"

#include <algorithm>
#include <cstring>

#include "control/command_numbers.h"
#include "control/midi_backend.h"
#include "control/trigger_set.h"

namespace {

namespace N = CommandNumber;

constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kControlChange = 0xB0;

bool Is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

Lamp Lit(bool on) { return on ? Lamp::On : Lamp::Off; }

// The track an action names: its own, or the current one for the track field 8.
const OscTrackState* TrackOf(const OscState& s, const ControlAction& a) {
  const int track = a.track >= 0 && a.track < kOscTracks ? a.track : s.currentTrack - 1;
  return track >= 0 && track < kOscTracks ? &s.tracks[track] : nullptr;
}

// Recording (or inserting) under way: lit, or blinking while the count-off runs first.
Lamp Recording(const OscState& s, const char* transport) {
  if (!Is(s.transport, transport)) return Lamp::Off;
  return s.countoff ? Lamp::Blink : Lamp::On;
}

// The lamp of a track switch, or nullopt-like `found` false for another command.
bool TrackSwitch(const OscState& s, const ControlAction& a, Lamp* lamp) {
  bool OscTrackState::*field = nullptr;
  switch (a.commandId) {
    case N::TrackMute: case N::TrackMuteSet: field = &OscTrackState::mute; break;
    case N::TrackSolo: case N::TrackSoloSet: field = &OscTrackState::solo; break;
    case N::TrackEffect: case N::TrackEffectSet: field = &OscTrackState::effects; break;
    case N::TrackSlow: case N::TrackSlowSet: field = &OscTrackState::slow; break;
    case N::TrackReverse: case N::TrackReverseSet: field = &OscTrackState::reverse; break;
    case N::TrackSubmix: case N::TrackSubmixSet: field = &OscTrackState::submixB; break;
    default: return false;
  }
  const OscTrackState* t = TrackOf(s, a);
  *lamp = Lit(t && t->*field);
  return true;
}

bool GlobalSwitch(const OscState& s, uint32_t command, Lamp* lamp) {
  bool OscSwitches::*field = nullptr;
  switch (command) {
    case N::TransportSlow: case N::TransportSlowSet: field = &OscSwitches::halfSpeed; break;
    case N::TransportReverse: case N::TransportReverseSet: field = &OscSwitches::reverse; break;
    case N::MasterVolumeMute: field = &OscSwitches::masterMute; break;
    case N::SubmixAMute: field = &OscSwitches::submixAMute; break;
    case N::SubmixBMute: field = &OscSwitches::submixBMute; break;
    case N::DelayEnable: case N::DelayEnableSet: field = &OscSwitches::delay; break;
    case N::DelayLink: case N::DelayLinkSet: field = &OscSwitches::delayLink; break;
    case N::DelayMode: case N::DelayModeSet: field = &OscSwitches::delayMode; break;
    case N::DelaySync: case N::DelaySyncSet: field = &OscSwitches::delaySync; break;
    case N::FilterEnable: case N::FilterEnableSet: field = &OscSwitches::filter; break;
    case N::FilterLfoEnable: case N::FilterLfoEnableSet: field = &OscSwitches::lfo; break;
    case N::FilterLink: case N::FilterLinkSet: field = &OscSwitches::filterLink; break;
    case N::FilterLfoLink: case N::FilterLfoLinkSet: field = &OscSwitches::lfoLink; break;
    case N::ReverbEnable: case N::ReverbEnableSet: field = &OscSwitches::reverb; break;
    case N::MetronomeRecordToggle: case N::MetronomeRecordSet: case N::MetronomeRecord:
      field = &OscSwitches::metronomeRecord;
      break;
    case N::MetronomePlaybackToggle: case N::MetronomePlaybackSet: case N::MetronomePlay:
      field = &OscSwitches::metronomePlayback;
      break;
    case N::MixToTrack: field = &OscSwitches::mixToTrack; break;
    case N::MixToDisk: field = &OscSwitches::mixToDisk; break;
    default: return false;
  }
  *lamp = Lit(s.switches.*field);
  return true;
}

// Transport and track selection; false for another command.
bool TransportLamp(const OscState& s, const ControlAction& a, Lamp* lamp) {
  switch (a.commandId) {
    case N::TransportRecord:
    case N::ToggleStopRecord:
    case N::TogglePlayRecord:
      // Recording over a loop that holds material is the overdub: the same lamp.
      *lamp = Recording(s, "Recording");
      return true;
    case N::TransportInsert:
      *lamp = Is(s.transport, "Insert Waiting") ? Lamp::Blink : Recording(s, "Inserting");
      return true;
    case N::TransportPlay:
    case N::ToggleStopPlay:
    case N::TogglePlayPause:
      *lamp = Lit(Is(s.transport, "Playing"));
      return true;
    case N::TransportPause: *lamp = Lit(Is(s.transport, "Paused")); return true;
    case N::TransportStop: *lamp = Lit(Is(s.transport, "Stopped")); return true;
    case N::TrackRecord:
    case N::SetTrack:
      // "Current" names no track of its own: nothing to show.
      *lamp = Lit(a.track >= 0 && a.track < kOscTracks && a.track + 1 == s.currentTrack);
      return true;
    default: return false;
  }
}

// Where a trigger's lamp is: false for a trigger that has none.
bool PadOf(TriggerType type, const Trigger& t, uint8_t* status, uint8_t* number) {
  if (!ControllerFeedback_Answers(type)) return false;
  const int channel = t.channel.IsAny() ? 0 : std::clamp(t.channel.low, 0, 15);
  *status = static_cast<uint8_t>((type == TriggerType::ControlChange ? kControlChange : kNoteOn) + channel);
  *number = static_cast<uint8_t>(std::clamp(t.data1.low, 0, 127));
  return true;
}

// One pad serving several triggers shows the brightest of them.
Lamp Brighter(Lamp a, Lamp b) {
  if (a == Lamp::On || b == Lamp::On) return Lamp::On;
  return a == Lamp::Blink || b == Lamp::Blink ? Lamp::Blink : Lamp::Off;
}

}  // namespace

bool ControllerFeedback_Answers(TriggerType type) {
  return type == TriggerType::NoteOn || type == TriggerType::NoteOff || type == TriggerType::PolyPressure ||
         type == TriggerType::ControlChange;
}

bool ControllerFeedback_HasState(uint32_t commandId) {
  const OscState s;
  Lamp lamp;
  const ControlAction a{commandId, 0};
  return TransportLamp(s, a, &lamp) || TrackSwitch(s, a, &lamp) || GlobalSwitch(s, commandId, &lamp);
}

Lamp ControllerFeedback_Lamp(const OscState& s, const ControlAction& a) {
  Lamp lamp = Lamp::Off;
  if (TransportLamp(s, a, &lamp) || TrackSwitch(s, a, &lamp) || GlobalSwitch(s, a.commandId, &lamp)) return lamp;
  return Lamp::Off;
}

void ControllerFeedback::Rebuild(const TriggerSet& triggers) {
  std::vector<Pad> pads;
  for (int i = 0; i < kMidiTriggerTypeCount; ++i) {
    const auto type = static_cast<TriggerType>(i);
    const int count = triggers.Count(type);
    for (int k = 0; k < count; ++k) {
      const Trigger t = triggers.Get(type, k);
      Pad pad{};
      pad.owned = true;
      if (!t.feedback || !ControllerFeedback_HasState(t.action.commandId) || !PadOf(type, t, &pad.status, &pad.number))
        continue;
      const bool known = std::any_of(pads.begin(), pads.end(),
                                     [&](const Pad& p) { return p.status == pad.status && p.number == pad.number; });
      if (known) continue;
      // Whatever the controller was shown there before stays known, so that only a
      // change goes out; the full refresh clears it afterwards.
      pad.shown = -1;
      for (const Pad& old : pads_)
        if (old.status == pad.status && old.number == pad.number) pad.shown = old.shown;
      pads.push_back(pad);
    }
  }
  // Lamps that no trigger owns any more are left dark.
  for (Pad& old : pads_) {
    const bool kept = std::any_of(pads.begin(), pads.end(),
                                  [&](const Pad& p) { return p.status == old.status && p.number == old.number; });
    if (!kept && old.shown == 1) pads.push_back({old.status, old.number, Lamp::Off, old.shown, false});
  }
  pads_ = std::move(pads);
}

bool ControllerFeedback::Show(Pad* pad, bool lit, SendFn send) {
  if (pad->shown == (lit ? 1 : 0)) return true;
  if (port_ < 0 || !send(port_, MidiMessage(pad->status, pad->number, lit ? 127 : 0))) return false;
  pad->shown = lit ? 1 : 0;
  ++sent_;
  return true;
}

void ControllerFeedback::Update(const OscState& state, int port, const TriggerSet& triggers, SendFn send) {
  if (port != port_) {
    Darken(send);
    port_ = port;
    for (Pad& pad : pads_) pad.shown = -1;
  }
  if (triggers.Generation() != generation_) {
    generation_ = triggers.Generation();
    Rebuild(triggers);
    // A controller may have been set up or reset meanwhile: every lamp goes out again.
    for (Pad& pad : pads_)
      if (pad.shown == 0) pad.shown = -1;
  }
  if (state.beat != lastBeat_) {
    lastBeat_ = state.beat;
    ++beats_;
  }
  const bool blinkOn = beats_ % 2 == 1;
  // Several triggers may share a pad: each pad's lamp is the brightest of its triggers'.
  for (Pad& pad : pads_) pad.lamp = Lamp::Off;
  for (int i = 0; i < kMidiTriggerTypeCount; ++i) {
    const auto type = static_cast<TriggerType>(i);
    if (!ControllerFeedback_Answers(type)) continue;
    const int count = triggers.Count(type);
    for (int k = 0; k < count; ++k) {
      const Trigger t = triggers.Get(type, k);
      uint8_t status, number;
      if (!t.feedback || !PadOf(type, t, &status, &number)) continue;
      for (Pad& pad : pads_)
        if (pad.status == status && pad.number == number)
          pad.lamp = Brighter(pad.lamp, ControllerFeedback_Lamp(state, t.action));
    }
  }
  if (port_ < 0) return;
  for (Pad& pad : pads_) Show(&pad, pad.lamp == Lamp::On || (pad.lamp == Lamp::Blink && blinkOn), send);
  // A pad no trigger owns was kept only to be switched off: gone once it is dark.
  pads_.erase(std::remove_if(pads_.begin(), pads_.end(), [](const Pad& p) { return !p.owned && p.shown != 1; }),
              pads_.end());
}

void ControllerFeedback::Darken(SendFn send) {
  for (Pad& pad : pads_)
    if (pad.shown == 1) Show(&pad, false, send);
}
