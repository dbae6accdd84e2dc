#pragma once
// The wanted audio device settings that DeviceConfig.xml holds, kept apart from the
// stream's live values in the engine, and the audio layer's selected driver.
#include <string>

inline constexpr std::size_t DEVICE_NAME_MAX = 31;

struct DeviceSettings {
  double sample_rate = 48000.0;  // wanted, Hz
  double latency = 0.08;         // wanted, seconds
  std::string input_device_name = "none";
  std::string output_device_name = "none";
  bool use_asio_preferrred_latency = true;
  int input_channel = 0;   // first channel of the stereo pair (ASIO only)
  int output_channel = 0;
};

DeviceSettings& App_DeviceSettings();

// Before DeviceConfig.xml is read: sample rate and latency from the engine, both names
// "none".
void DeviceSettings_SetDefaults();

// The audio layer's driver (host API) selection, installed by the audio layer: select by
// type id (false when it has no such driver) and the selected type (-1 for none).
struct DriverSelection {
  bool (*select)(int typeId);
  int (*selectedType)();
};
void DeviceSettings_SetDriverSelection(DriverSelection selection);

// An id the audio layer does not offer changes nothing.
void DeviceSettings_SelectDriver(int typeId);
int DeviceSettings_DriverType();

void DeviceSettings_SetInputName(const std::string& name);   // cut to 31 characters
void DeviceSettings_SetOutputName(const std::string& name);  // cut to 31 characters
void DeviceSettings_SetInputChannel(int channel);
void DeviceSettings_SetOutputChannel(int channel);
int DeviceSettings_InputChannel();
int DeviceSettings_OutputChannel();

// The stream's live values, which the file records.
double DeviceSettings_CurrentSampleRate();
double DeviceSettings_CurrentLatency();
