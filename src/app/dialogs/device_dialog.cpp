#include "app/dialogs/device_dialog.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/app_host.h"
#include "app/command_id.h"
#include "app/dialogs/dialog_text.h"
#include "app/settings/config_files.h"
#include "app/settings/preferences.h"
#include "audio_io/loop_files.h"
#include "audio_io/audio_device.h"
#include "engine/message_dialog.h"

namespace {

constexpr int kAlsaType = 8;
constexpr int kJackType = 12;

void Error(const char* text) { MessageDialog_Show(nullptr, text, "Error"); }

// The configured name a device is stored under (cut as the configuration cuts it).
std::string StoredName(const std::string& name) { return name.substr(0, DeviceName_CutLength(name.c_str())); }

int EntryOfType(const std::vector<HostApiChoice>& drivers, int type) {
  for (size_t i = 0; i < drivers.size(); ++i)
    if (drivers[i].type == type) return static_cast<int>(i);
  return -1;
}

// The device of `list` stored as `wanted` (null: none wanted), else the host API's
// default device, else the first.
int Pick(const std::vector<DeviceChoice>& list, const char* wanted, int hostDefault) {
  for (size_t i = 0; wanted && i < list.size(); ++i)
    if (StoredName(list[i].name) == wanted) return static_cast<int>(i);
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].index == hostDefault) return static_cast<int>(i);
  return list.empty() ? -1 : 0;
}

bool Valid(int entry, size_t size) { return entry >= 0 && entry < static_cast<int>(size); }

DeviceDetails Details(const DeviceChoice& device, bool input, const std::vector<double>& rates) {
  DeviceDetails details{device.name, input ? device.maxInputChannels : device.maxOutputChannels, device.index,
                        static_cast<int>(rates.size()), {}};
  for (double rate : rates) {
    const std::string text = DialogText_Format("%.1f  ", rate);
    if (details.rates.size() + text.size() > 512) break;
    details.rates += text;
  }
  return details;
}

// Probes the rates of the chosen pair and shows both sides' details.
void Refresh(DeviceDialog* d) {
  d->rates.clear();
  d->rate = -1;
  d->inputDetails = {};
  d->outputDetails = {};
  if (!Valid(d->input, d->inputs.size()) || !Valid(d->output, d->outputs.size())) return;
  const DeviceChoice& in = d->inputs[d->input];
  const DeviceChoice& out = d->outputs[d->output];
  d->rates = AudioDevices_SupportedRates(in.index, out.index, Audio_GetLatency());
  for (size_t i = 0; i < d->rates.size(); ++i)
    if (d->rates[i] == Audio_GetSampleRate()) d->rate = static_cast<int>(i);
  d->inputDetails = Details(in, true, d->rates);
  d->outputDetails = Details(out, false, d->rates);
}

// Opens the configured device again as the dialog found it.
void Restore(const DeviceDialog& d) {
  if (!d.saved.streamOpen) return;
  Audio_SetHostApi(d.saved.driverType);
  DeviceConfiguration* config = Audio_GetDeviceConfiguration();
  config->sampleRate = d.saved.sampleRate;
  DeviceConfiguration_SetInputName(d.saved.inputName.c_str());
  DeviceConfiguration_SetOutputName(d.saved.outputName.c_str());
  Audio_SetInputChannel(d.saved.inputChannel);
  Audio_SetOutputChannel(d.saved.outputChannel);
  config->latency = Audio_GetLatency();
  Audio_OpenConfiguredDevice();
}

void ClearLists(DeviceDialog* d) {
  d->inputs.clear();
  d->outputs.clear();
  d->input = d->output = -1;
  Refresh(d);
}

// Builds the device lists of driver `entry` and picks the devices stored as `input` and
// `output` (null: the host API's defaults); false after a message when it has none.
bool ShowDriver(DeviceDialog* d, int entry, const char* input, const char* output) {
  if (!Valid(entry, d->drivers.size())) return false;
  d->driver = entry;
  const HostApiChoice& driver = d->drivers[entry];
  std::vector<DeviceChoice> all;
  switch (AudioDevices_OfHostApi(driver.type, &all)) {
    case DeviceListResult::InvalidType: Error("Invalid api type."); break;
    case DeviceListResult::InvalidIndex: Error("Invalid api index."); break;
    case DeviceListResult::NoInfo: Error("Couldn't retrieve api info."); break;
    case DeviceListResult::NoDevices: Error("No devices for current driver."); break;
    case DeviceListResult::Ok: break;
  }
  DeviceDialog_Split(all, &d->inputs, &d->outputs);
  if (d->window) d->window->EnableMenuEntry(CommandId(Command::AsioControlPanel), driver.type == kAsioHostApiType);
  d->channelPairsEnabled = driver.type == kAsioHostApiType;
  d->input = Pick(d->inputs, input, driver.defaultInput);
  d->output = Pick(d->outputs, output, driver.defaultOutput);
  Refresh(d);
  return !all.empty();
}

