#pragma once
// What a trigger fires and the command a fired action ends in.
#include <cstdint>

#include "control/command_numbers.h"

// Track field value meaning "the current track" (shown as "Cur" / "Current").
inline constexpr int32_t kCurrentTrack = 8;

struct ControlAction {
  uint32_t commandId = CommandNumber::TransportPlay;
  int32_t track = 0;  // 0..7 tracks 1..8, 8 the current track
};

// The command every action ends in, executed by the main window on the user-interface
// thread. Menu clicks carry value 0 and track 0.
struct ControlCommand {
  uint16_t commandId = 0;
  uint16_t value = 0;
  uint16_t track = 0;

  bool operator==(const ControlCommand&) const = default;
};
