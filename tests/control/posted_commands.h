#pragma once
// The commands posted so far, taken off the queue in order.
#include <vector>

#include "control/fire_action.h"

using Commands = std::vector<ControlCommand>;

inline Commands Posted() {
  Commands out;
  for (ControlCommand c; ControlCommands().Take(&c);) out.push_back(c);
  return out;
}
