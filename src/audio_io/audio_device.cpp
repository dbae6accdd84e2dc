#include "audio_io/audio_device.h"

#include <portaudio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "audio_io/mix_disk_writer.h"
#include "engine/audio.h"
#include "engine/audio_layer.h"
#include "engine/effects_ops.h"
#include "engine/message_dialog.h"

namespace {

DeviceConfiguration config;
PaHostApiIndex selectedHostApi = -1;  // index of the selected host API, -1: none

void* Owner() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->messageOwner : nullptr;
}

void Show(const std::string& text, const char* caption) {
  MessageDialog_Show(Owner(), text, caption);
}

void ShowPaError(PaError err) { Show(Pa_GetErrorText(err), "PortAudio Error"); }

std::string Format(const char* format, const char* a, const char* b = "") {
  char text[512];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

void CopyName(char* to, const char* name) {
  std::strncpy(to, name ? name : "", DEVICE_NAME_CHARS);
  to[DEVICE_NAME_CHARS] = '\0';
}

// The device fields of the engine record: saved before an open, restored when it fails.
struct DeviceBlock {
  int32_t inputDevice;
  int32_t outputDevice;
  uint32_t numChannels;
  double sampleRate;
  double latency;
  int32_t latencyFrames;
  void* stream;
};

DeviceBlock SaveBlock(const AudioEngine* e) {
  return {e->inputDevice, e->outputDevice, e->numChannels, e->sampleRate,
          e->latency,     e->latencyFrames, e->stream};
}

void RestoreBlock(AudioEngine* e, const DeviceBlock& b) {
  e->inputDevice = b.inputDevice;
  e->outputDevice = b.outputDevice;
  e->numChannels = b.numChannels;
  e->sampleRate = b.sampleRate;
  e->latency = b.latency;
  e->latencyFrames = b.latencyFrames;
  e->stream = b.stream;
}

int StreamCallback(const void* input, void* output, unsigned long frames,
                   const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* user) {
  Audio_ProcessStream(static_cast<AudioEngine*>(user), static_cast<const float*>(input),
                      static_cast<float*>(output), frames);
  return paContinue;
}

// Buffers published while the stream ran and not yet taken are swapped in now that no
// callback will take them.
void SettlePendingSwaps(AudioEngine* e) {
  for (int i = 0; i < NUM_TRACKS; ++i)
    if (e->tracks[i].pNewBuffer.load()) Audio_WaitForSwap(i);
}

bool Initialize() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return false;
  if (Pa_Initialize() != paNoError) {
    Show("PortAudio initialization failed", "Unable to initialize Portaudio");
    return false;
  }
  e->inputDevice = Pa_GetDefaultInputDevice();
  e->outputDevice = Pa_GetDefaultOutputDevice();
  e->numChannels = 2;
  e->sampleRate = 48000.0;
  e->latency = 0.08;
  e->latencyFrames = 3;
  e->stream = nullptr;
  selectedHostApi = -1;
  config = DeviceConfiguration{};
  config.sampleRate = e->sampleRate;
  config.latency = e->latency;
  MixDisk_Attach(e);
  return true;
}

void CloseStreamHook() { Audio_CloseStream(); }

void Terminate() {
  AudioEngine* e = Audio_GetEngine();
  MixDisk_Detach(e);
  // The delay lines took buffers for the stream's rate; the stream is closed now.
  Effects_Release(e);
  Pa_Terminate();
  selectedHostApi = -1;
}

// Makes sure the stream runs before a transport operation.
bool EnsureStreamActive(const char* caller) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return false;
  auto* stream = static_cast<PaStream*>(e->stream);
  PaError err = paBadStreamPtr;  // no stream: nothing can be started
  if (stream) {
    const PaError active = Pa_IsStreamActive(stream);
    if (active == 1) return true;
    if (active < 0) ShowPaError(active);
    err = Pa_StartStream(stream);
  }
  if (err != paNoError) {
    // A stream that cannot start is closed and forgotten: later attempts report the same
    // until the device is reopened.
    if (stream) Pa_CloseStream(stream);
    e->stream = nullptr;
    Audio_SetCallbackRunning(false);
    SettlePendingSwaps(e);
    ShowPaError(err);
    Show("Unable to start stream!", caller);
    return false;
  }
  Audio_SetCallbackRunning(true);
  return true;
}

