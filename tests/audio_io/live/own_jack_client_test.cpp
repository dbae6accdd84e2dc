// The program's own JACK client: shared by the MIDI ports and the transport, and losing its server (its own
// shutdown handler notices, PortAudio's loss state is not touched though the two clients share the interposed
// libjack functions, closing does not hang, and a new server takes a new client).
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "audio_io/jack_client_loss.h"
#include "audio_io/jack_own_client.h"
#include "support/private_jack_server.h"

TEST(OwnJackClientLoss, TheServerGoingAwayIsTheOwnClientsLossNotPortAudios) {
  if (!PrivateJackServer::Usable()) GTEST_SKIP() << "jackd is not installed";
  PrivateJackServer server("ownloss");
  ASSERT_TRUE(server.Start());
  JackOwnClient client;
  std::string error;
  ASSERT_TRUE(client.Open("Kestrine", &error)) << error;
  EXPECT_TRUE(client.IsOpen());
  server.Stop(SIGKILL);
  EXPECT_TRUE(Within(5.0, [&] { return !client.IsOpen(); })) << "the client's own shutdown handler never ran";
  EXPECT_FALSE(JackClientLoss_Happened()) << "taken for PortAudio's client";
  const auto start = std::chrono::steady_clock::now();
  client.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  JackTransportReading r;
  EXPECT_FALSE(client.QueueMidi(0xF8, 0)) << "nothing queued for a closed client";

  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(client.Open("Kestrine", &error)) << error;
  EXPECT_EQ(client.Name(), "Kestrine");
  EXPECT_TRUE(Within(3.0, [&] { return client.Transport(&r); })) << "the new client runs periods";
}

// The MIDI ports closing (the MIDI settings reopen them) leave the client open while the transport uses it;
// the last user closes it, and a user after a lost server gets a new client.
TEST(OwnJackClient, StaysOpenWhileAnyPartUsesIt) {
  if (!PrivateJackServer::Usable()) GTEST_SKIP() << "jackd is not installed";
  PrivateJackServer server("shared");
  ASSERT_TRUE(server.Start());
  JackOwnClient client;
  std::string error;
  ASSERT_TRUE(client.Acquire("Kestrine", &error)) << error;  // the transport
  ASSERT_TRUE(client.Acquire("Kestrine", &error)) << error;  // the MIDI ports
  client.Release();
  EXPECT_TRUE(client.IsOpen());
  client.Release();
  EXPECT_FALSE(client.IsOpen());
  client.Release();  // one too many: harmless

  ASSERT_TRUE(client.Acquire("Kestrine", &error)) << error;
  server.Stop(SIGKILL);
  ASSERT_TRUE(Within(5.0, [&] { return !client.IsOpen(); }));
  ASSERT_TRUE(server.Start());
  EXPECT_TRUE(client.Acquire("Kestrine", &error)) << error;
  EXPECT_TRUE(client.IsOpen());
}
