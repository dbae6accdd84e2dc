#pragma once
// The callback benchmark's scene: eight stereo 4 s tracks at 48 kHz playing, track 3
// recording with feedback, the effects bus idle. Shared by the benchmark and the
// instruction-count driver so that both measure the same work.
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
