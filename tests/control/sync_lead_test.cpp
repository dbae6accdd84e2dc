// Leading with Kestrine's own tempo: what the callback publishes to its leaders (tempo, bar,
// beat since the transport started, the start itself) and that publishing to the JACK
// timebase master and a Link peer allocates nothing, takes no lock and calls no system.
// The same for reading the JACK transport and Link as sources in the callback. Link stays
// disabled here: no packet leaves the machine.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "audio_io/jack_own_client.h"
#include "audio_io/jack_transport_source.h"
#include "audio_io/link_session.h"
#include "audio_io/link_sync_source.h"
#include "audio_io/sync_leaders.h"
#include "control/first_system_call.h"
#include "engine/audio.h"
#include "engine/sync_follow.h"
#include "engine/sync_lead.h"
#include "support/engine_fixture.h"

extern thread_local long allocations, lockAttempts;

namespace {

struct RecordingLeader final : SyncLeader {
  void Publish(const SyncBlock& block, const SyncLeadReading& lead) noexcept override {
    if (count < kMax) blocks[count] = block, leads[count] = lead;
    ++count;
  }
  static constexpr int kMax = 64;
  SyncBlock blocks[kMax];
  SyncLeadReading leads[kMax];
  int count = 0;
};

class SyncLeadTest : public EngineTest {
 protected:
  void TearDown() override {
    Audio_SetCallbackRunning(false);
    for (int i = 0; i < kSyncLeaders; ++i) SyncLead_Set(engine(), i, nullptr);
    EngineTest::TearDown();
  }
};

// A block's time follows the frames: callbacks that come faster than the clock (here 300
// back to back, 1.6 s of frames in far less) never make it go backwards, and a stall is
// taken as it is.
TEST(SyncBlockTime, NeverGoesBackAndTakesAStallAsItIs) {
  const auto steadyNow = [] {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
  SyncFollow follow;
  int64_t lastTime = 0;
  uint32_t lastFrames = 0;
  int64_t previous = SyncFollow_BlockTime(follow, 0, 256, 48000.0, &lastTime, &lastFrames);
  for (int i = 1; i <= 300; ++i) {
    const int64_t t = SyncFollow_BlockTime(follow, 256u * i, 256, 48000.0, &lastTime, &lastFrames);
    ASSERT_GT(t, previous) << "block " << i;
    previous = t;
  }
  lastTime = 0, lastFrames = 0;  // a stream started again
  const int64_t start = SyncFollow_BlockTime(follow, 0, 256, 48000.0, &lastTime, &lastFrames);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const int64_t before = steadyNow();
  const int64_t t = SyncFollow_BlockTime(follow, 256, 256, 48000.0, &lastTime, &lastFrames);
  EXPECT_GE(t, before) << "a stall of the stream was not taken";
  EXPECT_GE(t - start, 100000000);
}

TEST_F(SyncLeadTest, LeadersGetTheTempoAndTheBeatSinceTheTransportStarted) {
  MakeLoop(96000, 2);
  RecordingLeader leader;
  SyncLead_Set(engine(), 1, &leader);
  Audio_SetCallbackRunning(true);
  Run(512, 256);
  ASSERT_EQ(leader.count, 2);
  EXPECT_FALSE(leader.leads[1].rolling);
  EXPECT_EQ(leader.leads[1].beat, 0.0);
  EXPECT_DOUBLE_EQ(leader.leads[1].bpm, 120.0);
  EXPECT_EQ(leader.leads[1].beatsPerBar, 4);
  EXPECT_EQ(leader.blocks[1].frame, 256u);

  Audio_PlayLooping();
  Run(256 * 10, 256);
  ASSERT_EQ(leader.count, 12);
  EXPECT_TRUE(leader.leads[2].rolling && leader.leads[2].started);
  EXPECT_EQ(leader.leads[2].beat, 0.0);
  EXPECT_FALSE(leader.leads[3].started);
  EXPECT_DOUBLE_EQ(leader.leads[11].beat, 9 * 256 / 24000.0);
  // Block times advance with the frames (before output latency).
  EXPECT_GT(leader.blocks[11].timeNs, leader.blocks[2].timeNs);

  Audio_PauseLooping();
  Run(256, 256);
  Audio_PlayLooping();
  Run(256, 256);
  EXPECT_FALSE(leader.leads[13].started) << "a resumed transport goes on from where it paused";
  EXPECT_DOUBLE_EQ(leader.leads[13].beat, 10 * 256 / 24000.0);

  SyncLead_Set(engine(), 1, nullptr);
  Run(256, 256);
  EXPECT_EQ(leader.count, 14);
}

TEST_F(SyncLeadTest, PublishingToJackAndLinkNeitherAllocatesNorLocksNorCallsTheSystem) {
  MakeLoop(96000, 2);
  JackOwnClient jack;  // never opened: its records are written all the same
  LinkSession link(120.0);
  ASSERT_TRUE(link.Usable()) << link.Error();
  JackTransportLeader jackLeader(&jack);
  LinkLeader linkLeader(&link);
  SyncLead_Set(engine(), 0, &jackLeader);
  SyncLead_Set(engine(), 1, &linkLeader);
  Audio_SetCallbackRunning(true);
  std::vector<float> in(512), out(512);
  Audio_ProcessStream(engine(), in.data(), out.data(), 256);  // lazy binding out of the way
  Audio_PlayLooping();
  const long a = allocations, l = lockAttempts;
  for (int i = 0; i < 100; ++i) Audio_ProcessStream(engine(), in.data(), out.data(), 256);
  EXPECT_EQ(allocations, a);
  EXPECT_EQ(lockAttempts, l);
  // Kestrine's start asked Link for bar 1 there, and its tempo reached the session.
  EXPECT_DOUBLE_EQ(link.Tempo(), 120.0);
  // (The callback ran far faster than real time: the start was a moment ago.)
  const LinkReading r = link.Read(link.NowMicros(), 4);
  EXPECT_NEAR(r.beat, 0.0, 0.05) << "bar 1 of the session where Kestrine started";
#if !defined(__SANITIZE_THREAD__)
  if (FirstSystemCall([] {}) == kNoFilter) GTEST_SKIP() << "system-call filters are not available here";
  EXPECT_EQ(FirstSystemCall([&] {
              for (int i = 0; i < 50; ++i) Audio_ProcessStream(engine(), in.data(), out.data(), 256);
            }),
            kNoSystemCall);
#endif
}

TEST_F(SyncLeadTest, ReadingJackAndLinkAsSourcesNeitherAllocatesNorLocksNorCallsTheSystem) {
  MakeLoop(96000, 2);
  JackOwnClient jack;  // never opened: no reading, the own tempo kept
  LinkSession link(120.0);
  JackTransportSource jackSource(&jack);
  LinkSyncSource linkSource(&link, 4);
  Audio_SetCallbackRunning(true);
  std::vector<float> in(512), out(512);
  for (SyncSource* source : {static_cast<SyncSource*>(&jackSource), static_cast<SyncSource*>(&linkSource)}) {
    SyncFollow_Attach(engine(), source);
    Audio_ProcessStream(engine(), in.data(), out.data(), 256);
    Audio_PlayLooping();
    const long a = allocations, l = lockAttempts;
    for (int i = 0; i < 100; ++i) Audio_ProcessStream(engine(), in.data(), out.data(), 256);
    EXPECT_EQ(allocations, a);
    EXPECT_EQ(lockAttempts, l);
    EXPECT_FALSE(engine()->sync.following.load()) << "no server, no peers: the own tempo";
#if !defined(__SANITIZE_THREAD__)
    if (FirstSystemCall([] {}) == kNoFilter) GTEST_SKIP() << "system-call filters are not available here";
    EXPECT_EQ(FirstSystemCall([&] {
                for (int i = 0; i < 50; ++i) Audio_ProcessStream(engine(), in.data(), out.data(), 256);
              }),
              kNoSystemCall);
#endif
    SyncFollow_Detach(engine());
    Audio_StopLooping();
  }
}

}  // namespace
