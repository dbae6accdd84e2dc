#include "control/fire_action.h"

#include "control/command_numbers.h"

namespace {
TransportNow* installedTransport = nullptr;
}  // namespace

TransportOp TransportNow_Resolve(uint32_t commandId, TransportState state) {
  switch (commandId) {
    case CommandNumber::TransportRecord: return TransportOp::Record;
    case CommandNumber::TransportStop: return TransportOp::Stop;
    case CommandNumber::TransportPlay: return TransportOp::Play;
    case CommandNumber::TransportPause: return TransportOp::Pause;
    case CommandNumber::TransportSetLoop: return TransportOp::SetLoop;
    case CommandNumber::TransportInsert: return TransportOp::Insert;
    case CommandNumber::ToggleStopRecord: return state == Stopped ? TransportOp::Record : TransportOp::Stop;
    case CommandNumber::TogglePlayPause: return state == Playing ? TransportOp::Pause : TransportOp::Play;
    case CommandNumber::TogglePlayRecord: return state == Playing ? TransportOp::Record : TransportOp::Play;
    default: return TransportOp::None;
  }
}

bool TransportNow_IsImmediate(uint32_t commandId) {
  return TransportNow_Resolve(commandId, Stopped) != TransportOp::None;
}

void Control_InstallTransportNow(TransportNow* transport) { installedTransport = transport; }

bool ExecuteTransportNow(uint32_t commandId) {
  return installedTransport && installedTransport->ExecuteTransportNow(commandId);
}

void ControlCommandQueue::Post(const ControlCommand& command) {
  NotifyFn notify;
  void* user;
  {
    std::lock_guard<std::mutex> guard(lock_);
    commands_.push_back(command);
    notify = notify_;
    user = notifyUser_;
  }
  if (notify) notify(user);
}

bool ControlCommandQueue::Take(ControlCommand* command) {
  std::lock_guard<std::mutex> guard(lock_);
  if (commands_.empty()) return false;
  *command = commands_.front();
  commands_.pop_front();
  return true;
}

size_t ControlCommandQueue::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return commands_.size();
}

void ControlCommandQueue::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  commands_.clear();
}

void ControlCommandQueue::SetNotify(NotifyFn fn, void* user) {
  std::lock_guard<std::mutex> guard(lock_);
  notify_ = fn;
  notifyUser_ = user;
}

void ControlCommandQueue::Wake() {
  NotifyFn notify;
  void* user;
  {
    std::lock_guard<std::mutex> guard(lock_);
    notify = notify_;
    user = notifyUser_;
  }
  if (notify) notify(user);
}

ControlCommandQueue& ControlCommands() {
  static ControlCommandQueue queue;
  return queue;
}

void Fire(const ControlAction& action, uint32_t value) {
  const uint16_t id = static_cast<uint16_t>(action.commandId & 0xFFFF);
  if (ExecuteTransportNow(id)) return;
  ControlCommands().Post(ControlCommand{id, static_cast<uint16_t>(value & 0xFFFF),
                                        static_cast<uint16_t>(static_cast<uint32_t>(action.track) & 0xFFFF)});
}
