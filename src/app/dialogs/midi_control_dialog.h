#pragma once
// "MIDI & Keyboard Control": a working copy of every trigger, edited, learned from MIDI
// input and put into effect by OK (which also writes Default_Midi.xml); Cancel throws it
// away. While it is open every MIDI input is heard and every event is learned instead of
// firing triggers. User-interface thread only.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "control/trigger.h"
#include "control/trigger_set.h"

struct ControlEntry {
  TriggerType type = TriggerType::NoteOn;
  Trigger trigger;
};

// List indexes standing for "any".
inline constexpr int kAnyValueIndex = 128;  // value and range lists
inline constexpr int kAnyPortIndex = 16;    // port and channel lists

// The detail lists as shown for the selected entry; -1 where nothing is selected.
struct ControlDetails {
  bool enabled = false;       // false with no entry selected: the lists are disabled
  bool rangeEnabled = false;  // the input range lists
  const char* valueLabel = "None";  // label 1178
  const char* rangeLabel = "None";  // label 1199
  bool keyValues = false;  // the value list holds "space" and the characters 33..126
  int type = -1, value = -1, inputLow = -1, inputHigh = -1, port = -1, channel = -1;
  int event = -1, track = -1, outputLow = -1, outputHigh = -1;
  // "Feedback": 0 off, 1 on; offered only for the types a controller can be lit on.
  int feedback = -1;
  bool feedbackEnabled = false;
};

class MidiControlDialog final : public LearnTarget {
 public:
  MidiControlDialog() = default;
  MidiControlDialog(const MidiControlDialog&) = delete;
  MidiControlDialog& operator=(const MidiControlDialog&) = delete;
  // Learning stops if it still targets this dialog.
  ~MidiControlDialog() override;
  // Queues a learn message; `onLearn` (the window's wake-up) is called after queueing.
  void PostLearnMessage(uint32_t id, uint32_t value) override;

  std::vector<ControlEntry> entries;  // the working list, in its line order
  int selected = -1;
  std::vector<std::string> ports;  // "Available MIDI Ports"
  std::deque<std::pair<uint32_t, uint32_t>> learned;  // posted, not yet handled
  std::function<void()> onLearn;
};

// The fixed lists: the ten type names, the value list (0..127 or the keys), the range
// lists (0..127 and "Any"), ports and channels ("1".."16" and "Any"), the 137 events,
// the tracks ("1".."8" and "Cur"), the feedback switch.
std::vector<std::string> ControlList_Types();
std::vector<std::string> ControlList_Values(bool keys);
std::vector<std::string> ControlList_Range();
std::vector<std::string> ControlList_PortsOrChannels();
std::vector<std::string> ControlList_Events();
std::vector<std::string> ControlList_Tracks();
// "Off", "On": whether the action's state is sent back to the trigger's note or controller.
std::vector<std::string> ControlList_Feedback();

// The description line of one entry (at most 255 characters).
std::string ControlEntry_Describe(const ControlEntry& entry);
// `entry` made into type `type`: port, channel, action, value range and output range
// kept; data1 = `data1` when at least 0, else the old data1 value.
ControlEntry ControlEntry_Convert(const ControlEntry& entry, TriggerType type, int data1 = -1);

// Opening: the working list from the trigger set, the first entry selected, every input
// heard and learning started with `d` as the target.
void MidiControlDialog_Open(MidiControlDialog* d);
std::vector<std::string> MidiControlDialog_Lines(const MidiControlDialog& d);
ControlDetails MidiControlDialog_Details(const MidiControlDialog& d);
void MidiControlDialog_Select(MidiControlDialog* d, int entry);

// Edits of the selected entry (list indexes as shown).
enum class ControlList { Type, Value, InputLow, InputHigh, Port, Channel, Event, Track, OutputLow, OutputHigh, Feedback };
void MidiControlDialog_Choose(MidiControlDialog* d, ControlList list, int index);

void MidiControlDialog_New(MidiControlDialog* d);
void MidiControlDialog_Delete(MidiControlDialog* d);
// One learn message (ignored with no entry selected).
void MidiControlDialog_Learn(MidiControlDialog* d, uint32_t id, uint32_t value);
// Handles the queued learn messages in order.
void MidiControlDialog_TakeLearned(MidiControlDialog* d);
// Asks first; on Yes reads Default_Midi.xml into the trigger set and starts the working
// list again from it.
void MidiControlDialog_LoadDefault(MidiControlDialog* d);
void MidiControlDialog_Ok(MidiControlDialog* d);
void MidiControlDialog_Cancel(MidiControlDialog* d);
