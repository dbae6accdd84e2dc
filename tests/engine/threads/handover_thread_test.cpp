// The callback on its own thread while the user-interface side creates, deletes,
// resizes and swaps loops. Run under ThreadSanitizer (and AddressSanitizer) this shows
// that no buffer is freed while the callback may still read it and that the hand-over
// is properly synchronised.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "support/scripted_dialog.h"

TEST(HandoverThreads, SlotsAreRewrittenWhileTheCallbackRuns) {
  ScriptedDialog dialog;
  ASSERT_TRUE(Audio_Init());
  AudioEngine* e = Audio_GetEngine();
  e->latencyFrames = 100;
  for (int i = 1; i < NUM_TRACKS; ++i) ASSERT_EQ(Audio_CreateLoop(0.2, 0.8, 2, 0), i);
  Audio_SetCallbackRunning(true);
  ASSERT_TRUE(Audio_RecordLooping(1));

  std::atomic<bool> stop{false};
  std::atomic<long> callbacks{0};
  std::thread audio([&] {
    std::vector<float> in(2 * 256, 0.25f), out(2 * 256);
    while (!stop) {
      Audio_ProcessStream(e, in.data(), out.data(), 256);
      ++callbacks;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  for (int i = 0; std::chrono::steady_clock::now() < deadline && i < 4000; ++i) {
    const int slot = 2 + i % 7;
    switch (i % 5) {
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
        Audio_SetLoopAtPosition(1, true);
        break;
      case 4: Audio_PollChanges(); break;
    }
    if (i % 16 == 15) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  Audio_StopLooping();
  stop = true;
  audio.join();
  EXPECT_GT(callbacks.load(), 10);
  Audio_SetCallbackRunning(false);
  Audio_PollChanges();
  EXPECT_TRUE(e->retiredBuffers.empty());
  EXPECT_TRUE(dialog.shown.empty());
  Audio_Shutdown();
}
