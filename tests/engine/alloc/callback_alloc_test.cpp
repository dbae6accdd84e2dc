// The audio thread never allocates or frees. This program replaces the C allocator,
// which operator new and delete use too, counts every allocation and free made while the
// stream callback runs, and drives the callback through a busy scene.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/metronome.h"
#include "support/engine_fixture.h"

namespace {
thread_local bool counting = false;
std::atomic<long> allocations{0}, frees{0};
}  // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kCounted = false;  // the sanitizer owns the allocator
#else
constexpr bool kCounted = true;
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
void* malloc(size_t n) { return allocations += counting, __libc_malloc(n); }
void* calloc(size_t n, size_t m) { return allocations += counting, __libc_calloc(n, m); }
void* realloc(void* p, size_t n) { return allocations += counting, __libc_realloc(p, n); }
void* aligned_alloc(size_t a, size_t n) { return allocations += counting, __libc_memalign(a, n); }
void free(void* p) { frees += counting && p, __libc_free(p); }
}
#endif

using CallbackAllocations = EngineTest;

TEST_F(CallbackAllocations, BusySceneAllocatesAndFreesNothingOnTheAudioSide) {
  if (!kCounted) GTEST_SKIP() << "allocations are counted without a sanitizer";
  counting = true;  // the counter itself works
  delete new std::vector<int>(100);
  counting = false;
  ASSERT_GE(allocations.exchange(0), 1);
  ASSERT_GE(frees.exchange(0), 1);

  AudioEngine* e = engine();
  e->latencyFrames = 300;
  Audio_SetBeatCallback([](int) {});
  Audio_SetMidiClockCallback([] {});
  Audio_SetInsertPassCallback([](int) {});
  Audio_SetUndoChangedCallback([](int, int, const char*, int) {});
  Audio_SetTrackChangedCallback([](int) {});
  e->mixOutput = [](void*, const float*, unsigned long) {};
  for (int i = 1; i < NUM_TRACKS; ++i) {
    ASSERT_EQ(Audio_CreateLoop(0.5, 0.9, 2, 0), i);
    Audio_SetTrackEffects(i, i % 2);
    Audio_SetTrackEffectsMix(i, 0.4);
    Audio_SetTrackPan(i, i / 9.0);
  }
  Audio_SetLoopSelection(3, 1);
  Audio_SetEditRange(3, 1000, 9000);
  Audio_SetTrackRate(4, 0.5);
  Audio_SetTrackRate(5, -1.0);
  Audio_SetLatentInput(1);
  e->metronomePlayback = e->metronomeRecord = e->reverbEnabled = 1;
  e->filterEnabled[0] = e->filterEnabled[1] = 1;
  Audio_SetCallbackRunning(true);  // swaps now happen inside the callback
  ASSERT_TRUE(Audio_RecordLooping(2));

  std::vector<float> in(2 * 1024), out(2 * 1024);
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<float>((i * 37) % 101) * 0.001f;
  const unsigned long sizes[] = {256, 64, 511, 1024, 1, 300};
  for (int i = 0; i < 3000; ++i) {
    counting = true;
    Audio_ProcessStream(e, in.data(), out.data(), sizes[i % 6]);
    counting = false;
    // The user-interface side between buffers: new buffers, cuts, resyncs, inserts.
    const int slot = 1 + i % 8, frames = 20000 + i;
    switch (i % 50) {
      case 5:
        Audio_PublishBuffer(slot, Audio_AllocBuffer(frames * 8, true), frames * 8, frames, 2, false, 1);
        break;
      case 11: Audio_SetMetronomeTime(i % 100 < 50 ? 2.0 : 1.5, 4, true); break;
      case 17: Audio_SetLoopAtPosition(2, true); break;
      case 23: Audio_RequestResync(6); break;
      case 29: Audio_InsertLooping(7); break;
      case 37: Audio_RecordLooping(2); break;
      case 41: Audio_PlayLooping(); break;
      case 47: Audio_PollChanges(); break;
      default: break;
    }
  }
  EXPECT_EQ(allocations.load(), 0);
  EXPECT_EQ(frees.load(), 0);

  // The callback did hand buffers back, and the user-interface side freed them.
  Audio_SetCallbackRunning(false);
  Audio_PollChanges();
  EXPECT_TRUE(e->retiredBuffers.empty());
}
