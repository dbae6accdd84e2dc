#include "audio_io/audio_devices.h"

#include <portaudio.h>

std::vector<HostApiChoice> AudioDevices_HostApis() {
  std::vector<HostApiChoice> apis;
  const PaHostApiIndex count = Pa_GetHostApiCount();
  for (PaHostApiIndex i = 0; i < count; ++i) {
    const PaHostApiInfo* info = Pa_GetHostApiInfo(i);
    if (info && info->deviceCount > 0)
      apis.push_back({info->name ? info->name : "", static_cast<int>(info->type), info->deviceCount,
                      info->defaultInputDevice, info->defaultOutputDevice});
  }
  return apis;
}

DeviceListResult AudioDevices_OfHostApi(int type, std::vector<DeviceChoice>* devices) {
  devices->clear();
  const PaHostApiIndex api = Pa_HostApiTypeIdToHostApiIndex(static_cast<PaHostApiTypeId>(type));
  if (api == paHostApiNotFound || api == paInvalidHostApi) return DeviceListResult::InvalidType;
  if (api < 0) return DeviceListResult::InvalidIndex;
  const PaHostApiInfo* info = Pa_GetHostApiInfo(api);
  if (!info) return DeviceListResult::NoInfo;
  if (info->deviceCount <= 0) return DeviceListResult::NoDevices;
  for (int i = 0; i < info->deviceCount; ++i) {
    const PaDeviceIndex index = Pa_HostApiDeviceIndexToDeviceIndex(api, i);
    const PaDeviceInfo* d = index >= 0 ? Pa_GetDeviceInfo(index) : nullptr;
    if (!d) continue;
    devices->push_back({d->name ? d->name : "", index, type, d->maxInputChannels, d->maxOutputChannels,
                        d->defaultLowInputLatency, d->defaultLowOutputLatency, d->defaultHighInputLatency,
                        d->defaultHighOutputLatency, d->defaultSampleRate});
  }
  return DeviceListResult::Ok;
}

std::vector<double> AudioDevices_SupportedRates(int inputDevice, int outputDevice, double latency) {
  std::vector<double> rates;
  if (!Pa_GetDeviceInfo(inputDevice) || !Pa_GetDeviceInfo(outputDevice)) return rates;
  const PaStreamParameters in{inputDevice, 2, paFloat32, latency, nullptr};
  const PaStreamParameters out{outputDevice, 2, paFloat32, latency, nullptr};
  for (double rate : kCandidateSampleRates)
    if (Pa_IsFormatSupported(&in, &out, rate) == paFormatIsSupported) rates.push_back(rate);
  return rates;
}
