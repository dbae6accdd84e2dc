#pragma once
// "Set Latency": the stream latency in milliseconds. The ASIO part (latency in samples
// from the driver's allowed values, "Use ASIO Preferred Latency") never applies here:
// no host API is ASIO, so the check box only shows the stored flag, disabled.
// User-interface thread only.
#include <string>

struct LatencyDialog {
  std::string milliseconds;  // the edit box: the current latency x 1000, "%f"
  bool preferredLatency = false;  // "Use ASIO Preferred Latency", shown disabled
};

LatencyDialog LatencyDialog_Open();
// OK: 0.1..1000 ms (messages with caption "Error"), then the stream is reopened at that
// latency and DeviceConfig.xml written. True when the dialog closes. Cancel changes
// nothing.
bool LatencyDialog_Ok(LatencyDialog* d);
