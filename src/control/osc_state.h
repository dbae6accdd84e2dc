#pragma once
// What OSC clients can ask for and be told: a snapshot of the program's state, the names
// each value goes by ("transport", "track/3/mute"...), the OSC argument each value is
// sent as, and which names differ between two snapshots. The application fills the
// snapshot; this module knows nothing of where the values come from. The same snapshot
// lights the controller's pads (controller_feedback.h), which also read the switches
// below that OSC does not name.
#include <string>
#include <vector>

#include <lo/lo.h>

inline constexpr int kOscTracks = 8;

struct OscTrackState {
  const char* state = "Empty";  // Empty, Recording, Playing, Muted, Stopped
  double length = 0.0;          // seconds
  double position = 0.0;        // 0..1 of the loop
  double volume = 1.0;          // 0..1 (the fader's 0..127)
  bool mute = false;
  bool solo = false;
  // Switches shown on a controller only.
  bool reverse = false;
  bool slow = false;
  bool effects = false;  // sends to the effects
  bool submixB = false;

  bool operator==(const OscTrackState& o) const;
};

// The on/off switches that are not a track's, as the panel shows them.
struct OscSwitches {
  bool reverse = false, halfSpeed = false;  // the global switches
  bool masterMute = false, submixAMute = false, submixBMute = false;
  bool delay = false, delayLink = false, delayMode = false, delaySync = false;
  bool filter = false, lfo = false, filterLink = false, lfoLink = false, reverb = false;
  bool metronomeRecord = false, metronomePlayback = false;
  bool mixToTrack = false, mixToDisk = false;
};

struct OscState {
  const char* transport = "Stopped";  // Stopped, Playing, Recording, Paused, Insert Waiting, Inserting
  double tempo = 120.0;               // beats per minute
  double loopTime = 0.0;              // the current track's loop, seconds
  int currentTrack = 1;               // 1..8
  int undoDepth = 0;
  OscTrackState tracks[kOscTracks];
  // Controller feedback only: the switches, whether a recording waits out its count-off,
  // and the beat of the measure the click loop is on (the beat pending actions blink to).
  OscSwitches switches;
  bool countoff = false;
  int beat = 0;
};

// True for a name the state answers: the fixed names and track/N/... with N 1..8.
bool OscState_Knows(const std::string& what);
// Adds s:what and the value to `message`; false (nothing added) for an unknown name.
bool OscState_AddValue(const OscState& state, const std::string& what, lo_message message);
// Every name whose value differs between the two snapshots, play positions left out (they
// change all the time and go out on a clock of their own).
std::vector<std::string> OscState_Changes(const OscState& before, const OscState& after);
// Every name the state answers, in a fixed order.
std::vector<std::string> OscState_AllNames();
