// Buffer memory and the hand-over of buffers between the two threads.
#include "engine/buffers.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "engine/audio.h"

namespace {
std::atomic<int> failAllocations{0};

// The last few large buffers freed, kept for the next allocation of about their size.
// A fresh allocation of a long loop is mapped from the system page by page on first
// touch, which costs far more than the copy into it (undo, resize and the buffers they
// replace come and go in pairs of the same size).
class RecycledBuffers {
 public:
  static constexpr size_t kMinimum = 1 << 20;

  void* Take(size_t bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    for (Entry& entry : entries_) {
      if (entry.buffer && entry.capacity >= bytes && entry.capacity - bytes <= bytes / 4) {
        void* buffer = entry.buffer;
        entry = {};
        return buffer;
      }
    }
    return nullptr;
  }

  // Keeps `buffer` (false: too small to be worth keeping; the caller frees it).
  bool Keep(void* buffer) {
    const size_t capacity = malloc_usable_size(buffer);
    if (capacity < kMinimum) return false;
    void* evicted;
    {
      std::lock_guard<std::mutex> guard(lock_);
      Entry& oldest = entries_[next_];
      evicted = oldest.buffer;
      oldest = {buffer, capacity};
      next_ = (next_ + 1) % kEntries;
    }
    std::free(evicted);
    return true;
  }

 private:
  static constexpr size_t kEntries = 2;
  struct Entry {
    void* buffer = nullptr;
    size_t capacity = 0;
  };
  std::mutex lock_;
  Entry entries_[kEntries];
  size_t next_ = 0;
};

RecycledBuffers recycled;

// Buffers a reader off the user-interface thread still reads (a loop being written to
// disk), and those of them already freed, which go once the reader lets them go.
class PinnedBuffers {
 public:
  void Pin(const float* buffer) {
    std::lock_guard<std::mutex> guard(lock_);
    pins_.push_back(buffer);
  }
  void Unpin(const float* buffer) {
    std::lock_guard<std::mutex> guard(lock_);
    const auto it = std::find(pins_.begin(), pins_.end(), buffer);
    if (it != pins_.end()) pins_.erase(it);
  }
  bool Pinned(const float* buffer) {
    std::lock_guard<std::mutex> guard(lock_);
    return Held(buffer);
  }
  // True when `buffer` is pinned: it is kept until let go.
  bool Defer(float* buffer) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!Held(buffer)) return false;
    deferred_.push_back(buffer);
    return true;
  }
  // The freed buffers no reader holds any more.
  std::vector<float*> TakeLetGo() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<float*> free;
    const auto letGo = std::partition(deferred_.begin(), deferred_.end(), [this](float* b) { return Held(b); });
    free.assign(letGo, deferred_.end());
    deferred_.erase(letGo, deferred_.end());
    return free;
  }

 private:
  bool Held(const float* buffer) const { return std::find(pins_.begin(), pins_.end(), buffer) != pins_.end(); }

  std::mutex lock_;
  std::vector<const float*> pins_;  // one entry per pin: a buffer may be pinned twice
  std::vector<float*> deferred_;
};

PinnedBuffers pinned;
}  // namespace

float* Audio_AllocBuffer(uint64_t bytes, bool zero) {
  if (failAllocations.load() > 0) {
    failAllocations.fetch_sub(1);
    return nullptr;
  }
  if (bytes > UINT32_MAX) return nullptr;
  const size_t size = bytes ? bytes : sizeof(float);
  if (size >= RecycledBuffers::kMinimum) {
    if (void* p = recycled.Take(size)) {
      if (zero) std::memset(p, 0, size);
      return static_cast<float*>(p);
    }
  }
  void* p = zero ? std::calloc(1, size) : std::malloc(size);
  return static_cast<float*>(p);
}

void Audio_FreeBuffer(float* buffer) {
  if (!buffer || pinned.Defer(buffer)) return;
  if (!recycled.Keep(buffer)) std::free(buffer);
}

void Audio_PinBuffer(const float* buffer) {
  if (buffer) pinned.Pin(buffer);
}

void Audio_UnpinBuffer(const float* buffer) { pinned.Unpin(buffer); }

bool Audio_BufferPinned(const float* buffer) { return buffer && pinned.Pinned(buffer); }

void Audio_FailNextAllocations(int count) { failAllocations.store(count); }

