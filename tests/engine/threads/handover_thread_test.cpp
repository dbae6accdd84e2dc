// The callback on its own thread while the user-interface side creates, deletes, resizes,
// swaps, cuts and rebuilds loops, and arms and cancels latency measurements. The audio
// thread never allocates or frees: this program replaces the C allocator (which operator
// new and delete use) and counts what that thread allocates. Under ThreadSanitizer or
// AddressSanitizer (which own the allocator, so nothing is counted) it shows that no
// buffer is freed while the callback may still read it and that the hand-over is
// properly synchronised.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/latency_probe.h"
#include "engine/metronome.h"
#include "engine/round_trip.h"
#include "support/scripted_dialog.h"

namespace {
thread_local bool counting = false;
std::atomic<long> allocations{0}, frees{0};
}  // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kCounted = false;
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

TEST(HandoverThreads, SlotsAreRewrittenWhileTheCallbackRunsAndItAllocatesNothing) {
  counting = true;  // the counter itself works
  delete new std::vector<int>(100);
  counting = false;
  ASSERT_TRUE(!kCounted || (allocations.exchange(0) >= 1 && frees.exchange(0) >= 1));

  ScriptedDialog dialog;
  ASSERT_TRUE(Audio_Init());
  AudioEngine* e = Audio_GetEngine();
  e->latencyFrames = 100;
  Audio_SetBeatCallback([](int) {});
  Audio_SetMidiClockCallback([](uint32_t) {});
  Audio_SetInsertPassCallback([](int) {});
  Audio_SetUndoChangedCallback([](int, int, const char*, int) {});
  Audio_SetTrackChangedCallback([](int) {});
  e->mixOutput = [](void*, const float*, unsigned long) {};
  for (int i = 1; i < NUM_TRACKS; ++i) {
    ASSERT_EQ(Audio_CreateLoop(0.2, 0.8, 2, 0), i);
    Audio_SetTrackEffects(i, i % 2);
    Audio_SetTrackEffectsMix(i, 0.4);
    Audio_SetTrackRate(i, i == 4 ? 0.5 : i == 5 ? -1.0 : 1.0);
  }
  Audio_SetLoopSelection(3, 1);
  Audio_SetEditRange(3, 1000, 9000);
  Audio_SetLatentInput(1);
  Audio_SetSeamCrossfade(5);  // fades and tails run through all of the below
  e->metronomePlayback = e->metronomeRecord = e->reverbEnabled = 1;
  e->filterEnabled[0] = e->filterEnabled[1] = 1;
  Audio_SetCallbackRunning(true);
  ASSERT_TRUE(Audio_RecordLooping(1));

  const std::vector<float> signal = RoundTrip_TestSignal(2048);
  long measured = 0;
  std::atomic<bool> stop{false};
  std::atomic<long> callbacks{0};
  std::thread audio([&] {
    std::vector<float> in(2 * 1024), out(2 * 1024);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<float>((i * 37) % 101) * 0.001f;
    const unsigned long sizes[] = {256, 64, 511, 1024, 1, 300};
    counting = true;  // this thread's allocations only
    for (long i = 0; !stop; ++i) {
      Audio_ProcessStream(e, in.data(), out.data(), sizes[i % 6]);
      ++callbacks;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    counting = false;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  for (int i = 0; std::chrono::steady_clock::now() < deadline && i < 4000; ++i) {
    const int slot = 2 + i % 7;
    switch (i % 8) {
      case 0: {  // re-create a loop, as the strips do, while it may be playing
        const double feedback = Audio_GetTrackFeedback(slot);
        Audio_DeleteLoop(slot);
        EXPECT_GE(Audio_CreateLoop(0.1 + 0.01 * (i % 10), feedback, 1 + i % 2, 1), 0);
        break;
      }
      case 1: {  // a resize: a new buffer of another length through the hand-over
        const uint32_t frames = 3000 + static_cast<uint32_t>(i % 17) * 100;
        const uint32_t channels = Audio_GetTrackChannels(slot);
        const uint32_t bytes = frames * channels * 4;
        if (Audio_WaitForSwap(slot))
          Audio_PublishBuffer(slot, Audio_AllocBuffer(bytes, true), bytes, frames, channels, false, 1);
        break;
      }
      case 2:  // the record track too: the callback writes into it meanwhile
        if (Audio_WaitForSwap(1)) Audio_PublishBuffer(1, Audio_AllocBuffer(4800 * 8, true), 4800 * 8, 4800, 2, false, 0);
        break;
      case 3:
        Audio_SetTrackVolume(slot, (i % 10) / 10.0);
        Audio_SetTrackPan(slot, (i % 7) / 7.0);
        Audio_SetTrackRate(slot, i % 5 == 0 ? -1.0 : i % 5 == 1 ? 0.5 : 1.0);  // a tail from each switch
        Audio_SetLoopAtPosition(1, true);
        break;
      case 4:  // a latency measurement armed, run and cancelled meanwhile
        Audio_PollChanges();
        if (i % 64 == 4) LatencyProbe_Arm(&e->latencyProbe, signal, 3000 + i % 1000);
        if (i % 128 == 36) LatencyProbe_Cancel(&e->latencyProbe);
        measured += LatencyProbe_Done(&e->latencyProbe);
        break;
      case 5:
        Audio_SetMetronomeTime(i % 16 < 8 ? 2.0 : 1.5, 4, true);
        Audio_SetSeamCrossfade(i % 64 < 56 ? 5 : 0);  // on and off while tails play
        break;
      case 6:
        Audio_RequestResync(slot);
        Audio_InsertLooping(1);
        break;
      case 7:
        if (i % 3 == 0) Audio_PlayLooping();
        else if (i % 5 == 0) Audio_StopLooping();  // a punch-out that fades while stopped
        else if (i % 7 == 0) Audio_PauseLooping();
        else Audio_RecordLooping(1);
        break;
    }
    if (i % 16 == 15) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  // A slow build may not have let one measurement end between arming and cancelling:
  // one more, left to run out while the callback goes on.
  if (measured == 0) {
    LatencyProbe_Arm(&e->latencyProbe, signal, 3000);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (measured == 0 && std::chrono::steady_clock::now() < end) {
      Audio_PollChanges();
      measured += LatencyProbe_Done(&e->latencyProbe);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  Audio_StopLooping();
  stop = true;
  audio.join();
  EXPECT_GT(callbacks.load(), 10);
  EXPECT_GT(measured, 0) << "a measurement ran to its end";
  EXPECT_EQ(allocations.load(), 0);
  EXPECT_EQ(frees.load(), 0);
  // The callback did hand buffers back, and the user-interface side freed them.
  Audio_SetCallbackRunning(false);
  Audio_PollChanges();
  EXPECT_TRUE(e->retiredBuffers.empty());
  EXPECT_TRUE(dialog.shown.empty());
  Audio_Shutdown();
}
