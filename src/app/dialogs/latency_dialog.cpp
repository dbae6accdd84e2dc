#include "app/dialogs/latency_dialog.h"

#include <cstdlib>

#include "app/dialogs/dialog_text.h"
#include "app/settings/config_files.h"
#include "audio_io/audio_device.h"
#include "engine/audio.h"
#include "engine/latency_probe.h"
#include "engine/message_dialog.h"
#include "engine/round_trip.h"

namespace {

constexpr const char* kCaption = "Set Latency";
// About 85 ms at 48 kHz: long enough to stand far above hiss, short enough not to startle.
constexpr int32_t kSignalFrames = 4096;
// Time given to the callback beyond the capture itself before the stream counts as stalled.
constexpr std::chrono::seconds kGrace{3};

std::string RoundTripText(int32_t frames, bool measured) {
  const double rate = Audio_GetSampleRate();
  const double ms = rate > 0 ? frames * 1000.0 / rate : 0.0;
  return DialogText_Format(measured ? "Round trip: %d frames (%.2f ms), measured"
                                    : "Round trip: %d frames (%.2f ms), as the device reports it",
                           frames, ms);
}

std::string CurrentRoundTrip() {
  if (!Audio_IsStreamOpen()) return "Round trip: no audio device is running";
  return RoundTripText(Audio_GetLatencyFrames(), Audio_GetDeviceConfiguration()->measuredLatencyFrames >= 0);
}

LatencyProbe* Probe() {
  AudioEngine* e = Audio_GetEngine();
  return e ? &e->latencyProbe : nullptr;
}

void Stop(LatencyDialog* d) {
  if (d->measuring)
    if (LatencyProbe* probe = Probe()) LatencyProbe_Cancel(probe);
  d->measuring = false;
}

}  // namespace

LatencyDialog LatencyDialog_Open() {
  LatencyDialog d;
  d.milliseconds = DialogText_Format("%f", Audio_GetLatency() * 1000.0);
  d.openedMilliseconds = d.milliseconds;
  d.preferredLatency = Audio_GetDeviceConfiguration()->useAsioPreferredLatency != 0;
  d.roundTrip = CurrentRoundTrip();
  return d;
}

bool LatencyDialog_Measure(LatencyDialog* d) {
  if (d->measuring) return true;
  LatencyProbe* probe = Probe();
  if (!probe || !Audio_IsStreamRunning()) {
    MessageDialog_Show(nullptr, "No audio device is running.\nChoose one in Options->Select Audio Devices.", kCaption);
    return false;
  }
  const double rate = Audio_GetSampleRate();
  const int32_t captureFrames = kSignalFrames + static_cast<int32_t>(rate * kLongestRoundTripSeconds);
  d->signal = RoundTrip_TestSignal(kSignalFrames);
  LatencyProbe_Arm(probe, d->signal, captureFrames);
  d->deadline = std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(captureFrames / rate)) +
                kGrace;
  d->measuring = true;
  return true;
}

bool LatencyDialog_PollMeasure(LatencyDialog* d) {
  if (!d->measuring) return true;
  LatencyProbe* probe = Probe();
  if (!probe) {
    d->measuring = false;
    return true;
  }
  if (!LatencyProbe_Done(probe)) {
    if (std::chrono::steady_clock::now() < d->deadline && Audio_IsStreamRunning()) return false;
    // The stream stopped or stalled before the capture was complete.
    Stop(d);
    MessageDialog_Show(nullptr, "No test signal came back", kCaption);
    return true;
  }
  d->measuring = false;
  const RoundTrip found = RoundTrip_FindStereo(d->signal, probe->capture.data(), probe->captureFrames);
  switch (found.result) {
    case RoundTripResult::Found:
      d->proposedFrames = found.frames;
      d->roundTrip = RoundTripText(found.frames, true);
      break;
    case RoundTripResult::NoSignal: MessageDialog_Show(nullptr, "No test signal came back", kCaption); break;
    case RoundTripResult::Unreliable: MessageDialog_Show(nullptr, "Measurement unreliable", kCaption); break;
  }
  return true;
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
  Stop(d);
  // Stored before the reopen, which applies it.
  if (d->proposedFrames >= 0)
    Audio_SetMeasuredLatency(d->proposedFrames);
  else if (d->milliseconds != d->openedMilliseconds)
    Audio_SetMeasuredLatency(-1);
  Audio_SetLatency(ms);
  WriteDeviceConfiguration();
  return true;
}

void LatencyDialog_Cancel(LatencyDialog* d) { Stop(d); }