// The driver selected on opening: the configured one when it is listed, else the one
// a first start opens.
int FirstDriver(const DeviceDialog& d) {
  const int configured = EntryOfType(d.drivers, d.saved.driverType);
  return configured >= 0 ? configured : DeviceDialog_PreferredDriver(d.drivers);
}

// Selects the dialog's driver and stores its devices and `rate` in the device
// configuration, then opens them.
bool Apply(const DeviceDialog& d, double rate) {
  Audio_SetHostApi(d.drivers[d.driver].type);
  DeviceConfiguration* config = Audio_GetDeviceConfiguration();
  const DeviceConfiguration before = *config;
  config->sampleRate = rate;
  DeviceConfiguration_SetInputName(d.inputs[d.input].name.c_str());
  DeviceConfiguration_SetOutputName(d.outputs[d.output].name.c_str());
  config->latency = Audio_GetLatency();
  // A round trip measured on other devices or at another rate says nothing about these.
  if (config->sampleRate != before.sampleRate || Audio_GetHostApiType() != d.saved.driverType ||
      std::strcmp(config->inputDeviceName, before.inputDeviceName) != 0 ||
      std::strcmp(config->outputDeviceName, before.outputDeviceName) != 0)
    config->measuredLatencyFrames = -1;
  return Audio_OpenConfiguredDevice();
}

}  // namespace

void DeviceDialog_Split(const std::vector<DeviceChoice>& all, std::vector<DeviceChoice>* inputs,
                        std::vector<DeviceChoice>* outputs) {
  inputs->clear();
  outputs->clear();
  for (const DeviceChoice& device : all) {
    if (device.maxOutputChannels > 0) {
      outputs->push_back(device);
      if (device.maxInputChannels > 0) inputs->push_back(device);
    } else {
      inputs->push_back(device);
    }
  }
}

std::vector<std::string> DeviceDialog_ChannelPairs(int channels) {
  std::vector<std::string> pairs;
  for (int first = 1; first <= channels; first += 2) pairs.push_back(DialogText_Format("%d-%d", first, first + 1));
  return pairs;
}

bool DeviceDialog_Open(DeviceDialog* d, WindowHost* window) {
  const DeviceConfiguration* config = Audio_GetDeviceConfiguration();
  d->window = window;
  d->saved.driverType = Audio_GetHostApiType();
  d->saved.sampleRate = Audio_GetSampleRate();
  d->saved.inputName = config->inputDeviceName;
  d->saved.outputName = config->outputDeviceName;
  d->saved.inputChannel = Audio_GetInputChannel();
  d->saved.outputChannel = Audio_GetOutputChannel();
  d->saved.streamOpen = Audio_IsStreamOpen();
  const bool running = Audio_IsStreamRunning();
  Audio_CloseStream();
  // Without a running stream what was found at start-up may be out of date.
  if (!running) Audio_Rescan();

  d->drivers = AudioDevices_HostApis();
  if (d->drivers.empty()) {
    Error("Portaudio found no sound card drivers.");
    Restore(*d);
    return false;
  }
  DeviceDialog_ChooseDriver(d, FirstDriver(*d));
  return true;
}

bool DeviceDialog_ChooseDriver(DeviceDialog* d, int entry) {
  if (!Valid(entry, d->drivers.size())) return false;
  const bool configured = d->drivers[entry].type == d->saved.driverType;
  const DeviceConfiguration* config = Audio_GetDeviceConfiguration();
  return ShowDriver(d, entry, configured ? config->inputDeviceName : nullptr,
                    configured ? config->outputDeviceName : nullptr);
}