float* Audio_SwapInPendingBuffer(LoopTrack* t) {
  float* incoming = t->pNewBuffer.load(std::memory_order_acquire);
  if (!incoming) return nullptr;
  float* old = t->pBuffer;
  t->exactPosition = 0.0;
  t->pBuffer = incoming;
  t->bufferSize = t->newBufferSize;
  t->numChannels = t->newNumChannels;
  t->position = 0;
  t->lastPosition = 1;
  t->length = static_cast<int32_t>(t->newLength.load());
  if (!t->keepEditRange) {
    t->editBegin = 0;
    t->editEnd = static_cast<int32_t>(t->newLength.load());
  }
  t->keepEditRange = 0;
  t->resync = t->newResync.load();
  t->newResync = 0;
  t->newBufferSize = 0;
  t->newLength = 0;
  t->pNewBuffer.store(nullptr, std::memory_order_release);
  t->changed = 1;
  return old != incoming ? old : nullptr;
}

SlotRewrite::SlotRewrite(LoopTrack& track)
    : track_(track), generation_(track.generation.load(std::memory_order_relaxed)) {
  track_.generation.store(generation_ + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
}

// Sequentially consistent, so that a buffer retired right after is ordered against the
// start of every later callback.
SlotRewrite::~SlotRewrite() { track_.generation.store(generation_ + 2, std::memory_order_seq_cst); }

void Audio_SetCallbackRunning(bool running) {
  if (AudioEngine* e = Audio_GetEngine()) e->callbackRunning.store(running);
}

void Audio_RetireBuffer(float* buffer) {
  AudioEngine* e = Audio_GetEngine();
  if (!buffer || !e) return;
  // A callback in progress now has number `started`; once that many have finished,
  // nothing can still hold the buffer (later callbacks see the slot's new state).
  const uint64_t started = e->callbacksStarted.load();
  if (e->callbacksFinished.load() >= started) {
    Audio_FreeBuffer(buffer);
    return;
  }
  e->retiredBuffers.push_back({buffer, started});
}

void Audio_CollectGarbage() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  float* replaced;
  while (e->replacedBuffers.pop(replaced)) Audio_RetireBuffer(replaced);
  for (float* letGo : pinned.TakeLetGo()) Audio_FreeBuffer(letGo);
  const uint64_t finished = e->callbacksFinished.load();
  auto& retired = e->retiredBuffers;
  for (size_t i = 0; i < retired.size();) {
    if (finished >= retired[i].freeAfter) {
      Audio_FreeBuffer(retired[i].buffer);
      retired[i] = retired.back();
      retired.pop_back();
    } else {
      ++i;
    }
  }
}

namespace {
// Swaps a waiting buffer in on the user-interface side (no callback is running).
void SwapNow(AudioEngine* e, LoopTrack& t) {
  float* old;
  {
    std::lock_guard<std::mutex> guard(e->lock);
    // Bracketed like a slot rewrite, in case a callback runs although none was announced.
    SlotRewrite rewrite(t);
    old = Audio_SwapInPendingBuffer(&t);
  }
  Audio_RetireBuffer(old);
}
}  // namespace

void Audio_PublishBuffer(int track, float* buffer, uint32_t bytes, uint32_t frames,
                         uint32_t channels, bool keepEditRange, uint8_t resync) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || track < 0 || track >= NUM_TRACKS) return;
  LoopTrack& t = e->tracks[track];
  t.newBufferSize = bytes;
  t.newLength = frames;
  t.newNumChannels = channels;
  t.keepEditRange = static_cast<uint8_t>(keepEditRange);
  t.newResync = resync;
  {
    std::lock_guard<std::mutex> guard(e->lock);
    t.pNewBuffer.store(buffer, std::memory_order_release);
  }
  if (!e->callbackRunning.load()) SwapNow(e, t);
}

bool Audio_WaitForCallbackCycle() {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !e->callbackRunning.load()) return true;
  const uint64_t started = e->callbacksStarted.load();
  return Audio_PollUntil([&] { return e->callbacksFinished.load() >= started; },
                         std::chrono::seconds(1));
}

bool Audio_WaitForSwap(int track) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || track < 0 || track >= NUM_TRACKS) return false;
  LoopTrack& t = e->tracks[track];
  const bool swapped = Audio_PollUntil(
      [&] {
        if (!t.pNewBuffer.load(std::memory_order_acquire)) return true;
        if (e->callbackRunning.load()) return false;
        SwapNow(e, t);
        return true;
      },
      std::chrono::seconds(2));
  if (!swapped) return false;
  Audio_CollectGarbage();
  return true;
}
