#include "audio_io/audio_device.h"

#include <pa_jack.h>
#include <portaudio.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio_io/jack_client_loss.h"
#include "audio_io/mix_disk_writer.h"
#include "engine/audio.h"
#include "engine/audio_layer.h"
#include "engine/effects_ops.h"
#include "engine/message_dialog.h"

namespace {

DeviceConfiguration config;
PaHostApiIndex selectedHostApi = -1;  // index of the selected host API, -1: none
bool portAudioUp = false;             // between a successful Pa_Initialize and Pa_Terminate

// The JACK client's name, as a patchbay shows it (ports Kestrine:in_0 ...). PortAudio
// keeps the pointer, not a copy.
constexpr const char* kJackClientName = "Kestrine";

// The stream's life beside the handle in the engine record.
bool streamStarted = false;                      // user-interface thread only
std::atomic<AudioEngine*> runningEngine{nullptr};  // the engine of a started stream
std::atomic<bool> streamLost{false};             // it stopped without being asked to
std::atomic<bool> closingOnPurpose{false};       // a stop we asked for is under way
// A dead stream's close never came back: that thread may still be inside PortAudio, so
// PortAudio is neither terminated nor initialised again.
bool releaseStuck = false;

constexpr const char* kDeviceStopped =
    "The audio device stopped. Choose a device in Options->Select Audio Devices.";

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
  const size_t n = DeviceName_CutLength(name);
  if (n) std::memcpy(to, name, n);
  to[n] = '\0';
}

// Whether a device called `name` is the one a configuration calls `wanted` (which was
// cut when it was stored).
bool SameDevice(const char* name, const char* wanted) {
  const size_t n = DeviceName_CutLength(name);
  return std::strlen(wanted) == n && std::memcmp(name, wanted, n) == 0;
}

// The first device of the selected host API called `wanted`, or paNoDevice.
PaDeviceIndex FindDevice(const char* wanted) {
  const PaHostApiInfo* host = selectedHostApi >= 0 ? Pa_GetHostApiInfo(selectedHostApi) : nullptr;
  for (int i = 0; host && i < host->deviceCount; ++i) {
    const PaDeviceIndex device = Pa_HostApiDeviceIndexToDeviceIndex(selectedHostApi, i);
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (info && info->name && SameDevice(info->name, wanted)) return device;
  }
  return paNoDevice;
}

// The round trip PortAudio reports for the open stream, in frames; -1 when it reports none.
int32_t ReportedFrames() {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !e->stream) return -1;
  const PaStreamInfo* info = Pa_GetStreamInfo(static_cast<PaStream*>(e->stream));
  if (!info) return -1;
  const double frames = (info->inputLatency + info->outputLatency) * info->sampleRate;
  if (!(frames > 0.0) || frames >= 2147483647.0) return -1;
  return static_cast<int32_t>(std::llround(frames));
}

// How far recording is moved back: the measured round trip, else the reported one, else
// the requested latency (rounded, so that a value written in milliseconds and read back
// gives the same frames).
int32_t CompensationFrames() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return 0;
  if (config.measuredLatencyFrames >= 0) return config.measuredLatencyFrames;
  const int32_t reported = ReportedFrames();
  if (reported >= 0) return reported;
  const double frames = e->sampleRate * e->latency;
  return frames >= 0.0 && frames < 2147483647.0 ? static_cast<int32_t>(std::llround(frames)) : 0;
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

// Any thread: the stream stopped on its own. From now on nothing waits for the callback
// (published buffers are swapped in on the user-interface side); the next poll lets go
// of the stream and tells the user.
void MarkStreamLost() {
  if (AudioEngine* e = runningEngine.load()) {
    streamLost.store(true);
    e->callbackRunning.store(false);
  }
}

// PortAudio's thread: called when the stream ends, asked for or not.
void OnStreamFinished(void*) {
  if (!closingOnPurpose.load()) MarkStreamLost();
}

// Pa_StartStream with the loss signals armed first, so that a stream dying at once is
// not taken for a running one.
PaError StartStream(AudioEngine* e, PaStream* stream) {
  streamLost.store(false);
  runningEngine.store(e);
  const PaError err = Pa_StartStream(stream);
  if (err == paNoError) {
    streamStarted = true;
    Audio_SetCallbackRunning(!streamLost.load());
  }
  return err;
}

void MarkStopped() {
  streamStarted = false;
  runningEngine.store(nullptr);
  streamLost.store(false);
  Audio_SetCallbackRunning(false);
}

// A started stream that no longer runs although nobody stopped it: the device or the
// server went away.
bool StoppedOnItsOwn(AudioEngine* e) {
  if (!e->stream || !streamStarted) return false;
  return streamLost.load() || Pa_IsStreamActive(static_cast<PaStream*>(e->stream)) != 1;
}

