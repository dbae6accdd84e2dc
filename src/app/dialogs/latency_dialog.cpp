#include "app/dialogs/latency_dialog.h"

#include <cstdlib>

#include "app/dialogs/dialog_text.h"
#include "app/settings/config_files.h"
#include "audio_io/audio_device.h"
#include "engine/message_dialog.h"

LatencyDialog LatencyDialog_Open() {
  LatencyDialog d;
  d.milliseconds = DialogText_Format("%f", Audio_GetLatency() * 1000.0);
  d.preferredLatency = Audio_GetDeviceConfiguration()->useAsioPreferredLatency != 0;
  return d;
}

bool LatencyDialog_Ok(LatencyDialog* d) {
  if (DialogText_Empty(d->milliseconds)) {
    MessageDialog_Show(nullptr, "Please enter a time in milliseconds", "Error");
    return false;
  }
  const std::string text = d->milliseconds.substr(0, 15);
  char* end = nullptr;
  const double ms = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) {
    MessageDialog_Show(nullptr, "Latency is not a number.\nEnter a time in milliseconds, from 0.1 to 1000.", "Error");
    return false;
  }
  if (ms > 1000.0) {
    MessageDialog_Show(nullptr, "Latency too long", "Error");
    return false;
  }
  if (!(ms >= 0.1)) {
    MessageDialog_Show(nullptr, "Latency too short", "Error");
    return false;
  }
  Audio_SetLatency(ms);
  WriteDeviceConfiguration();
  return true;
}
