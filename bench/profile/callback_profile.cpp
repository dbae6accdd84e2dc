// Runs the callback benchmark's scene for a fixed number of calls, through the engine's
// callback, the per-frame reference or the floor kernel, for instruction counts that the
// machine's load cannot disturb:
//   valgrind --tool=callgrind --toggle-collect='Audio_ProcessStream*'
//       build/bench/callback_profile engine 256 2000
// (Reference_ProcessStream* with `reference`, FloorKernel::Run* with `floor`). `seams`
// runs the engine with 5 ms seam crossfades on; `fading` also mutes or unmutes one track
// before every call, so that a fade runs in each; `midiclock` follows a 120 BPM MIDI
// clock handed over as the MIDI input would, locked before the counted calls.
// Instructions per call = total / calls.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "callback_scene.h"
#include "control/midi_clock_in.h"
#include "engine/sync_follow.h"
#include "reference/reference_callback.h"

namespace {

constexpr int64_t kT0 = 1000LL * 1000000000LL;

int64_t FrameClock(void*, uint64_t frame, double rate) {
  return kT0 + static_cast<int64_t>(static_cast<double>(frame) * 1e9 / rate + 0.5);
}

}  // namespace

int main(int argc, char** argv) {
  const char* who = argc == 4 ? argv[1] : "";
  const bool seams = std::strcmp(who, "seams") == 0, fading = std::strcmp(who, "fading") == 0;
  const bool follow = std::strcmp(who, "midiclock") == 0;
  if (std::strcmp(who, "engine") != 0 && std::strcmp(who, "reference") != 0 && std::strcmp(who, "floor") != 0 &&
      !seams && !fading && !follow) {
    std::fprintf(stderr, "usage: %s engine|reference|floor|seams|fading|midiclock FRAMES CALLS\n", argv[0]);
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
  MidiClockIn clock;
  int64_t nextTick = kT0;
  auto ticks = [&] {  // the ticks due by this block, as the MIDI input hands them over
    const int64_t now = FrameClock(nullptr, e->sync.frame, 48000.0);
    for (; nextTick <= now; nextTick += 20833333) clock.Receive(0xF8, nextTick);
  };
  if (follow) {
    SyncFollow_UseClock(e, FrameClock, nullptr);
    SyncFollow_Attach(e, &clock);
    clock.Receive(0xFA, kT0 - 1000000);
    // Two seconds to lock, outside the counted calls (callgrind counts Audio_ProcessStream
    // from here on too: run with --collect-atstart=no and the toggle, as above).
    for (unsigned long done = 0; done < 96000; done += frames) {
      ticks();
      Audio_ProcessStream(e, in.data(), out.data(), frames);
    }
    if (!e->sync.rolling) {
      std::fprintf(stderr, "the clock was never followed\n");
      return 1;
    }
  }
  for (long i = 0; i < calls; ++i) {
    if (follow) ticks();
    if (fading) Audio_SetTrackVolume(1 + static_cast<int>(i % 8), (i / 8) % 2 ? 1.0 : 0.0);
    if (reference)
      Reference_ProcessStream(e, in.data(), out.data(), frames);
    else
      Audio_ProcessStream(e, in.data(), out.data(), frames);
  }
  std::printf("%g\n", static_cast<double>(out[0]));
  if (follow) SyncFollow_Detach(e);
  CallbackScene_End();
  return 0;
}
