#pragma once
// The longest loop (240 s stereo, 92 MB) for the benchmarks of its operations and undo.
#include <cstdint>

#include "engine/audio.h"
#include "engine/undo.h"

inline constexpr double kLongest = 240.0;

// An engine with one 240 s stereo loop as the record track and the history started.
struct LongLoop {
  LongLoop() {
    Audio_Init();
    track = Audio_CreateLoop(kLongest, 0.9, 2, 0);
    LoopTrack& t = Audio_GetEngine()->tracks[track];
    for (uint32_t i = 0; i < t.bufferSize / 4; ++i) t.pBuffer[i] = static_cast<float>(i % 977) / 977.0f;
    Audio_SelectRecordTrack(track);
    Audio_ResetUndo();
  }
  ~LongLoop() { Audio_Shutdown(); }
  LongLoop(const LongLoop&) = delete;
  LongLoop& operator=(const LongLoop&) = delete;
  LoopTrack& t() const { return Audio_GetEngine()->tracks[track]; }
  uint32_t bytes() const { return t().bufferSize; }
  int track = -1;
};
