#pragma once
// Firing an action: the immediate transport commands run at once through the
// application's ExecuteTransportNow; every other action is posted as a ControlCommand to
// a toolkit-free queue that the application drains on the user-interface thread in
// posting order.
#include <cstdint>
#include <deque>
#include <mutex>

#include "control/control_action.h"
#include "engine/audio.h"

// The immediate transport commands and the transport operation each stands for.
enum class TransportOp : int32_t { None, Record, Stop, Play, Pause, SetLoop, Insert };
// The operation an immediate command runs in transport state `state` (the three toggles
// depend on it); None for a command that is not immediate.
TransportOp TransportNow_Resolve(uint32_t commandId, TransportState state);
bool TransportNow_IsImmediate(uint32_t commandId);

// Supplied by the application layer: runs an immediate transport command.
class TransportNow {
 public:
  virtual ~TransportNow() = default;
  // True when the command was one of the immediate transport commands and has run.
  virtual bool ExecuteTransportNow(uint32_t commandId) = 0;
};

// Installs the application's transport commands (null: none, everything is posted).
void Control_InstallTransportNow(TransportNow* transport);
// Runs the installed ExecuteTransportNow; false when none is installed.
bool ExecuteTransportNow(uint32_t commandId);

// The queue of posted commands. Posting never waits for a command to run.
class ControlCommandQueue {
 public:
  using NotifyFn = void (*)(void* user);

  void Post(const ControlCommand& command);
  // The oldest posted command; false when the queue is empty.
  bool Take(ControlCommand* command);
  size_t Size() const;
  void Clear();
  // Called after every post (the user interface schedules a drain on its thread).
  void SetNotify(NotifyFn fn, void* user);
  // Calls the notify function without posting: another source of work (OSC requests)
  // has something for the same drain. Any thread.
  void Wake();

 private:
  mutable std::mutex lock_;
  std::deque<ControlCommand> commands_;
  NotifyFn notify_ = nullptr;
  void* notifyUser_ = nullptr;
};

// The program's command queue.
ControlCommandQueue& ControlCommands();

// Fires an action with a 16-bit value (the low 16 bits of `value` are taken).
void Fire(const ControlAction& action, uint32_t value);
