// OSC packets turned into requests, the server thread that reads them from loopback, the
// state names clients are told, and the client list that drops a client gone deaf.
#include <gtest/gtest.h>

#include <atomic>

#include <sys/socket.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "control/command_numbers.h"
#include "control/osc_clients.h"
#include "control/osc_request.h"
#include "control/osc_server.h"
#include "control/osc_state.h"
#include "support/osc_peer.h"

namespace {

using namespace std::chrono_literals;
const char* kUrl = "osc.udp://127.0.0.1:9/";

OscReject Parse(const std::vector<char>& bytes, OscRequest* r) { return OscRequest_Parse(bytes.data(), bytes.size(), r); }

// The action's optional track and value, each by its type; values as a controller's travel.
TEST(OscRequest, ActionsByCatalogueNameWithTrackAndValue) {
  const struct { std::vector<char> packet; uint32_t command; int32_t track; uint16_t value; } cases[] = {
      {OscPacketOf("/kestrine/action", "s", "transport_record"), CommandNumber::TransportRecord, 8, 0},
      {OscPacketOf("/kestrine/action", "si", "track_mute", 2), CommandNumber::TrackMute, 1, 0},
      {OscPacketOf("/kestrine/action", "sif", "track_volume", 3, 0.5f), CommandNumber::TrackVolume, 2, 32768},
      {OscPacketOf("/kestrine/action", "sf", "track_volume", 1.0f), CommandNumber::TrackVolume, 8, 65535},
      {OscPacketOf("/kestrine/action", "si", "track_solo", 9), CommandNumber::TrackSolo, 8, 0},  // 9: current
      {OscPacketOf("/kestrine/action", "sf", "track_volume", 7.0f), CommandNumber::TrackVolume, 8, 65535},
      {OscPacketOf("/kestrine/action", "sf", "filter_mode_set", 2.0f), CommandNumber::FilterModeSet, 8, 2},
      {OscPacketOf("/kestrine/action", "si", "loop_time_mode", 2), CommandNumber::LoopTimeMode, 2, 0},
  };
  for (const auto& c : cases) {
    OscRequest r;
    ASSERT_EQ(Parse(c.packet, &r), OscReject::None);
    EXPECT_EQ(r.kind, OscRequestKind::Action);
    EXPECT_EQ(r.action.commandId, c.command);
    EXPECT_EQ(r.action.track, c.track) << c.command;
    EXPECT_EQ(r.value, c.value) << c.command;
  }
}

TEST(OscRequest, BadInputIsRefusedWithItsReason) {
  std::vector<char> big = OscPacketOf("/kestrine/action", "s", std::string(1200, 'x').c_str());
  std::vector<char> truncated = OscPacketOf("/kestrine/action", "si", "track_mute", 2);
  truncated.resize(truncated.size() - 4);
  std::vector<char> bundle = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
  const struct { std::vector<char> packet; OscReject want; } cases[] = {
      {{}, OscReject::Malformed},
      {{'h', 'e', 'l', 'l', 'o'}, OscReject::Malformed},
      {truncated, OscReject::Malformed},
      {bundle, OscReject::Malformed},
      {big, OscReject::Oversized},
      {OscPacketOf("/kestrine/dance", "s", "x"), OscReject::UnknownPath},
      {OscPacketOf("/kestrine/action", "s", "no_such_action"), OscReject::UnknownAction},
      {OscPacketOf("/kestrine/action", "si", "track_mute", 0), OscReject::BadTrack},
      {OscPacketOf("/kestrine/action", "si", "track_mute", 10), OscReject::BadTrack},
      {OscPacketOf("/kestrine/action", "si", "loop_time_mode", 4), OscReject::BadTrack},
      {OscPacketOf("/kestrine/action", "sf", "track_volume", std::nanf("")), OscReject::BadValue},
      {OscPacketOf("/kestrine/action", ""), OscReject::WrongTypes},
      {OscPacketOf("/kestrine/action", "i", 3), OscReject::WrongTypes},
      {OscPacketOf("/kestrine/action", "sfi", "track_mute", 1.0f, 2), OscReject::WrongTypes},
      {OscPacketOf("/kestrine/action", "siff", "track_mute", 1, 1.0f, 1.0f), OscReject::WrongTypes},
      {OscPacketOf("/kestrine/get", "ss", "tempo", kUrl), OscReject::WrongTypes},
      {OscPacketOf("/kestrine/get", "sss", "track/9/state", kUrl, "/r"), OscReject::UnknownWhat},
      {OscPacketOf("/kestrine/get", "sss", "track/1/colour", kUrl, "/r"), OscReject::UnknownWhat},
      {OscPacketOf("/kestrine/get", "sss", "tempo", "osc.tcp://127.0.0.1:9/", "/r"), OscReject::BadValue},
      {OscPacketOf("/kestrine/get", "sss", "tempo", kUrl, "r"), OscReject::BadValue},
      {OscPacketOf("/kestrine/register", "si", kUrl, 1), OscReject::WrongTypes},
      {OscPacketOf("/kestrine/unregister", "sss", kUrl, "/r", "/r"), OscReject::WrongTypes},
  };
  for (const auto& c : cases) {
    OscRequest r;
    EXPECT_EQ(Parse(c.packet, &r), c.want) << OscReject_Name(c.want);
  }
  OscRequest r;
  ASSERT_EQ(Parse(OscPacketOf("/kestrine/get", "sss", "track/8/position", kUrl, "/r"), &r), OscReject::None);
  EXPECT_TRUE(r.kind == OscRequestKind::Get && r.what == "track/8/position" && r.replyUrl == kUrl && r.replyPath == "/r");
  ASSERT_EQ(Parse(OscPacketOf("/kestrine/unregister", "ss", kUrl, "/r"), &r), OscReject::None);
  EXPECT_EQ(r.kind, OscRequestKind::Unregister);
}

// A bundle: the tag, a time tag, then each element as a big-endian size and its bytes.
std::vector<char> Bundle(const std::vector<std::vector<char>>& elements) {
  std::vector<char> b = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
  for (const auto& e : elements) {
    const uint32_t n = static_cast<uint32_t>(e.size());
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<char>((n >> shift) & 0xFF));
    b.insert(b.end(), e.begin(), e.end());
  }
  return b;
}

