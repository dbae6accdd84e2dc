// Mix to disk with the callback and the timer on two threads (also run under ThreadSanitizer).
#include <atomic>
#include <chrono>
#include <thread>

#include "audio_io/mix_disk_fixture.h"

TEST_F(MixToDisk, CallbackAndTimerOnTwoThreadsLoseNoFrame) {
  ASSERT_TRUE(Start());
  std::atomic<bool> done{false};
  std::thread timer([&] {
    while (!done.load()) {
      Audio_PollChanges();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int i = 0; i < 400; ++i) {
    Render(256);
    if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  done = true;
  timer.join();
  EXPECT_TRUE(Audio_StopMixToDisk());
  ExpectMix(MixFile(0), 400u * 256u * 4u);
}
