#include "engine/audio_layer.h"

namespace {
const AudioLayer* installed = nullptr;
}

void AudioLayer_Install(const AudioLayer* layer) { installed = layer; }

bool AudioLayer_Initialize() {
  return !installed || !installed->initialize || installed->initialize();
}

void AudioLayer_CloseStream() {
  if (installed && installed->closeStream) installed->closeStream();
}

void AudioLayer_Terminate() {
  if (installed && installed->terminate) installed->terminate();
}

bool AudioLayer_EnsureStreamActive(const char* caller) {
  return !installed || !installed->ensureStreamActive || installed->ensureStreamActive(caller);
}

void AudioLayer_Poll() {
  if (installed && installed->poll) installed->poll();
}
