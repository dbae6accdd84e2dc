// OSC control of the running application core: a client on 127.0.0.1 fires actions,
// asks for values and is told what changes, whichever controller changed it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/app_fixture.h"
#include "app/settings/preferences.h"
#include "control/trigger_set.h"
#include "support/osc_peer.h"

namespace {

using namespace std::chrono_literals;

class OscControlTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    app().oscPortFromCommandLine = OscFreePort();
    ASSERT_TRUE(App_StartOsc(&app()));
    port = app().osc->server.Port();
  }
  // Sends packets and lets the user-interface thread act on them once the server has
  // read them all, as the window's drain does.
  void Send(const std::vector<std::vector<char>>& packets) {
    const uint64_t before = app().osc->server.Received();
    for (const auto& p : packets) client.SendTo(port, p);
    for (int i = 0; i < 400 && app().osc->server.Received() < before + packets.size(); ++i)
      std::this_thread::sleep_for(5ms);
    ASSERT_EQ(app().osc->server.Received(), before + packets.size());
    Drain();
  }
  std::vector<char> Action(const char* name) { return OscPacketOf("/kestrine/action", "s", name); }
  std::string Get(const std::string& what) {
    Send({OscPacketOf("/kestrine/get", "sss", what.c_str(), client.Url().c_str(), "/reply")});
    OscReceived r;
    if (!client.ReceiveWhat(what, &r) || r.path != "/reply" || r.args.size() != 2) return "?";
    return r.args[1];
  }

  OscPeer client;
  int port = 0;
};

TEST_F(OscControlTest, RecordAndStopALoopOverOscAndReadItBack) {
  EXPECT_EQ(Get("transport"), "Stopped");
  EXPECT_EQ(Get("track/1/state"), "Empty");
  Send({Action("transport_record")});
  EXPECT_EQ(Audio_GetTransportState(), Recording);
  EXPECT_EQ(Get("track/1/state"), "Recording");
  Run(24000, 256, [](long, int) { return 0.25f; });
  Send({Action("transport_stop")});
  EXPECT_EQ(Audio_GetTransportState(), Stopped);
  EXPECT_FALSE(strip(0).empty);
  EXPECT_EQ(Get("track/1/state"), "Stopped");
  EXPECT_GT(std::stod(Get("track/1/length")), 0.0);
  EXPECT_EQ(Get("current_track"), "1");
  EXPECT_EQ(Get("undo_depth"), std::to_string(app().undoDepth));

  // Register and play: the transport change arrives, and the position no more than 30
  // times a second however often timer 1 runs.
  Send({OscPacketOf("/kestrine/register", "ss", client.Url().c_str(), "/state")});
  OscReceived r;
  ASSERT_TRUE(client.ReceiveWhat("track/8/solo", &r));  // the last of the full state
  Send({Action("transport_play")});
  ASSERT_EQ(Audio_GetTransportState(), Playing);
  int positions = 0;
  bool toldPlaying = false;
  const auto end = std::chrono::steady_clock::now() + 500ms;
  while (std::chrono::steady_clock::now() < end) {
    Run(96);
    App_Timer1(&app());
    while (client.Receive(&r, 0ms)) {
      positions += r.args[0] == "track/1/position";
      toldPlaying = toldPlaying || (r.args[0] == "transport" && r.args[1] == "Playing");
    }
    std::this_thread::sleep_for(2ms);
  }
  EXPECT_TRUE(toldPlaying);
  EXPECT_GE(positions, 5);
  EXPECT_LE(positions, 16);
}

TEST_F(OscControlTest, AKeyboardMuteReachesRegisteredClients) {
  Trigger key = Trigger_Make(TriggerType::KeyboardKey);
  key.data1.SetInput('x', ValueRange::kSingle);
  key.action = {CommandNumber::TrackMute, 1};
  Triggers().Add(TriggerType::KeyboardKey, key);
  Send({OscPacketOf("/kestrine/register", "ss", client.Url().c_str(), "/state")});
  OscReceived r;
  ASSERT_TRUE(client.ReceiveWhat("track/2/mute", &r));
  const std::string before = r.args[1];
  ASSERT_TRUE(client.ReceiveWhat("track/8/solo", &r));  // the last of the full state
  App_Timer1(&app());
  EXPECT_FALSE(client.Receive(&r, 50ms)) << "nothing changed, nothing sent: " << r.args[0];

  App_Character(&app(), 'x');
  Drain();
  App_Timer1(&app());
  ASSERT_TRUE(client.ReceiveWhat("track/2/mute", &r));
  EXPECT_EQ(r.path, "/state");
  EXPECT_NE(r.args[1], before);
  EXPECT_EQ(r.args[1], strip(1).mute ? "1" : "0");

  // Unregistered: told nothing more.
  Send({OscPacketOf("/kestrine/unregister", "ss", client.Url().c_str(), "/state")});
  App_Character(&app(), 'x');
  Drain();
  App_Timer1(&app());
  EXPECT_FALSE(client.Receive(&r, 50ms));
}

TEST_F(OscControlTest, BadPacketsAreCountedAndTheGoodOnesAroundThemStillAct) {
  const bool mute = strip(2).mute;
  Send({{'\0', '\0', '\0'},
        OscPacketOf("/kestrine/action", "si", "track_mute", 0),
        OscPacketOf("/kestrine/action", "s", "track_mutt"),
        OscPacketOf("/kestrine/get", "sss", "track/1/state", "osc.udp://127.0.0.1/", "/r"),
        std::vector<char>(2048, '/'),
        OscPacketOf("/kestrine/action", "si", "track_mute", 3)});
  EXPECT_EQ(app().osc->server.Ignored(), 4u);  // the port-less reply URL is asked and fails
  EXPECT_EQ(app().osc->repliesFailed, 1u);
  EXPECT_NE(strip(2).mute, mute);
}

TEST_F(OscControlTest, APortInUseIsToldOnceAndTheProgramRunsOnWithoutOsc) {
  OscPeer other;  // another program holds the port
  app().oscPortFromCommandLine = other.Port();
  EXPECT_FALSE(App_StartOsc(&app()));
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_NE(dialog.shown[0].text.find("is in use by another program"), std::string::npos);
  EXPECT_EQ(app().osc, nullptr);
  Do(Command::TrackMute, 0);
  Drain();
  App_Timer1(&app());

  // The command line wins over the preferences, 0 included: no server, no message.
  App_Preferences().osc_port = OscFreePort();
  app().oscPortFromCommandLine = 0;
  EXPECT_FALSE(App_StartOsc(&app()));
  EXPECT_EQ(dialog.shown.size(), 1u);
  app().oscPortFromCommandLine = -1;
  EXPECT_TRUE(App_StartOsc(&app()));
  EXPECT_EQ(app().osc->server.Port(), App_Preferences().osc_port);
}

}  // namespace
