#pragma once
// The one audio stream of the program: a full-duplex, stereo, 32-bit float PortAudio
// stream of 256 frames per buffer whose callback renders the engine. Opened, reopened
// and closed on the user-interface thread only.
#include <cstddef>
#include <cstdint>

// The wanted device settings, kept apart from the stream's live values (the device
// configuration file reads and writes these).
inline constexpr int DEVICE_NAME_CHARS = 31;
struct DeviceConfiguration {
  double sampleRate = 48000.0;
  double latency = 0.08;  // seconds
  char inputDeviceName[DEVICE_NAME_CHARS + 1] = "none";
  char outputDeviceName[DEVICE_NAME_CHARS + 1] = "none";
  uint8_t useAsioPreferredLatency = 0;
  // The round trip measured on these devices at this rate, in frames: recording is moved
  // back by it. -1: never measured, the latencies the device reports stand in for it.
  int32_t measuredLatencyFrames = -1;
};

DeviceConfiguration* Audio_GetDeviceConfiguration();
// Stores a wanted device name, cut to at most 31 bytes.
void DeviceConfiguration_SetInputName(const char* name);
void DeviceConfiguration_SetOutputName(const char* name);
// The bytes of `name` (UTF-8) kept when it is cut to 31: never half a character, so that
// the same device name cut again compares equal.
size_t DeviceName_CutLength(const char* name);

// Installs the PortAudio layer into the engine: Audio_Init then initialises PortAudio
// (and the mix-to-disk writer), Audio_Shutdown closes the stream and terminates it, and
// transport operations restart an inactive stream. Call before Audio_Init.
void AudioIo_Install();

// User-interface timer (also run by Audio_PollChanges): notices a stream that stopped
// on its own (device unplugged, audio server gone). Its handle is then released without
// blocking, the transport stops, waiting buffers are swapped in and one message tells
// the user; opening a device again brings sound back.
void AudioDevice_Poll();

// Opens the device that the configuration and the selected host API name. False, with
// no message, when the names are not found there (the caller reports).
bool Audio_OpenConfiguredDevice();
// Closes any open stream, opens a new one and starts it. A negative sample rate or
// latency stands for the input device's default.
bool Audio_OpenDevice(double sampleRate, int channels, double latency, int inputDevice,
                      int outputDevice);
// Opens the stream without starting it. On failure the device fields stay as they were.
bool Audio_OpenStream(double sampleRate, int channels, double latency, int inputDevice,
                      int outputDevice);
bool Audio_CloseStream();
// Reopens the stream at `milliseconds` (limited to 0.1..1000), falling back to the
// latency it had when that fails.
void Audio_SetLatency(double milliseconds);

// Selects the host API of PortAudio type `type` (8 ALSA, 7 OSS, 12 JACK); false, and no
// host API selected, when PortAudio has none of that type.
bool Audio_SetHostApi(int type);
int Audio_GetHostApiType();  // -1 when none is selected
// The host API type of ASIO, the only driver with a control panel and channel selectors;
// it never exists on this platform.
inline constexpr int kAsioHostApiType = 3;
void Audio_SetInputChannel(int channel);
int Audio_GetInputChannel();
void Audio_SetOutputChannel(int channel);
int Audio_GetOutputChannel();
double Audio_GetSampleRate();
double Audio_GetLatency();
int Audio_GetInputDevice();
int Audio_GetOutputDevice();
bool Audio_IsStreamOpen();
// How far recording is moved back to line up with what was played, in frames: the
// measured round trip, else the input plus output latency the open stream reports (the
// requested latency when it reports none).
int32_t Audio_GetLatencyFrames();
// The round trip of the open stream as PortAudio reports it (-1 without a stream).
int32_t Audio_GetReportedLatencyFrames();
// Stores a measured round trip (-1 forgets it) and applies it to recording at once.
void Audio_SetMeasuredLatency(int32_t frames);
// A stream was started and has not stopped on its own.
bool Audio_IsStreamRunning();
// Starts PortAudio afresh so that the host APIs and devices it offers are those of now
// (it reads them only when it starts): a JACK server started or restarted since, a device
// plugged in. Its JACK client is named "Kestrine" on every start. The selected host API
// and the engine's devices are found again by type and name. Only without a stream;
// false when there is one, when the audio layer is not up, or when it could not restart
// (reported).
bool Audio_Rescan();
double Audio_GetCpuLoad();
