// Leading the JACK transport with Internal, on a server of the test's own: Kestrine becomes
// timebase master, its Play rolls the transport and its Stop stops it, while a transport
// another client stops meanwhile is left stopped until Kestrine's next change.
#include <gtest/gtest.h>

#include <jack/transport.h>

#include <memory>

#include "app/model/sync_follower.h"
#include "audio_io/jack_own_client.h"
#include "engine/audio.h"
#include "support/jack_test_client.h"
#include "support/private_jack_server.h"

namespace {

class SyncLeadLive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PrivateJackServer::Usable()) GTEST_SKIP() << "jackd is not installed";
    ASSERT_TRUE(server_.Start()) << "jackd does not start";
    Audio_Init();
    daw_ = std::make_unique<JackTestClient>("daw");
    ASSERT_TRUE(daw_->Ok());
  }
  void TearDown() override {
    SyncFollower_Stop(&follower_, Audio_GetEngine());
    Audio_Shutdown();
  }
  bool TransportRolls(bool rolling) {
    return Within(3.0, [&] { return (jack_transport_query(daw_->client(), nullptr) == JackTransportRolling) == rolling; });
  }

  PrivateJackServer server_{"lead"};
  JackOwnClient jack_;
  std::unique_ptr<JackTestClient> daw_;
  SyncFollower follower_;
};

TEST_F(SyncLeadLive, KestrinesPlayAndStopRollAndStopTheTransportItLeads) {
  AudioEngine* e = Audio_GetEngine();
  SyncChoice choice;
  choice.leadJack = true;
  choice.jack = &jack_;
  SyncFollower_Start(&follower_, e, choice);
  ASSERT_TRUE(jack_.IsOpen());
  EXPECT_TRUE(jack_.LeadsTransport());
  EXPECT_EQ(e->lead.attached.load(), 1);

  SyncFollower_LeadTick(&follower_, e);
  EXPECT_TRUE(TransportRolls(false));
  e->state.store(Playing);  // as Play leaves it
  SyncFollower_LeadTick(&follower_, e);
  EXPECT_TRUE(TransportRolls(true));

  // Another client stops the transport: Kestrine, still playing, leaves it stopped.
  jack_transport_stop(daw_->client());
  ASSERT_TRUE(TransportRolls(false));
  SyncFollower_LeadTick(&follower_, e);
  EXPECT_TRUE(TransportRolls(false));

  e->state.store(Stopped);
  SyncFollower_LeadTick(&follower_, e);
  e->state.store(Recording);
  SyncFollower_LeadTick(&follower_, e);
  EXPECT_TRUE(TransportRolls(true));
  e->state.store(Paused);
  SyncFollower_LeadTick(&follower_, e);
  EXPECT_TRUE(TransportRolls(false));

  // Back to no leading: Kestrine lets go of the timebase and of its client.
  SyncFollower_Stop(&follower_, e);
  EXPECT_FALSE(jack_.LeadsTransport());
  EXPECT_FALSE(jack_.IsOpen());
  EXPECT_EQ(e->lead.attached.load(), 0);
}

}  // namespace
