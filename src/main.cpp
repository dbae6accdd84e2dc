// Kestrine, a live audio looper. Until the main window exists the program initialises
// the engine, reports what it set up, and exits.
#include <cstdio>

#include "engine/audio.h"

int main() {
  if (!Audio_Init()) {
    std::fprintf(stderr, "Kestrine: the engine could not be initialised.\n");
    return 1;
  }
  AudioEngine* e = Audio_GetEngine();
  std::printf("Kestrine engine ready: %.0f Hz, metronome track in slot %d (%d frames), %d slots.\n",
              e->sampleRate.load(), e->metronomeTrack, Audio_GetLoopLength(e->metronomeTrack),
              NUM_TRACKS);
  Audio_Shutdown();
  std::printf("Kestrine engine shut down cleanly.\n");
  return 0;
}
