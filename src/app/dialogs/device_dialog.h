#pragma once
// "Select Audio Devices": the driver (host API), the input and output devices and the
// sample rate. No audio runs while it is open: opening closes the stream; OK opens the
// chosen devices and writes DeviceConfig.xml; Cancel reopens what ran before. The
// audio layer lists its devices as they were when it started: opening without a running
// stream, and "Rescan", start it afresh so that servers and devices that came or went
// since show as they are. The channel-pair lists belong to ASIO, which no host API here
// is: they stay disabled. User-interface thread only.
#include <string>
#include <vector>

#include "audio_io/audio_devices.h"

class WindowHost;

inline constexpr const char* kDeviceProcessingText = "Processing, Please Wait...";

// The details shown for one side.
struct DeviceDetails {
  std::string name;       // "Name:"
  int channels = 0;       // "Channels:", the device's maximum on that side
  int index = -1;         // "Portaudio Device Index:"
  int rateCount = 0;      // "Sample Rates:"
  std::string rates;      // "%.1f  " per supported rate, at most 512 characters
};

struct DeviceDialog {
  std::vector<HostApiChoice> drivers;
  int driver = -1;
  std::vector<DeviceChoice> inputs, outputs;
  int input = -1, output = -1;
  std::vector<double> rates;  // supported candidate rates of the chosen pair
  int rate = -1;
  DeviceDetails inputDetails, outputDetails;
  bool channelPairsEnabled = false;
  WindowHost* window = nullptr;  // for the "ASIO Control Panel" menu entry

  struct {
    int driverType = -1;
    double sampleRate = 0;
    std::string inputName, outputName;
    int inputChannel = 0, outputChannel = 0;
    bool streamOpen = false;
  } saved;
};

// Remembers the settings, closes the stream (rescanning when none was running) and fills
// the lists: the configured driver and devices are selected, else those of
// DeviceDialog_PreferredDriver with its default devices. False (after the message, and
// with the previous devices reopened) when no driver has devices: the dialog ends as
// cancelled.
bool DeviceDialog_Open(DeviceDialog* d, WindowHost* window = nullptr);
// Builds the device lists of driver `entry`; false after a message when it has none.
bool DeviceDialog_ChooseDriver(DeviceDialog* d, int entry);
// "Rescan": the audio layer started afresh and every list filled again, keeping the
// chosen driver, devices and rate where they are still offered. False after a message
// when no driver has devices now (the dialog stays open with empty lists).
bool DeviceDialog_Rescan(DeviceDialog* d);
// A device chosen: the rates are probed again and the details refreshed.
void DeviceDialog_ChooseInput(DeviceDialog* d, int entry);
void DeviceDialog_ChooseOutput(DeviceDialog* d, int entry);
void DeviceDialog_ChooseRate(DeviceDialog* d, int entry);
// "%.1f" per supported rate.
std::vector<std::string> DeviceDialog_RateTexts(const DeviceDialog& d);
// True when the dialog closes; false keeps it open.
bool DeviceDialog_Ok(DeviceDialog* d);
void DeviceDialog_Cancel(DeviceDialog* d);

// The driver offered when none is configured: JACK (a server runs), else ALSA, else the
// first; -1 when there is none.
int DeviceDialog_PreferredDriver(const std::vector<HostApiChoice>& drivers);
// A first start, with no device configuration at all: opens what the dialog would
// select (as OK would, at the rate in use or else the input device's own) and, once it
// runs, writes DeviceConfig.xml. False, with nothing written, when nothing opened.
bool DeviceDialog_OpenFirstChoice();

// The list rule: a device with output channels is an output, and also an input when it
// has input channels; a device without output channels is an input.
void DeviceDialog_Split(const std::vector<DeviceChoice>& all, std::vector<DeviceChoice>* inputs,
                        std::vector<DeviceChoice>* outputs);
// The stereo channel pairs of a device with `channels` channels: "1-2", "3-4", ... up to
// the first pair that reaches the last channel.
std::vector<std::string> DeviceDialog_ChannelPairs(int channels);