bool DeviceDialog_Rescan(DeviceDialog* d) {
  // What is chosen now, to be chosen again where it is still there.
  const int type = Valid(d->driver, d->drivers.size()) ? d->drivers[d->driver].type : -1;
  const std::string input = Valid(d->input, d->inputs.size()) ? StoredName(d->inputs[d->input].name) : "";
  const std::string output = Valid(d->output, d->outputs.size()) ? StoredName(d->outputs[d->output].name) : "";
  const double rate = Valid(d->rate, d->rates.size()) ? d->rates[d->rate] : 0.0;

  Audio_Rescan();
  d->drivers = AudioDevices_HostApis();
  d->driver = -1;
  ClearLists(d);
  if (d->drivers.empty()) {
    Error("Portaudio found no sound card drivers.");
    return false;
  }
  const int entry = EntryOfType(d->drivers, type);
  if (entry < 0) return DeviceDialog_ChooseDriver(d, FirstDriver(*d));
  const bool listed = ShowDriver(d, entry, input.empty() ? nullptr : input.c_str(),
                                 output.empty() ? nullptr : output.c_str());
  for (size_t i = 0; i < d->rates.size(); ++i)
    if (d->rates[i] == rate) d->rate = static_cast<int>(i);
  return listed;
}

int DeviceDialog_PreferredDriver(const std::vector<HostApiChoice>& drivers) {
  if (drivers.empty()) return -1;
  if (const int jack = EntryOfType(drivers, kJackType); jack >= 0) return jack;
  if (const int alsa = EntryOfType(drivers, kAlsaType); alsa >= 0) return alsa;
  return 0;
}

bool DeviceDialog_OpenFirstChoice() {
  DeviceDialog d;
  d.drivers = AudioDevices_HostApis();
  if (!ShowDriver(&d, DeviceDialog_PreferredDriver(d.drivers), nullptr, nullptr)) return false;
  if (!Valid(d.input, d.inputs.size()) || !Valid(d.output, d.outputs.size())) return false;
  // The rate in use when the devices support it, else the input device's own.
  double rate = Audio_GetSampleRate();
  if (!Valid(d.rate, d.rates.size())) {
    rate = d.inputs[d.input].defaultSampleRate;
    if (std::find(d.rates.begin(), d.rates.end(), rate) == d.rates.end()) return false;
  }
  if (!Apply(d, rate)) return false;
  WriteDeviceConfiguration();
  return true;
}

void DeviceDialog_ChooseInput(DeviceDialog* d, int entry) {
  if (!Valid(entry, d->inputs.size())) return;
  d->input = entry;
  Refresh(d);
}

void DeviceDialog_ChooseOutput(DeviceDialog* d, int entry) {
  if (!Valid(entry, d->outputs.size())) return;
  d->output = entry;
  Refresh(d);
}

void DeviceDialog_ChooseRate(DeviceDialog* d, int entry) {
  if (Valid(entry, d->rates.size())) d->rate = entry;
}

std::vector<std::string> DeviceDialog_RateTexts(const DeviceDialog& d) {
  std::vector<std::string> texts;
  for (double rate : d.rates) texts.push_back(DialogText_Format("%.1f", rate));
  return texts;
}

bool DeviceDialog_Ok(DeviceDialog* d) {
  if (!Valid(d->driver, d->drivers.size()) || !Valid(d->input, d->inputs.size()) ||
      !Valid(d->output, d->outputs.size()) || !Valid(d->rate, d->rates.size())) {
    Error("Please select driver, devices, and sample rate.");
    return false;
  }
  const double rate = d->rates[d->rate];
  const double oldRate = Audio_GetSampleRate();
  // With convert_sample_rate the loops follow the new rate; without, they stay as they are.
  const bool convert = App_Preferences().convert_sample_rate != 0;
  if (rate != oldRate &&
      MessageDialog_Show(nullptr,
                         convert ? "New sample rate.\nCurrent loops will be converted to\nthe new rate.\nProceed?"
                                 : "New sample rate.\nCurrent loops will not be converted to\nthe new rate and may "
                                   "play incorrectly.\nProceed?",
                         "New Sample Rate", MB_OKCANCEL) != IDOK)
    return false;
  Apply(*d, rate);
  // Converted only when the stream really runs at the new rate now.
  if (convert && Audio_GetSampleRate() != oldRate) Audio_ConvertLoops(oldRate, Audio_GetSampleRate());
  WriteDeviceConfiguration();
  return true;
}

void DeviceDialog_Cancel(DeviceDialog* d) { Restore(*d); }