// Stops and closes `stream` on a helper thread and waits at most `limit` for it. A
// stream whose device or server is gone can keep a close waiting for minutes inside
// PortAudio; one that does not come back in time is abandoned (paTimedOut).
PaError ReleaseStream(PaStream* stream, std::chrono::milliseconds limit) {
  struct Release {
    std::mutex lock;
    bool stopped = false;  // past the stop: the stream is about to be freed
    std::atomic<bool> done{false};
    PaError result = paNoError;
  };
  auto release = std::make_shared<Release>();
  closingOnPurpose.store(true);
  std::thread worker([release, stream] {
    Pa_AbortStream(stream);
    {
      std::lock_guard<std::mutex> guard(release->lock);
      release->stopped = true;
    }
    release->result = Pa_CloseStream(stream);
    release->done.store(true);
  });
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!release->done.load() && std::chrono::steady_clock::now() < deadline) {
    {
      // A stop on a lost JACK client waits for a process callback that never comes;
      // this also covers a server that dies while a close is under way.
      std::lock_guard<std::mutex> guard(release->lock);
      if (!release->stopped) JackClientLoss_WakePortAudio();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  PaError result = paTimedOut;
  if (release->done.load()) {
    worker.join();
    result = release->result;
  } else {
    worker.detach();
    releaseStuck = true;
  }
  closingOnPurpose.store(false);
  return result;
}

// How long a close may take: a dead stream gets a second, a running one longer.
constexpr std::chrono::milliseconds kDeadStreamClose{1000};
constexpr std::chrono::milliseconds kStreamClose{10000};

// Buffers published while the stream ran and not yet taken are swapped in now that no
// callback will take them.
void SettlePendingSwaps(AudioEngine* e) {
  for (int i = 0; i < NUM_TRACKS; ++i)
    if (e->tracks[i].pNewBuffer.load()) Audio_WaitForSwap(i);
}

// Lets go of a stream that stopped on its own: the transport stops (a take in progress
// is kept), waiting buffers are swapped in, and the handle is released without waiting
// on it for long. `report` shows the one message of the loss.
void DropLostStream(AudioEngine* e, bool report) {
  auto* stream = static_cast<PaStream*>(e->stream);
  e->stream = nullptr;
  MarkStopped();
  Audio_StopLooping();
  SettlePendingSwaps(e);
  ReleaseStream(stream, kDeadStreamClose);
  // Shown last: the message loop runs while it is up, and the stream is gone by then.
  if (report) Show(kDeviceStopped, "Error");
}

// Every start of PortAudio: its JACK client takes the program's name first.
bool StartPortAudio() {
  PaJack_SetClientName(kJackClientName);
  portAudioUp = Pa_Initialize() == paNoError;
  if (!portAudioUp) Show("PortAudio initialization failed", "Unable to initialize Portaudio");
  return portAudioUp;
}

// PortAudio stopped and started again, which is how it sees devices and servers that
// came or went (and how a lost JACK client is replaced). The selected host API is found
// again by type, `input` and `output` by name: indices may change.
bool RestartPortAudio(PaDeviceIndex* input, PaDeviceIndex* output) {
  const PaDeviceInfo* in = Pa_GetDeviceInfo(*input);
  const PaDeviceInfo* out = Pa_GetDeviceInfo(*output);
  const std::string inName = in && in->name ? in->name : "";
  const std::string outName = out && out->name ? out->name : "";
  const int type = Audio_GetHostApiType();
  Pa_Terminate();
  JackClientLoss_Reset();
  selectedHostApi = -1;
  if (!StartPortAudio()) return false;
  if (type >= 0) Audio_SetHostApi(type);
  char name[DEVICE_NAME_CHARS + 1];
  CopyName(name, inName.c_str());
  *input = FindDevice(name);
  CopyName(name, outName.c_str());
  *output = FindDevice(name);
  return true;
}

// After the JACK client was lost PortAudio can only open streams again from a fresh
// start.
bool RestartAfterClientLoss(PaDeviceIndex* input, PaDeviceIndex* output) {
  if (!JackClientLoss_Happened() || releaseStuck) return true;
  return RestartPortAudio(input, output);
}

bool Initialize() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return false;
  JackClientLoss_SetHandler(MarkStreamLost);
  if (!StartPortAudio()) return false;
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

// At exit a lost stream is let go of without a message.
void CloseStreamHook() {
  AudioEngine* e = Audio_GetEngine();
  if (e && StoppedOnItsOwn(e)) DropLostStream(e, false);
  Audio_CloseStream();
}

void Terminate() {
  AudioEngine* e = Audio_GetEngine();
  MixDisk_Detach(e);
  // The delay lines took buffers for the stream's rate; the stream is closed now.
  Effects_Release(e);
  if (!releaseStuck) {
    Pa_Terminate();
    JackClientLoss_Reset();
  }
  portAudioUp = false;
  selectedHostApi = -1;
}

// Makes sure the stream runs before a transport operation.
bool EnsureStreamActive(const char* caller) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return false;
  if (StoppedOnItsOwn(e)) {
    DropLostStream(e, true);
    return false;
  }
  auto* stream = static_cast<PaStream*>(e->stream);
  if (!stream) {
    // No device chosen, or the last one was lost: what to do, not PortAudio's texts
    // about a stream pointer.
    Show("No audio device is running.\nChoose one in Options->Select Audio Devices.", caller);
    return false;
  }
  const PaError active = Pa_IsStreamActive(stream);
  if (active == 1) return true;
  if (active < 0) ShowPaError(active);
  const PaError err = StartStream(e, stream);
  if (err != paNoError) {
    // A stream that cannot start is closed and forgotten: later attempts are told that
    // no device runs until the device is reopened.
    e->stream = nullptr;
    MarkStopped();
    SettlePendingSwaps(e);
    ReleaseStream(stream, kDeadStreamClose);
    ShowPaError(err);
    Show("Unable to start stream!", caller);
    return false;
  }
  return true;
}

