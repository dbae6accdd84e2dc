#pragma once
// The program's triggers: ten lists, one per trigger type, each in insertion order with
// its own lock, plus the learning state of the MIDI and keyboard control dialog.
// DispatchMidi and MatchKey match one incoming event against them and fire every
// matching trigger's action (or, while learning, hand the event to the dialog).
//
// Everything here runs on the user-interface thread; the locks keep a list whole while
// it is walked or appended to. They are recursive because firing may run a transport
// operation whose message box spins a nested event loop that polls MIDI again.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "control/trigger.h"

// Receives learn messages (the control dialog). Posting must not run the dialog's
// handling inside the call: the dialog queues them for its own event loop.
class LearnTarget {
 public:
  virtual ~LearnTarget() = default;
  virtual void PostLearnMessage(uint32_t id, uint32_t value) = 0;
};

class TriggerSet {
 public:
  TriggerSet() = default;
  TriggerSet(const TriggerSet&) = delete;
  TriggerSet& operator=(const TriggerSet&) = delete;

  // Appends a copy to the type's list. Types outside 0..9 are ignored.
  void Add(TriggerType type, const Trigger& trigger);
  void ClearAll();
  int Count(TriggerType type) const;
  // A copy of the index-th trigger of the type; a default trigger of that shape when the
  // index is out of range.
  Trigger Get(TriggerType type, int index) const;
  // ClearAll, then Add for each entry in order (entries with a type above 9 skipped).
  void ReplaceAll(const std::vector<std::pair<TriggerType, Trigger>>& entries);
  // Changes with every Add and ClearAll: whoever keeps something derived from the
  // triggers (the controller feedback) knows when to derive it again.
  uint64_t Generation() const { return generation_.load(std::memory_order_relaxed); }

  void StartLearn(LearnTarget* target);
  void StopLearn();
  bool Learning() const { return learning_; }
  LearnTarget* LearnTargetWindow() const { return learnTarget_; }

  // One MIDI message: port = PortMidi device index of the input, channel = low four bits
  // of the status byte, status = status byte with the low four bits cleared.
  void DispatchMidi(int port, int channel, int status, int data1, int data2);
  // One character message; true when consumed (learned, or at least one trigger fired).
  bool MatchKey(int character);

 private:
  struct List {
    mutable std::recursive_mutex lock;
    std::vector<Trigger> triggers;
  };
  void Walk(TriggerType type, int port, int channel, int data1, int data2);

  List lists_[kTriggerTypeCount];
  std::atomic<uint64_t> generation_{0};
  bool learning_ = false;
  LearnTarget* learnTarget_ = nullptr;
};

// The program's one trigger set.
TriggerSet& Triggers();

// DispatchMidi / MatchKey on the program's trigger set.
void DispatchMidi(int port, int channel, int status, int data1, int data2);
bool MatchKey(int character);
