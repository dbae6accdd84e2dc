// Kestrine, a live audio looper. Until the main window exists the program initialises
// the engine and the audio layer, reports what it set up, and exits.
#include <cstdio>

#include "audio_io/audio_device.h"
#include "engine/audio.h"

int main() {
  AudioIo_Install();
  if (!Audio_Init()) {
    std::fprintf(stderr, "Kestrine: the engine could not be initialised.\n");
    return 1;
  }
  AudioEngine* e = Audio_GetEngine();
  std::printf("Kestrine engine ready: %.0f Hz, %d track slots, metronome track in slot %d (%d frames).\n",
              e->sampleRate.load(), NUM_TRACKS, e->metronomeTrack, Audio_GetLoopLength(e->metronomeTrack));
  std::printf("Audio layer initialised; host API type %d selected, no stream opened yet.\n",
              Audio_GetHostApiType());
  Audio_Shutdown();
  std::printf("Kestrine shut down cleanly.\n");
  return 0;
}