const AudioLayer portAudioLayer{Initialize, CloseStreamHook, Terminate, EnsureStreamActive};

}  // namespace

DeviceConfiguration* Audio_GetDeviceConfiguration() { return &config; }
void DeviceConfiguration_SetInputName(const char* name) { CopyName(config.inputDeviceName, name); }
void DeviceConfiguration_SetOutputName(const char* name) { CopyName(config.outputDeviceName, name); }

void AudioIo_Install() { AudioLayer_Install(&portAudioLayer); }

bool Audio_OpenStream(double sampleRate, int channels, double latency, int inputDevice,
                      int outputDevice) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return false;
  if (e->stream) {
    Audio_Assert("Stream Still Open", "audio", __LINE__);
    return false;
  }
  if (channels != 2) {
    Audio_Assert("numChannels out of range", "audio", __LINE__);
    return false;
  }
  const DeviceBlock saved = SaveBlock(e);
  e->latency = latency;
  e->sampleRate = sampleRate;
  e->inputDevice = inputDevice;
  e->outputDevice = outputDevice;
  e->numChannels = static_cast<uint32_t>(channels);
  const double frames = sampleRate * latency;
  e->latencyFrames = frames >= 0.0 && frames < 2147483647.0 ? static_cast<int32_t>(frames) : 0;

  // Channel selectors exist only for ASIO, which no host API here provides; every other
  // host API takes no host-specific information.
  const PaStreamParameters in{inputDevice, channels, paFloat32, latency, nullptr};
  const PaStreamParameters out{outputDevice, channels, paFloat32, latency, nullptr};
  PaStream* stream = nullptr;
  const PaError err =
      Pa_OpenStream(&stream, &in, &out, sampleRate, 256, paNoFlag, StreamCallback, e);
  if (err != paNoError) {
    RestoreBlock(e, saved);
    ShowPaError(err);
    return false;
  }
  e->stream = stream;
  return true;
}

bool Audio_CloseStream() {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !e->stream) return true;
  Audio_StopLooping();
  const PaError err = Pa_CloseStream(static_cast<PaStream*>(e->stream));
  e->stream = nullptr;
  Audio_SetCallbackRunning(false);
  SettlePendingSwaps(e);
  if (err != paNoError) {
    ShowPaError(err);
    return false;
  }
  return true;
}

bool Audio_OpenDevice(double sampleRate, int channels, double latency, int inputDevice,
                      int outputDevice) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return false;
  Audio_CloseStream();
  if (selectedHostApi < 0) {
    Show("Please go to Options->Select Audio Devices\nand choose an audio device.",
         "Select an Audio Device");
    return false;
  }
  const PaDeviceInfo* in = Pa_GetDeviceInfo(inputDevice);
  if (!in) {
    Show("Portaudio could not get info for the input device.", "Audio_OpenDevice()");
    return false;
  }
  const PaDeviceInfo* out = Pa_GetDeviceInfo(outputDevice);
  if (!out) {
    Show("Portaudio could not get info for the output device.", "Audio_OpenDevice()");
    return false;
  }
  if (sampleRate < 0) sampleRate = in->defaultSampleRate;
  if (latency < 0) latency = in->defaultLowInputLatency;
  if (in->maxInputChannels < channels) {
    Show(Format("Not enough input channels\navailable to open %s.", in->name), "Audio_OpenDevice()");
    return false;
  }
  if (out->maxOutputChannels < channels) {
    Show(Format("Not enough output channels\navailable to open %s.", out->name),
         "Audio_OpenDevice()");
    return false;
  }
  if (!Audio_OpenStream(sampleRate, channels, latency, inputDevice, outputDevice)) {
    Show(Format("Unable to open device\n%s\n%s.", in->name, out->name), "Audio_OpenDevice()");
    return false;
  }
  // The stream is still stopped: the delay lines and filters take the new rate without
  // racing the callback.
  Effects_SetSampleRate(e, e->sampleRate);
  const PaError err = Pa_StartStream(static_cast<PaStream*>(e->stream));
  if (err != paNoError) {
    Pa_CloseStream(static_cast<PaStream*>(e->stream));
    e->stream = nullptr;
    Show("Unable to start stream.", "Audio_OpenDevice()");
    return false;
  }
  Audio_SetCallbackRunning(true);
  return true;
}

