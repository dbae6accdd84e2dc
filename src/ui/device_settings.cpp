#include "ui/device_settings.h"

#include "engine/audio.h"

namespace {
DeviceSettings g_device;
DriverSelection g_driver{nullptr, nullptr};

std::string Cut(const std::string& name) { return name.substr(0, DEVICE_NAME_MAX); }
}  // namespace

DeviceSettings& App_DeviceSettings() { return g_device; }

void DeviceSettings_SetDefaults() {
  g_device.sample_rate = DeviceSettings_CurrentSampleRate();
  g_device.latency = DeviceSettings_CurrentLatency();
  g_device.input_device_name = "none";
  g_device.output_device_name = "none";
}

void DeviceSettings_SetDriverSelection(DriverSelection selection) { g_driver = selection; }

void DeviceSettings_SelectDriver(int typeId) {
  if (g_driver.select) g_driver.select(typeId);
}

int DeviceSettings_DriverType() { return g_driver.selectedType ? g_driver.selectedType() : -1; }

void DeviceSettings_SetInputName(const std::string& name) { g_device.input_device_name = Cut(name); }
void DeviceSettings_SetOutputName(const std::string& name) {
  g_device.output_device_name = Cut(name);
}
void DeviceSettings_SetInputChannel(int channel) { g_device.input_channel = channel; }
void DeviceSettings_SetOutputChannel(int channel) { g_device.output_channel = channel; }
int DeviceSettings_InputChannel() { return g_device.input_channel; }
int DeviceSettings_OutputChannel() { return g_device.output_channel; }

double DeviceSettings_CurrentSampleRate() {
  const AudioEngine* engine = Audio_GetEngine();
  return engine ? static_cast<double>(engine->sampleRate) : 48000.0;
}

double DeviceSettings_CurrentLatency() {
  const AudioEngine* engine = Audio_GetEngine();
  return engine ? engine->latency : 0.08;
}
