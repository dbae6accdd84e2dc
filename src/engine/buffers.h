#pragma once
// Audio buffer memory: allocated and freed on the user-interface thread only.
#include <chrono>
#include <cstdint>
#include <thread>

struct AudioEngine;
struct LoopTrack;

// Allocates `bytes` of audio (zeroed when asked); null on failure or when a test has
// asked for failures. A size of 0 still returns a valid, freeable buffer.
float* Audio_AllocBuffer(uint64_t bytes, bool zero);
// A pinned buffer is kept until it is let go.
void Audio_FreeBuffer(float* buffer);

// Pins a buffer that a thread other than these two reads (a loop being written to disk):
// freeing it is put off until it is let go (Audio_CollectGarbage frees it then), and
// edits that would write into it wait. User-interface thread; Audio_UnpinBuffer from the
// reading thread, Audio_BufferPinned from any thread but the audio thread. A buffer
// pinned twice stays pinned until let go twice.
void Audio_PinBuffer(const float* buffer);
void Audio_UnpinBuffer(const float* buffer);
bool Audio_BufferPinned(const float* buffer);

// A byte count derived from a time, cut down to whole frames of `channels` samples, so
// that every copy, repeat and length the engine derives from it moves whole frames.
inline uint64_t Audio_WholeFrameBytes(uint64_t bytes, uint32_t channels) {
  const uint64_t frameBytes = static_cast<uint64_t>(channels) * sizeof(float);
  return frameBytes ? bytes - bytes % frameBytes : 0;
}

// Test hook: the next `count` allocations fail, as if memory were short.
void Audio_FailNextAllocations(int count);

// The swap of a pending buffer into a slot: the callback's code, also run on the user-
// interface side when no callback is running. The caller holds the engine lock. Returns
// the replaced buffer (null when none, or when it is the new buffer itself).
float* Audio_SwapInPendingBuffer(LoopTrack* track);

// Brackets a rewrite of a slot's buffer fields outside a swap (creating or deleting the
// loop): the slot's generation is odd meanwhile, so a callback skips the slot for that
// buffer instead of pairing old and new fields.
class SlotRewrite {
 public:
  explicit SlotRewrite(LoopTrack& track);
  ~SlotRewrite();
  SlotRewrite(const SlotRewrite&) = delete;
  SlotRewrite& operator=(const SlotRewrite&) = delete;

 private:
  LoopTrack& track_;
  uint32_t generation_;
};

// A user-interface side wait for something the callback does: polls `done` until it
// holds (true) or `timeout` passes (false). `done` itself decides what to do when no
// callback runs, so nothing ever waits for a callback that will not come.
template <class Done>
bool Audio_PollUntil(Done done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}