bool Audio_OpenConfiguredDevice() {
  // The ASIO preferred latency needs an ASIO host API, which none of the host APIs here
  // is: the flag is kept but changes nothing.
  const PaHostApiInfo* host = selectedHostApi >= 0 ? Pa_GetHostApiInfo(selectedHostApi) : nullptr;
  if (!host || host->deviceCount <= 0) return false;
  PaDeviceIndex input = paNoDevice, output = paNoDevice;
  for (int i = 0; i < host->deviceCount; ++i) {
    const PaDeviceIndex device = Pa_HostApiDeviceIndexToDeviceIndex(selectedHostApi, i);
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (!info || !info->name) continue;
    if (input == paNoDevice && std::strncmp(info->name, config.inputDeviceName, DEVICE_NAME_CHARS) == 0)
      input = device;
    if (output == paNoDevice &&
        std::strncmp(info->name, config.outputDeviceName, DEVICE_NAME_CHARS) == 0)
      output = device;
  }
  if (input == paNoDevice || output == paNoDevice) return false;
  return Audio_OpenDevice(config.sampleRate, 2, config.latency, input, output);
}

void Audio_SetLatency(double ms) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  const double minimum = static_cast<double>(0.1f);
  if (ms > 1000.0) ms = 1000.0;
  if (!(ms >= minimum)) ms = minimum;  // also a latency that is not a number
  const double previous = e->latency;
  if (Audio_OpenDevice(e->sampleRate, 2, ms * 0.001, e->inputDevice, e->outputDevice)) return;
  Show("Unable to set latency.", "Error");
  if (!Audio_OpenDevice(e->sampleRate, 2, previous, e->inputDevice, e->outputDevice))
    Show("Unable to set default latency.", "Error");
}

bool Audio_SetHostApi(int type) {
  const PaHostApiIndex index = Pa_HostApiTypeIdToHostApiIndex(static_cast<PaHostApiTypeId>(type));
  selectedHostApi = index >= 0 ? index : -1;
  return index >= 0;
}

int Audio_GetHostApiType() {
  const PaHostApiInfo* host = selectedHostApi >= 0 ? Pa_GetHostApiInfo(selectedHostApi) : nullptr;
  return host ? static_cast<int>(host->type) : -1;
}

void Audio_SetInputChannel(int channel) {
  if (AudioEngine* e = Audio_GetEngine()) {
    e->asioInputChannels[0] = channel;
    e->asioInputChannels[1] = channel + 1;
  }
}
int Audio_GetInputChannel() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->asioInputChannels[0] : 0;
}
void Audio_SetOutputChannel(int channel) {
  if (AudioEngine* e = Audio_GetEngine()) {
    e->asioOutputChannels[0] = channel;
    e->asioOutputChannels[1] = channel + 1;
  }
}
int Audio_GetOutputChannel() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->asioOutputChannels[0] : 0;
}

double Audio_GetSampleRate() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->sampleRate.load() : 0.0;
}
double Audio_GetLatency() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->latency : 0.0;
}
int Audio_GetInputDevice() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->inputDevice : paNoDevice;
}
int Audio_GetOutputDevice() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->outputDevice : paNoDevice;
}
bool Audio_IsStreamOpen() {
  AudioEngine* e = Audio_GetEngine();
  return e && e->stream;
}
double Audio_GetCpuLoad() {
  AudioEngine* e = Audio_GetEngine();
  return e && e->stream ? Pa_GetStreamCpuLoad(static_cast<PaStream*>(e->stream)) : 0.0;
}