std::vector<OscReject> Reasons(const std::vector<char>& packet, std::vector<OscParsed>* parsed = nullptr) {
  std::vector<OscParsed> local;
  if (!parsed) parsed = &local;
  OscRequest_ParsePacket(packet.data(), packet.size(), parsed);
  std::vector<OscReject> reasons;
  for (const OscParsed& p : *parsed) reasons.push_back(p.reason);
  return reasons;
}

// Each message of a bundle, nested bundles too, is taken or refused as if it came alone;
// what cannot be read ends the bundle with one refusal, after what was read before it.
TEST(OscRequest, BundlesAreUnpackedIntoTheirMessagesInOrder) {
  using R = OscReject;
  const std::vector<char> mute = OscPacketOf("/kestrine/action", "si", "track_mute", 2);
  const std::vector<char> record = OscPacketOf("/kestrine/action", "s", "transport_record");
  std::vector<OscParsed> parsed;
  EXPECT_EQ(Reasons(Bundle({record, Bundle({mute, OscPacketOf("/kestrine/action", "s", "no_such_action")}),
                            OscPacketOf("/kestrine/get", "sss", "tempo", kUrl, "/r")}),
                    &parsed),
            (std::vector<R>{R::None, R::None, R::UnknownAction, R::None}));
  EXPECT_EQ(parsed[0].request.action.commandId, CommandNumber::TransportRecord);
  EXPECT_TRUE(parsed[1].request.action.commandId == CommandNumber::TrackMute && parsed[1].request.action.track == 1);
  EXPECT_EQ(parsed[3].request.kind, OscRequestKind::Get);

  std::vector<char> nested = mute;
  for (int depth = 0; depth < kOscMaxBundleDepth; ++depth) nested = Bundle({nested});
  EXPECT_EQ(Reasons(nested), std::vector<R>{R::None});
  EXPECT_EQ(Reasons(Bundle({record, nested})), (std::vector<R>{R::None, R::Malformed}));  // one level too deep

  std::vector<char> cut = Bundle({record, mute});
  cut.resize(cut.size() - 4);
  EXPECT_EQ(Reasons(cut), (std::vector<R>{R::None, R::Malformed}));
  std::vector<char> odd = Bundle({record, {'/', 'x', 0}});  // a size that is no multiple of 4
  EXPECT_EQ(Reasons(odd), (std::vector<R>{R::None, R::Malformed}));
  EXPECT_EQ(Reasons(Bundle({record, {}})), (std::vector<R>{R::None, R::Malformed}));  // an empty element
  EXPECT_TRUE(Reasons(Bundle({})).empty());
  EXPECT_EQ(Reasons({'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0}), std::vector<R>{R::Malformed});  // no time tag
  std::vector<std::vector<char>> many(60, mute);
  EXPECT_EQ(Reasons(Bundle(many)), std::vector<R>{R::Oversized});
  EXPECT_EQ(Reasons(mute), std::vector<R>{R::None});  // a lone message is one message still
}

TEST(OscState, ChangesNameEachDifferingValueButThePositions) {
  OscState a, b;
  b.tempo = 90.0;
  b.tracks[1].mute = true;
  b.tracks[2].state = "Playing";
  b.tracks[3].position = 0.5;
  EXPECT_EQ(OscState_Changes(a, b), (std::vector<std::string>{"tempo", "track/2/mute", "track/3/state"}));
  EXPECT_TRUE(OscState_Changes(b, b).empty());
  const std::vector<std::string> all = OscState_AllNames();
  EXPECT_EQ(all.size(), 5u + 8 * 6);
  for (const std::string& name : all) EXPECT_TRUE(OscState_Knows(name)) << name;
  for (const char* name : {"track/0/state", "track/1/", "track/12/state", "tracks/1/state", "Tempo", ""})
    EXPECT_FALSE(OscState_Knows(name)) << name;

  lo_message m = lo_message_new();
  ASSERT_TRUE(OscState_AddValue(b, "track/3/state", m));
  EXPECT_EQ(std::string(lo_message_get_types(m)), "ss");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lo_message_get_argv(m)[1])), "Playing");
  lo_message_free(m);
}

