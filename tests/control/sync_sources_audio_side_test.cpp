// What the audio thread calls of the JACK client and the Link session: reading the transport, feeding the
// position Kestrine leads with, and Link's session capture allocate nothing, take no lock and make no system
// call. Link stays disabled here: no packet leaves the machine.
#include <gtest/gtest.h>

#include "audio_io/jack_own_client.h"
#include "audio_io/link_session.h"
#include "control/first_system_call.h"

extern thread_local long allocations, lockAttempts;

namespace {

struct AudioSide {
  JackOwnClient jack;
  LinkSession link{125.0};
  double sink = 0;
  void operator()() {
    JackTransportReading reading;
    for (int period = 0; period < 100; ++period) {
      jack.FeedTransport(125.0, 4, period * 0.1, period * 1'000'000);
      if (jack.Transport(&reading)) sink += reading.beat;
      const int64_t at = link.MicrosAtSteadyNs(period * 5'333'333);
      const LinkReading r = link.Read(at, 4.0);
      sink += r.phase + r.bpm;
      link.CommitTempoFromAudio(125.0, at);  // unchanged: nothing committed
    }
  }
};

TEST(SyncSourcesAudioSide, NeitherAllocateNorLock) {
  AudioSide side;
  ASSERT_TRUE(side.link.Usable()) << side.link.Error();
  side();  // first calls out of the way (lazy symbol binding)
  const long allocationsBefore = allocations, locksBefore = lockAttempts;
  side();
  EXPECT_EQ(allocations, allocationsBefore);
  EXPECT_EQ(lockAttempts, locksBefore);
  // Without a session the reading is Link's own timeline at the tempo it was given.
  const LinkReading r = side.link.Read(side.link.NowMicros(), 4.0);
  EXPECT_DOUBLE_EQ(r.bpm, 125.0);
  EXPECT_EQ(r.peers, 0);
  EXPECT_GE(r.phase, 0.0);
  EXPECT_LT(r.phase, 4.0);
  JackTransportReading never;
  EXPECT_FALSE(side.jack.Transport(&never)) << "a client never opened has read no period";
}

TEST(SyncSourcesAudioSide, MakeNoSystemCall) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer's runtime makes system calls of its own inside the calls it intercepts";
#endif
  if (FirstSystemCall([] {}) == kNoFilter) GTEST_SKIP() << "system-call filters are not available here";
  AudioSide side;
  side();
  EXPECT_EQ(FirstSystemCall([&] { side(); }), kNoSystemCall);
}

}  // namespace
