// Kestrine under a session manager: a manager on 127.0.0.1 (a liblo peer) announces,
// opens, saves and shows or hides the running application core, and reads what it says.
#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/app_fixture.h"
#include "app/file_commands.h"
#include "app/session/session_store.h"
#include "app/settings/preferences.h"
#include "audio_io/wav_bytes.h"
#include "support/osc_peer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class NsmTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    ProgressDialog_Install(&progress);
    store = std::make_unique<AppSessionStore>(App_SessionParts(app_.get()));
    app().sessions = store.get();
  }
  void TearDown() override {
    App_StopNsm(&app());
    ProgressDialog_Install(nullptr);
    AppTest::TearDown();
  }

  // Starts the client, reads its announce and accepts it, as a manager that can show
  // and hide windows (or not).
  void Announce(bool managerHidesGui = true) {
    ASSERT_TRUE(App_StartNsm(&app(), manager.Url()));
    App_NsmReady(&app());
    OscReceived m;
    ASSERT_TRUE(manager.Receive(&m));
    ASSERT_EQ(m.path, "/nsm/server/announce");
    client = m.senderPort;
    const std::vector<std::string> want = {"Kestrine", ":dirty:optional-gui:message:", program_invocation_short_name,
                                           "1", "2", std::to_string(getpid())};
    EXPECT_EQ(m.args, want);
    Send(OscPacketOf("/reply", "ssss", "/nsm/server/announce", "Howdy", "Test Manager",
                     managerHidesGui ? ":server-control:optional-gui:" : ":server-control:"));
    EXPECT_EQ(Next(), "/nsm/client/gui_is_shown");
  }
  // A packet from the manager, acted on as the window's drain does.
  void Send(const std::vector<char>& packet) {
    const uint64_t before = app().nsm->client.Received();
    manager.SendTo(client, packet);
    for (int i = 0; i < 400 && app().nsm->client.Received() == before; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_GT(app().nsm->client.Received(), before);
    Drain();
  }
  // The next message from Kestrine: its path and arguments in one line. Messages for
  // the manager's user are set aside in `told`.
  std::string Next(std::chrono::milliseconds timeout = 2000ms) {
    OscReceived m;
    for (;;) {
      if (!manager.Receive(&m, timeout)) return "(nothing)";
      std::string line = m.path;
      for (const std::string& a : m.args) line += " | " + a;
      if (m.path != "/nsm/client/message") return line;
      told.push_back(line);
    }
  }
  std::string Open(const std::string& path) {
    Send(OscPacketOf("/nsm/client/open", "sss", path.c_str(), "Kestrine", "nABCD"));
    return Next();
  }
  std::string Save() {
    Send(OscPacketOf("/nsm/client/save", ""));
    return Next();
  }

  OscPeer manager;
  int client = 0;
  std::vector<std::string> told;
  RecordingProgress progress;
  std::unique_ptr<AppSessionStore> store;
};

TEST_F(NsmTest, OpenSaveAndDirtyStateReachTheManagerAndTheFilesLandWhereItSaid) {
  Announce();
  // A folder that is not there yet: made, with a new session written into it at once.
  const std::string path = dir + "/Sessions/Gig/Kestrine.nABCD";
  EXPECT_EQ(Open(path), "/reply | /nsm/client/open | New session created.");
  EXPECT_EQ(Next(), "/nsm/client/is_clean");
  EXPECT_TRUE(fs::is_regular_file(path + "/Kestrine.nABCD.session"));
  EXPECT_EQ(app().session.name, "Kestrine.nABCD");
  EXPECT_FALSE(app().session.dirty);

  // A loop loaded from the window: the manager hears of it at the next tick, once.
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, MakeWav("Kick.wav", 4800, 1000), false));
  App_WaitForLoads(&app());
  App_Timer1(&app());
  App_Timer1(&app());
  EXPECT_EQ(Next(), "/nsm/client/is_dirty");
  EXPECT_EQ(Save(), "/reply | /nsm/client/save | Saved.");
  EXPECT_EQ(Next(), "/nsm/client/is_clean");
  EXPECT_FALSE(app().session.dirty);
  bool loopSaved = false;
  for (const auto& e : fs::recursive_directory_iterator(path)) loopSaved = loopSaved || e.path().filename() == "Kick.wav";
  EXPECT_TRUE(loopSaved);

  // A Save As elsewhere from the window does not move the manager's session.
  ASSERT_TRUE(App_SaveSessionBase(&app(), dir + "/Elsewhere"));
  EXPECT_EQ(Save(), "/reply | /nsm/client/save | Saved.");
  EXPECT_EQ(app().session.directory, path);

  // Opening it again (a new run of the program) brings the loop back, with no question
  // about the changes made since, which the manager chose to drop.
  App_StopNsm(&app());
  Restart();
  app().sessions = (store = std::make_unique<AppSessionStore>(App_SessionParts(app_.get()))).get();
  App_SetDirty(&app(), true);
  Announce();
  EXPECT_EQ(Open(path), "/reply | /nsm/client/open | Session opened.");
  EXPECT_EQ(Next(), "/nsm/client/is_clean");
  EXPECT_FALSE(strip(0).empty);
  EXPECT_EQ(strip(0).name, "Kick");
  EXPECT_TRUE(dialog.shown.empty());
  EXPECT_EQ(Next(50ms), "(nothing)");
  EXPECT_TRUE(told.empty());
}

