#pragma once
// What the engine asks of the audio layer (device and stream), installed by that layer
// so the engine itself stays free of PortAudio. With nothing installed the engine runs
// without a device: initialising succeeds, there is no stream to close, and transport
// operations proceed (a test or a headless host drives Audio_ProcessStream itself).
struct AudioLayer {
  bool (*initialize)() = nullptr;   // open the audio layer; false after reporting why
  void (*closeStream)() = nullptr;  // stop and close the stream, if one is open
  void (*terminate)() = nullptr;    // close the audio layer
  // Makes sure the stream is active before a transport operation; false when it could
  // not be started (after the messages naming `caller`).
  bool (*ensureStreamActive)(const char* caller) = nullptr;
  // Periodic user-interface service, run first by Audio_PollChanges (notices a stream
  // that stopped on its own).
  void (*poll)() = nullptr;
};

void AudioLayer_Install(const AudioLayer* layer);
bool AudioLayer_Initialize();
void AudioLayer_CloseStream();
void AudioLayer_Terminate();
bool AudioLayer_EnsureStreamActive(const char* caller);
void AudioLayer_Poll();
