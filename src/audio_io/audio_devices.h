#pragma once
// What the audio layer offers to choose from: host APIs ("drivers") with their devices,
// and the sample rates a pair of devices supports. Everything above the audio layer
// asks here instead of calling PortAudio. User-interface thread only, between
// Audio_Init and Audio_Shutdown.
#include <string>
#include <vector>

struct HostApiChoice {
  std::string name;
  int type = -1;  // PortAudio host API type id (8 ALSA, 7 OSS, 12 JACK)
  int deviceCount = 0;
  int defaultInput = -1, defaultOutput = -1;  // the host API's default devices (global indices)
};

struct DeviceChoice {
  std::string name;
  int index = -1;  // global device index
  int hostApiType = -1;
  int maxInputChannels = 0;
  int maxOutputChannels = 0;
  double defaultLowInputLatency = 0, defaultLowOutputLatency = 0;
  double defaultHighInputLatency = 0, defaultHighOutputLatency = 0;
  double defaultSampleRate = 0;
};

// The host APIs that have at least one device, in PortAudio's order.
std::vector<HostApiChoice> AudioDevices_HostApis();

// The devices of the host API of type `type`, in its order.
enum class DeviceListResult { Ok, InvalidType, InvalidIndex, NoInfo, NoDevices };
DeviceListResult AudioDevices_OfHostApi(int type, std::vector<DeviceChoice>* devices);

// The rates the program offers, in this order.
inline constexpr double kCandidateSampleRates[] = {11025.0, 22050.0, 44100.0, 48000.0, 96000.0};
// The candidate rates at which a duplex stream of 2 channels, 32-bit float, on these two
// devices at `latency` seconds is supported.
std::vector<double> AudioDevices_SupportedRates(int inputDevice, int outputDevice, double latency);
