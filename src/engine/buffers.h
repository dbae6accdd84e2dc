#pragma once
// Audio buffer memory: allocated and freed on the user-interface thread only.
#include <cstdint>

struct AudioEngine;
struct LoopTrack;

// Allocates `bytes` of audio (zeroed when asked); null on failure or when a test has
// asked for failures. A size of 0 still returns a valid, freeable buffer.
float* Audio_AllocBuffer(uint64_t bytes, bool zero);
void Audio_FreeBuffer(float* buffer);

// Test hook: the next `count` allocations fail, as if memory were short.
void Audio_FailNextAllocations(int count);

// The swap of a pending buffer into a slot: the callback's code, also run on the user-
// interface side when no callback is running. The caller holds the engine lock. Returns
// the replaced buffer (null when none, or when it is the new buffer itself).
float* Audio_SwapInPendingBuffer(LoopTrack* track);
