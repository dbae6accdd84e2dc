#pragma once
// The callback benchmark's scene: eight stereo 4 s tracks at 48 kHz playing, track 3
// recording with feedback, the effects bus idle. Shared by the benchmark and the
// instruction-count driver so that both measure the same work.
#include <algorithm>
#include <vector>

#include "engine/audio.h"

inline AudioEngine* CallbackScene_Start() {
  Audio_Init();
  AudioEngine* e = Audio_GetEngine();
  e->latencyFrames = 3840;
  for (int i = 1; i < NUM_TRACKS; ++i) {
    Audio_CreateLoop(4.0, 0.9, 2, 0);
    float* buffer = e->tracks[i].pBuffer;
    for (int s = 0; s < e->tracks[i].length * 2; ++s) buffer[s] = static_cast<float>((s * i) % 200) * 0.001f;
    Audio_SetTrackPan(i, i / 9.0);
  }
  Audio_RecordLooping(3);
  return e;
}

inline void CallbackScene_End() {
  Audio_StopLooping();
  Audio_Shutdown();
}

// The floor: the same arithmetic as the scene with nothing else, a plain kernel the
// compiler sees whole. Eight stereo tracks read contiguously, double-precision gains,
// float accumulation into the output (the scene's tracks do not send to the effects bus),
// the meter as a branchless maximum, one track overdubbed with feedback. No wraps, no
// state, no settings read; whatever the compiler makes of it at -O2.
struct FloorKernel {
  static constexpr int kTracks = 8;
  static constexpr long kLength = 4 * 48000;
  static constexpr long kLatency = 3840;

  explicit FloorKernel(unsigned long frames)
      : frames(frames), tracks(kTracks, std::vector<float>(2 * kLength)), in(2 * frames, 0.1f), out(2 * frames) {
    for (int i = 0; i < kTracks; ++i)
      for (long s = 0; s < 2 * kLength; ++s) tracks[i][s] = static_cast<float>((s * (i + 1)) % 200) * 0.001f;
  }

  __attribute__((noinline)) void Run() {
    if (position + static_cast<long>(frames) > kLength) position = kLatency;
    std::fill(out.begin(), out.end(), 0.0f);
    for (int i = 0; i < kTracks; ++i) {
      float* head = tracks[i].data() + 2 * position;
      const double g0 = 0.9 * (1.0 - i / 9.0), g1 = 0.9 * (i / 9.0);
      double peak = peaks[i];
      for (unsigned long f = 0; f < frames; ++f) {
        const double s0 = head[2 * f] * g0, s1 = head[2 * f + 1] * g1;
        out[2 * f] += static_cast<float>(s0);
        out[2 * f + 1] += static_cast<float>(s1);
        const double m = (s0 + s1) * 0.5;
        peak = m > peak ? m : peak;
      }
      if (i == 2) {  // the overdub, the stream's latency behind the head
        float* target = head - 2 * kLatency;
        for (unsigned long f = 0; f < frames; ++f) {
          head[2 * f] = static_cast<float>(head[2 * f] * 0.9);
          head[2 * f + 1] = static_cast<float>(head[2 * f + 1] * 0.9);
          target[2 * f] += in[2 * f];
          target[2 * f + 1] += in[2 * f + 1];
        }
      }
      peaks[i] = peak;
    }
    position += static_cast<long>(frames);
  }

  unsigned long frames;
  std::vector<std::vector<float>> tracks;
  std::vector<float> in, out;
  double peaks[kTracks] = {};
  long position = kLatency;
};
