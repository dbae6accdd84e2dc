#pragma once
// "Set Latency": the stream latency in milliseconds, and the round trip recording is
// moved back by, which "Measure" finds by playing a test signal on the outputs and
// listening for it on the inputs (an output cable looped back to an input, or the ports
// connected in JACK). The ASIO part (latency in samples from the driver's allowed
// values, "Use ASIO Preferred Latency") never applies here: no host API is ASIO, so the
// check box only shows the stored flag, disabled.
// User-interface thread only.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct LatencyDialog {
  std::string milliseconds;  // the edit box: the current latency x 1000, "%f"
  bool preferredLatency = false;  // "Use ASIO Preferred Latency", shown disabled
  std::string roundTrip;  // the line telling the round trip in use, or the one proposed
  int32_t proposedFrames = -1;  // a round trip measured in this dialog, stored by OK
  bool measuring = false;       // a measurement is under way (Measure is disabled)
  // The measurement under way.
  std::vector<float> signal;
  std::chrono::steady_clock::time_point deadline;
  std::string openedMilliseconds;  // the edit box as it opened
};

// The longest round trip Measure looks for.
inline constexpr double kLongestRoundTripSeconds = 1.0;

LatencyDialog LatencyDialog_Open();
// Measure: starts playing the test signal. False, with a message, when no stream runs.
bool LatencyDialog_Measure(LatencyDialog* d);
// Polled by the window's timer while measuring: true once the measurement has ended.
// Then either the round trip found is proposed (shown, stored by OK) or a message says
// "No test signal came back" or "Measurement unreliable" and the old value stays.
bool LatencyDialog_PollMeasure(LatencyDialog* d);
// OK: 0.1..1000 ms (messages with caption "Error"), then the stream is reopened at that
// latency and DeviceConfig.xml written, with the round trip measured in this dialog. A
// new latency without a new measurement forgets the old one (the buffers may have
// changed), so the device's own figures stand in until the next Measure. True when the
// dialog closes.
bool LatencyDialog_Ok(LatencyDialog* d);
// Cancel (and closing the window): a measurement under way stops; nothing changes.
void LatencyDialog_Cancel(LatencyDialog* d);