// The user-interface timer's look at the stream.
void Poll() {
  AudioEngine* e = Audio_GetEngine();
  if (e && StoppedOnItsOwn(e)) DropLostStream(e, true);
}

const AudioLayer portAudioLayer{Initialize, CloseStreamHook, Terminate, EnsureStreamActive, Poll};

}  // namespace

DeviceConfiguration* Audio_GetDeviceConfiguration() { return &config; }
void DeviceConfiguration_SetInputName(const char* name) { CopyName(config.inputDeviceName, name); }
void DeviceConfiguration_SetOutputName(const char* name) { CopyName(config.outputDeviceName, name); }

void AudioIo_Install() { AudioLayer_Install(&portAudioLayer); }

size_t DeviceName_CutLength(const char* name) {
  if (!name) return 0;
  size_t n = strnlen(name, DEVICE_NAME_CHARS + 1);
  if (n <= DEVICE_NAME_CHARS) return n;
  // Too long: cut at 31 bytes, stepping back over the continuation bytes of a
  // character that the cut would split, and over that character's first byte.
  n = DEVICE_NAME_CHARS;
  size_t start = n;
  while (start > 0 && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80) --start;
  return start;
}

void AudioDevice_Poll() { Poll(); }

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
  Pa_SetStreamFinishedCallback(stream, OnStreamFinished);
  e->stream = stream;
  e->latencyFrames = CompensationFrames();
  MixDisk_StreamOpened(sampleRate);
  return true;
}

bool Audio_CloseStream() {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !e->stream) return true;
  if (StoppedOnItsOwn(e)) {
    DropLostStream(e, true);
    return true;
  }
  Audio_StopLooping();
  const PaError err = ReleaseStream(static_cast<PaStream*>(e->stream), kStreamClose);
  e->stream = nullptr;
  MarkStopped();
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
  if (!RestartAfterClientLoss(&inputDevice, &outputDevice)) return false;
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
  auto* stream = static_cast<PaStream*>(e->stream);
  if (StartStream(e, stream) != paNoError) {
    e->stream = nullptr;
    MarkStopped();
    ReleaseStream(stream, kDeadStreamClose);
    Show("Unable to start stream.", "Audio_OpenDevice()");
    return false;
  }
  return true;
}

bool Audio_OpenConfiguredDevice() {
  // The ASIO preferred latency needs an ASIO host API, which none of the host APIs here
  // is: the flag is kept but changes nothing.
  const PaDeviceIndex input = FindDevice(config.inputDeviceName);
  const PaDeviceIndex output = FindDevice(config.outputDeviceName);
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

bool Audio_IsStreamRunning() {
  AudioEngine* e = Audio_GetEngine();
  return e && e->stream && streamStarted && !StoppedOnItsOwn(e);
}

bool Audio_Rescan() {
  AudioEngine* e = Audio_GetEngine();
  if (!e || e->stream || !portAudioUp || releaseStuck) return false;
  PaDeviceIndex input = e->inputDevice, output = e->outputDevice;
  if (!RestartPortAudio(&input, &output)) return false;
  e->inputDevice = input;
  e->outputDevice = output;
  return true;
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
int32_t Audio_GetLatencyFrames() {
  AudioEngine* e = Audio_GetEngine();
  return e ? e->latencyFrames.load() : 0;
}

int32_t Audio_GetReportedLatencyFrames() { return ReportedFrames(); }

void Audio_SetMeasuredLatency(int32_t frames) {
  config.measuredLatencyFrames = frames >= 0 ? frames : -1;
  AudioEngine* e = Audio_GetEngine();
  if (e && e->stream) e->latencyFrames = CompensationFrames();
}

double Audio_GetCpuLoad() {
  AudioEngine* e = Audio_GetEngine();
  return e && e->stream ? Pa_GetStreamCpuLoad(static_cast<PaStream*>(e->stream)) : 0.0;
}
