#pragma once
// "Select Audio Devices": the driver (host API), the input and output devices and the
// sample rate. No audio runs while it is open: opening closes the stream; OK opens the
// chosen devices and writes DeviceConfig.xml; Cancel reopens what ran before. The
// channel-pair lists belong to ASIO, which no host API here is: they stay disabled.
// User-interface thread only.
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

// Remembers the settings, closes the stream and fills the lists. False (after the
// message, and with the previous devices reopened) when no driver has devices: the
// dialog ends as cancelled.
bool DeviceDialog_Open(DeviceDialog* d, WindowHost* window = nullptr);
// Builds the device lists of driver `entry`; false after a message when it has none.
bool DeviceDialog_ChooseDriver(DeviceDialog* d, int entry);
// A device chosen: the rates are probed again and the details refreshed.
void DeviceDialog_ChooseInput(DeviceDialog* d, int entry);
void DeviceDialog_ChooseOutput(DeviceDialog* d, int entry);
void DeviceDialog_ChooseRate(DeviceDialog* d, int entry);
// "%.1f" per supported rate.
std::vector<std::string> DeviceDialog_RateTexts(const DeviceDialog& d);
// True when the dialog closes; false keeps it open.
bool DeviceDialog_Ok(DeviceDialog* d);
void DeviceDialog_Cancel(DeviceDialog* d);

// The list rule: a device with output channels is an output, and also an input when it
// has input channels; a device without output channels is an input.
void DeviceDialog_Split(const std::vector<DeviceChoice>& all, std::vector<DeviceChoice>* inputs,
                        std::vector<DeviceChoice>* outputs);
// The stereo channel pairs of a device with `channels` channels: "1-2", "3-4", ... up to
// the first pair that reaches the last channel.
std::vector<std::string> DeviceDialog_ChannelPairs(int channels);
