#include "app/dialogs/latency_dialog.h"

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
  const double ms = DialogText_Real(d->milliseconds.substr(0, 15));
  if (ms > 1000.0) {
    MessageDialog_Show(nullptr, "Latency too long", "Error");
    return false;
  }
  if (!(ms >= 0.1)) {  // also text that is no number
    MessageDialog_Show(nullptr, "Latency too short", "Error");
    return false;
  }
  Audio_SetLatency(ms);
  WriteDeviceConfiguration();
  return true;
}
