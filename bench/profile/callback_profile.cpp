// Runs the callback benchmark's scene for a fixed number of calls, through the engine's
// callback, the per-frame reference or the floor kernel, for instruction counts that the
// machine's load cannot disturb:
//   valgrind --tool=callgrind --toggle-collect='Audio_ProcessStream*'
//       build/bench/callback_profile engine 256 2000
// (Reference_ProcessStream* with `reference`, FloorKernel::Run* with `floor`). `seams`
// runs the engine with 5 ms seam crossfades on; `fading` also mutes or unmutes one track
// before every call, so that a fade runs in each.
// Instructions per call = total / calls.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "callback_scene.h"
#include "reference/reference_callback.h"

int main(int argc, char** argv) {
  const char* who = argc == 4 ? argv[1] : "";
  const bool seams = std::strcmp(who, "seams") == 0, fading = std::strcmp(who, "fading") == 0;
  if (std::strcmp(who, "engine") != 0 && std::strcmp(who, "reference") != 0 && std::strcmp(who, "floor") != 0 &&
      !seams && !fading) {
    std::fprintf(stderr, "usage: %s engine|reference|floor|seams|fading FRAMES CALLS\n", argv[0]);
    return 2;
  }
  const bool reference = std::strcmp(who, "reference") == 0;
  const unsigned long frames = std::strtoul(argv[2], nullptr, 10);
  const long calls = std::strtol(argv[3], nullptr, 10);
  if (std::strcmp(who, "floor") == 0) {
    FloorKernel floor(frames);
    for (long i = 0; i < calls; ++i) floor.Run();
    std::printf("%g %g\n", static_cast<double>(floor.out[0]), floor.peaks[0]);
    return 0;
  }
  AudioEngine* e = CallbackScene_Start();
  if (seams || fading) Audio_SetSeamCrossfade(5);
  std::vector<float> in(2 * frames, 0.1f), out(2 * frames);
  for (long i = 0; i < calls; ++i) {
    if (fading) Audio_SetTrackVolume(1 + static_cast<int>(i % 8), (i / 8) % 2 ? 1.0 : 0.0);
    if (reference)
      Reference_ProcessStream(e, in.data(), out.data(), frames);
    else
      Audio_ProcessStream(e, in.data(), out.data(), frames);
  }
  std::printf("%g\n", static_cast<double>(out[0]));
  CallbackScene_End();
  return 0;
}