template <typename Done>
bool WaitFor(Done done) {
  for (int i = 0; i < 400 && !done(); ++i) std::this_thread::sleep_for(5ms);
  return done();
}

std::atomic<int> g_notified{0};  // written on the server thread

TEST(OscServer, ReadsLoopbackPacketsOnItsThreadAndCountsTheBadOnes) {
  OscServer server;
  std::string error;
  ASSERT_TRUE(server.Start(0, false, &error)) << error;
  ASSERT_GT(server.Port(), 0);
  g_notified = 0;
  server.SetNotify([] { ++g_notified; });
  OscPeer peer;
  peer.SendTo(server.Port(), OscPacketOf("/kestrine/action", "si", "track_mute", 2));
  peer.SendTo(server.Port(), {'j', 'u', 'n', 'k'});
  peer.SendTo(server.Port(), OscPacketOf("/kestrine/action", "s", "no_such_action"));
  peer.SendTo(server.Port(), std::vector<char>(3000, 'z'));
  peer.SendTo(server.Port(), Bundle({OscPacketOf("/kestrine/action", "s", "transport_play"),
                                     OscPacketOf("/kestrine/action", "s", "no_such_action"),
                                     OscPacketOf("/kestrine/action", "s", "transport_stop")}));
  ASSERT_TRUE(WaitFor([&] { return server.Received() == 5; }));
  OscRequest r;
  for (uint32_t command : {CommandNumber::TrackMute, CommandNumber::TransportPlay, CommandNumber::TransportStop}) {
    ASSERT_TRUE(server.Take(&r));
    EXPECT_EQ(r.action.commandId, command);
  }
  EXPECT_FALSE(server.Take(&r));
  EXPECT_EQ(g_notified.load(), 2);  // once a packet that brought requests
  EXPECT_EQ(server.Ignored(), 4u);
  EXPECT_EQ(server.Ignored(OscReject::Oversized), 1u);
  EXPECT_EQ(server.Ignored(OscReject::UnknownAction), 2u);

  // The same port a second time: refused with a reason the user can act on.
  OscServer second;
  EXPECT_FALSE(second.Start(server.Port(), false, &error));
  EXPECT_NE(error.find("is in use by another program"), std::string::npos) << error;
  server.Stop();
  EXPECT_FALSE(server.Running());
  EXPECT_TRUE(second.Start(0, false, &error));
}

TEST(OscClients, SendsToEachClientAndDropsOneThatStoppedListening) {
  OscPeer listening, deaf;
  OscClients clients;
  ASSERT_TRUE(clients.Register(listening.Url(), "/state"));
  ASSERT_TRUE(clients.Register(listening.Url(), "/state"));  // once only
  ASSERT_TRUE(clients.Register(deaf.Url(), "/other"));
  EXPECT_FALSE(clients.Register("osc.udp://nowhere.example:9/", "/x"));  // no name lookups
  EXPECT_FALSE(clients.Register("osc.tcp://127.0.0.1:9/", "/x"));
  EXPECT_EQ(clients.Count(), 2);
  deaf.Close();
  lo_message m = lo_message_new();
  lo_message_add_string(m, "tempo");
  lo_message_add_float(m, 100.0f);
  for (int i = 0; i < 6 && clients.Count() == 2; ++i) {
    clients.SendAll(m);
    std::this_thread::sleep_for(10ms);  // the refusal comes back from the kernel
  }
  lo_message_free(m);
  EXPECT_EQ(clients.Count(), 1);
  EXPECT_EQ(clients.Dropped(), 1u);
  OscReceived got;
  ASSERT_TRUE(listening.Receive(&got));
  EXPECT_EQ(got.path, "/state");
  EXPECT_EQ(got.args, (std::vector<std::string>{"tempo", "100"}));

  clients.Unregister(listening.Url(), "/state");
  EXPECT_EQ(clients.Count(), 0);
  std::vector<std::unique_ptr<OscPeer>> many;
  for (int i = 0; i < kOscMaxClients + 1; ++i) {
    many.push_back(std::make_unique<OscPeer>());
    EXPECT_EQ(clients.Register(many.back()->Url(), "/s"), i < kOscMaxClients) << i;
  }
}

}  // namespace