TEST_F(NsmTest, RefusalsAnswerTheManagerWithErrorCodesAndNeverADialog) {
  Announce();
  EXPECT_EQ(Save(), "/error | /nsm/client/save | -6 | No session has been opened.");

  // A place that cannot be a folder (a file stands in the way): even root cannot write it.
  std::ofstream(dir + "/file") << "x";
  EXPECT_EQ(Open(dir + "/file/Kestrine.nABCD").substr(0, 38), "/error | /nsm/client/open | -10 | The ");

  // A session file that is not one.
  fs::create_directories(dir + "/Broken");
  std::ofstream(dir + "/Broken/Broken.session") << "<not a session";
  EXPECT_EQ(Open(dir + "/Broken").substr(0, 37), "/error | /nsm/client/open | -9 | The ");
  // What the load said goes to the manager's user, not into a message box.
  ASSERT_FALSE(told.empty());
  EXPECT_EQ(told[0], "/nsm/client/message | 2 | XML error: Error parsing session file.");
  // The failed open left no session to save over.
  EXPECT_EQ(Save().substr(0, 32), "/error | /nsm/client/save | -6 |");

  ASSERT_EQ(Open(dir + "/Good"), "/reply | /nsm/client/open | New session created.");
  EXPECT_EQ(Next(), "/nsm/client/is_clean");
  // While a command runs (a dialog is open), the manager is told to come back.
  app().busy = true;
  EXPECT_EQ(Save(), "/error | /nsm/client/save | -8 | Kestrine is busy with another command or a question; try "
                    "again.");
  app().busy = false;
  // So while a dialog stands open in the window (the manager's request is drained
  // inside it): the save would pull the session from under the step that asked.
  std::string duringDialog;
  files.during = [&] { duringDialog = Save(); };
  App_OpenSession(&app(), {});
  files.during = nullptr;
  EXPECT_EQ(duringDialog.substr(0, 32), "/error | /nsm/client/save | -8 |");
  EXPECT_EQ(Save(), "/reply | /nsm/client/save | Saved.");

  // Requests that are not the protocol's are counted and dropped.
  const uint64_t ignored = app().nsm->client.Ignored();
  Send(OscPacketOf("/nsm/client/open", "si", "x", 1));
  Send({'g', 'a', 'r', 'b', 'a', 'g', 'e', 0});
  EXPECT_EQ(app().nsm->client.Ignored(), ignored + 2);
  EXPECT_TRUE(dialog.shown.empty());
}

