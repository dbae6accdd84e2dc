#pragma once
// Controller feedback: the lamps of a MIDI controller kept in step with the program,
// whichever controller, key or click changed it.
//
// Every trigger on a note or a controller whose action has an on/off state (record,
// play, mute, solo, the effects switches, the current track, reverse, half speed...)
// lights its own pad: a note-on of velocity 127 or 0 for note and poly-pressure
// triggers, a control change of value 127 or 0 for control change triggers, on the
// trigger's own channel (channel 1 for a trigger on any channel), sent to the output
// chosen for feedback. An action that is pending (a recording counting off, an insert
// waiting for the loop start) blinks: on for one beat, off for the next.
//
// Only changes go out. When the output or the triggers change, every lamp is sent again,
// and a lamp that was lit and no longer belongs to a trigger is switched off.
//
// User-interface thread only.
#include <cstdint>
#include <vector>

#include "control/control_action.h"
#include "control/osc_state.h"
#include "control/trigger.h"

class TriggerSet;

enum class Lamp : uint8_t { Off, On, Blink };

// The trigger types a pad can be lit for: note on, note off, poly pressure, control change.
bool ControllerFeedback_Answers(TriggerType type);
// True for an action whose state a lamp shows.
bool ControllerFeedback_HasState(uint32_t commandId);
// The lamp of `action` (track 0..7, 8 the current track) in `state`; Off for an action
// without a state.
Lamp ControllerFeedback_Lamp(const OscState& state, const ControlAction& action);

class ControllerFeedback {
 public:
  // Writes one short message to the output at table position `port`; false when it was
  // not taken (it is tried again at the next update).
  using SendFn = bool (*)(int32_t port, uint32_t message);

  // Sends what differs from what the controller was last sent. `port` is the feedback
  // output's table position, -1 for none (the lamps lit on the old output go dark).
  void Update(const OscState& state, int port, const TriggerSet& triggers, SendFn send);
  // Switches off every lamp lit (the program ends or feedback is turned off).
  void Darken(SendFn send);
  // Messages sent since the start, for tests and the benchmark.
  uint64_t Sent() const { return sent_; }

 private:
  struct Pad {
    uint8_t status;  // 0x90 + channel or 0xB0 + channel
    uint8_t number;  // note or controller
    Lamp lamp;
    int8_t shown;    // what the controller was last sent: -1 nothing, 0 dark, 1 lit
    bool owned;      // some trigger lights it (else it is only being switched off)
  };
  void Rebuild(const TriggerSet& triggers);
  bool Show(Pad* pad, bool lit, SendFn send);

  std::vector<Pad> pads_;
  uint64_t generation_ = ~uint64_t{0};  // of the triggers the pads were built from
  int port_ = -1;
  int lastBeat_ = -1;
  uint64_t beats_ = 0;  // beats counted across measures: the blink phase
  uint64_t sent_ = 0;
};