TEST_F(NsmTest, WhatALoadWouldAskIsAnsweredWithoutADialog) {
  App_Preferences().warn_sample_rate = 1;
  Announce();
  const std::string path = dir + "/Set";
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, MakeWav("Bass.wav", 4800, 500), false));
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{1}, MakeWav("Keys.wav", 4800, 700), false));
  App_WaitForLoads(&app());
  dialog.shown.clear();
  EXPECT_EQ(Open(path), "/reply | /nsm/client/open | New session created.");
  EXPECT_EQ(Next(), "/nsm/client/is_clean");
  // One loop goes missing, the other comes back at another rate: it loads as it is
  // ("Sample rate ... differs" answered Yes, so nothing of the session is dropped), the
  // missing one is told to the manager instead of being looked for.
  WavLayout other;
  other.sampleRate = 44100;
  other.samples.assign(4410 * 2, 300);
  for (const auto& e : fs::recursive_directory_iterator(path)) {
    if (e.path().filename() == "Keys.wav") fs::remove(e.path());
    if (e.path().filename() == "Bass.wav") {
      ASSERT_TRUE(WriteBytes(e.path().string(), WavBytes(other)));
    }
  }
  App_SetDirty(&app(), true);
  App_Timer1(&app());
  EXPECT_EQ(Next(), "/nsm/client/is_dirty");
  EXPECT_EQ(Open(path), "/reply | /nsm/client/open | Session opened.");
  EXPECT_FALSE(strip(0).empty);
  EXPECT_EQ(track(slot(0)).length, 4410);
  EXPECT_TRUE(strip(1).empty);
  EXPECT_EQ(Next(), "/nsm/client/is_clean");
  EXPECT_EQ(told, std::vector<std::string>{"/nsm/client/message | 2 | Please locate file Keys.wav: no file chosen "
                                           "(no file dialog under the session manager)."});
  EXPECT_TRUE(dialog.shown.empty());
  EXPECT_TRUE(files.titles.empty());
  EXPECT_EQ(App_Preferences().warn_sample_rate, 1);  // no "do not warn again" was ticked
}

TEST_F(NsmTest, ShowAndHideReachTheWindowAndClosingOnlyHidesIt) {
  Announce();
  Send(OscPacketOf("/nsm/client/hide_optional_gui", ""));
  EXPECT_FALSE(window.shown);
  EXPECT_EQ(Next(), "/nsm/client/gui_is_hidden");
  // Hidden, a trigger's question is answered No: a quicksave load would drop the
  // unsaved loop, and nobody saw the question.
  App_SetDirty(&app(), true);
  FileCommand_LoadQuicksave(&app(), 1);
  EXPECT_TRUE(app().session.dirty);
  EXPECT_TRUE(dialog.shown.empty());

  Send(OscPacketOf("/nsm/client/show_optional_gui", ""));
  EXPECT_TRUE(window.shown);
  EXPECT_EQ(Next(), "/nsm/client/gui_is_shown");
  // Shown, the user is there: the same question is asked.
  dialog.answers = {IDNO};
  FileCommand_LoadQuicksave(&app(), 1);
  EXPECT_TRUE(dialog.Saw("Current session has unsaved changes, continue anyway?", "Session Unsaved"));

  // The close button hides the window; the manager ends the program.
  EXPECT_FALSE(App_Close(&app()));
  EXPECT_FALSE(window.shown);
  EXPECT_EQ(Next(), "/nsm/client/gui_is_hidden");

  // A manager that cannot show a window again: closing closes, as without a manager.
  App_StopNsm(&app());
  Announce(false);
  App_SetDirty(&app(), false);
  EXPECT_TRUE(App_Close(&app()));
}

TEST_F(NsmTest, WithoutAReachableManagerNothingWaitsAndNothingChanges) {
  EXPECT_FALSE(App_StartNsm(&app(), "not a url"));
  EXPECT_FALSE(App_StartNsm(&app(), ""));
  EXPECT_EQ(app().nsm, nullptr);
  EXPECT_EQ(MessageDialog_Installed(), &dialog);

  // Nobody listens on the port: the announce is lost, the program goes on and stops.
  ASSERT_TRUE(App_StartNsm(&app(), "osc.udp://127.0.0.1:" + std::to_string(OscFreePort()) + "/"));
  App_NsmReady(&app());
  Drain();
  App_SetDirty(&app(), true);
  App_Timer1(&app());
  // No manager answered, so none can show a hidden window: closing asks and closes.
  EXPECT_TRUE(App_Close(&app()));
  EXPECT_TRUE(dialog.Saw("Current session has unsaved changes, continue anyway?", "Session Unsaved"));
  EXPECT_TRUE(window.shown);
  App_StopNsm(&app());
  EXPECT_EQ(MessageDialog_Installed(), &dialog);
  EXPECT_EQ(FileDialog_Installed(), &files);
}

}  // namespace
