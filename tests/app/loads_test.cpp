// Loop files and sessions read off the user-interface thread: the timer keeps ticking
// through a long file, a session comes back as the waiting load gives it, a cancelled
// load leaves its track as it was, and commands that would change a loading track are
// refused.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "app/app_fixture.h"
#include "app/session/session_store.h"
#include "app/settings/preferences.h"
#include "engine/audio.h"
#include "engine/message_dialog.h"

namespace {

using Clock = std::chrono::steady_clock;

class LoadsTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    ProgressDialog_Install(&progress);
  }
  void TearDown() override {
    ProgressDialog_Install(nullptr);
    AppTest::TearDown();
  }

  // The window's timer every 10 ms until every load has ended, as the window runs it:
  // the drain (woken by the reader) and timer 1. Returns the longest time one call into
  // the application held the thread; `ticks` counts the ticks that ran while loading.
  double TickUntilLoaded(int* ticks = nullptr) {
    double longest = 0;
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(60);
    while (App_Loading(&app()) && Clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const Clock::time_point start = Clock::now();
      App_DrainCommands(&app());
      App_Timer1(&app());
      longest = std::max(longest, Ms(Clock::now() - start));
      if (ticks) ++*ticks;
    }
    EXPECT_FALSE(App_Loading(&app())) << "the load never ended";
    return longest;
  }
  static double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

  // Track `i` holds `frames` frames of `value` / 32768 (as a loaded file gives it).
  void ExpectLoop(int i, int frames, int16_t value) {
    ASSERT_EQ(Audio_GetLoopLength(slot(i)), frames) << "track " << i + 1;
    EXPECT_FLOAT_EQ(LoopPeak(i), value / 32768.0f) << "track " << i + 1;
  }

  RecordingProgress progress;
};

constexpr int kLongFrames = 240 * 48000;  // a 240 s stereo loop: 46 MB of WAV

TEST_F(LoadsTest, ALongLoopLoadsWhileTheTimerKeepsTicking) {
  const std::string wav = MakeWav("long.wav", kLongFrames, 12000);
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{1}, wav, false));
  const double started = Ms(Clock::now() - start);
  EXPECT_TRUE(App_StripLoading(&app(), 1));
  EXPECT_EQ(progress.calls, std::vector<std::string>{"Loading Track 2 1"});
  int ticks = 0;
  const double longest = std::max(started, TickUntilLoaded(&ticks));
  EXPECT_LT(longest, 50.0) << "the user-interface thread was held " << longest << " ms";
  EXPECT_GT(ticks, 0);
  ExpectLoop(1, kLongFrames, 12000);
  EXPECT_EQ(strip(1).name, "long");
  EXPECT_FALSE(strip(1).empty);
  EXPECT_TRUE(app().session.dirty);
  EXPECT_TRUE(progress.Closed());
}

TEST_F(LoadsTest, ACancelledLoadLeavesTheTrackAsItWas) {
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, MakeWav("kept.wav", 4800, 3000), false));
  App_WaitForLoads(&app());
  App_SetDirty(&app(), false);
  const std::string wav = MakeWav("long.wav", kLongFrames, 12000);

  // From the progress window.
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, wav, false));
  progress.cancel = true;
  TickUntilLoaded();
  progress.cancel = false;
  ExpectLoop(0, 4800, 3000);
  EXPECT_EQ(strip(0).name, "kept");
  EXPECT_FALSE(app().session.dirty);
  EXPECT_TRUE(dialog.shown.empty());  // a cancelled read says nothing

  // By a newer load of the same track: the newer file wins, whatever ends first.
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, wav, false));
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, MakeWav("newer.wav", 9600, 5000), false));
  TickUntilLoaded();
  ExpectLoop(0, 9600, 5000);
  EXPECT_EQ(strip(0).name, "newer");

  // By closing the program: nothing is handed over, nothing is left behind.
  App_SetDirty(&app(), false);
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, wav, false));
  EXPECT_TRUE(App_Close(&app()));
  EXPECT_FALSE(App_Loading(&app()));
  ExpectLoop(0, 9600, 5000);
}

TEST_F(LoadsTest, CommandsThatWouldChangeALoadingTrackAreRefusedOnce) {
  const std::string wav = MakeWav("long.wav", kLongFrames, 12000);
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, wav, false));
  App_Command(&app(), Command::TransportRecord);
  EXPECT_EQ(Audio_GetTransportState(), Stopped);
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].text, "Track 1 is still loading.\nTry again once it has loaded, or cancel its load.");
  EXPECT_EQ(dialog.shown[0].caption, "Loading");
  // Refused again, but a stream of MIDI commands does not pile up message boxes.
  App_Command(&app(), Command::TransportErase);
  App_Command(&app(), Command::SaveSession);
  EXPECT_EQ(dialog.shown.size(), 1u);
  EXPECT_TRUE(sessions.calls.empty());
  // What leaves the loop alone goes on: another track, the mixer, the transport.
  App_Command(&app(), Command::TrackMute, App_Parameter(0, 0));
  EXPECT_TRUE(strip(0).mute);
  App_Command(&app(), Command::TrackRecord, App_Parameter(3, 0));
  EXPECT_EQ(app().tracks.current, 3);
  App_Command(&app(), Command::TrackRecord, App_Parameter(0, 0));  // back onto the loading track
  EXPECT_EQ(app().tracks.current, 3);
  TickUntilLoaded();
  ExpectLoop(0, kLongFrames, 12000);

  // Once loaded, the same commands run, and the next refusal is explained again.
  App_Command(&app(), Command::TrackRecord, App_Parameter(0, 0));
  EXPECT_EQ(app().tracks.current, 0);
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, wav, false));
  App_Command(&app(), Command::TransportRecord);
  EXPECT_EQ(dialog.shown.size(), 2u);
  App_CancelLoads(&app());
}

// A session of several loops: read off the thread, it comes back as the waiting load
// gives it, with the same questions in the same order; while it loads, nothing may
// replace it or change its tracks.
TEST_F(LoadsTest, ASessionLoadsAsTheWaitingLoadGivesIt) {
  AppSessionStore store(App_SessionParts(&app()));
  app().sessions = &store;
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, MakeWav("a.wav", 48000, 1000), false));
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{2}, MakeWav("b.wav", kLongFrames / 8, 2000), false));
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{5}, MakeWav("c.wav", 24000, 3000), false));
  App_WaitForLoads(&app());
  LoopStrip_SetMute(&app().tracks, StripIndex{2}, true);
  Audio_SetEditBegin(slot(2), 1.5);
  Audio_SetEditEnd(slot(2), 3.25);
  ASSERT_TRUE(store.Save(dir + "/Gig"));

  struct Seen {
    std::string name[kStripCount];
    int32_t length[kStripCount];
    float peak[kStripCount];
    bool mute[kStripCount], empty[kStripCount];
    double begin, end;
    std::vector<std::string> progress;
    int steps;
    bool operator==(const Seen&) const = default;
  };
  const auto see = [&] {
    Seen s{};
    for (int i = 0; i < kStripCount; ++i) {
      s.name[i] = strip(i).name, s.length[i] = Audio_GetLoopLength(slot(i)), s.peak[i] = LoopPeak(i);
      s.mute[i] = strip(i).mute, s.empty[i] = strip(i).empty;
    }
    s.begin = Audio_GetEditBeginSeconds(slot(2)), s.end = Audio_GetEditEndSeconds(slot(2));
    s.progress = progress.calls, s.steps = progress.steps;
    return s;
  };

  // The reference: the load that waits for every file.
  Restart();
  progress = RecordingProgress();
  ASSERT_TRUE(SessionFile_Load(App_SessionParts(&app()), dir + "/Gig", true));
  const Seen waited = see();
  ASSERT_EQ(waited.length[2], kLongFrames / 8);

  Restart();
  progress = RecordingProgress();
  AppSessionStore fresh(App_SessionParts(&app()));
  app().sessions = &fresh;
  App_OpenSession(&app(), dir + "/Gig.session");
  EXPECT_TRUE(App_Loading(&app()));
  App_Command(&app(), Command::LoadLoop, App_Parameter(4, 0));
  EXPECT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown.back().text, "A session is still loading.\nTry again once it has loaded, or cancel its load.");
  Drop(4, {dir + "/a.wav"});  // waits for the session, then loads
  EXPECT_EQ(app().session.name, "Gig");
  EXPECT_EQ(strip(4).name, "a");
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{4}, dir + "/a.wav", false));  // the drop's load again, then
  TickUntilLoaded();
  Seen loaded = see();
  loaded.name[4] = waited.name[4], loaded.length[4] = waited.length[4], loaded.peak[4] = waited.peak[4];
  loaded.empty[4] = waited.empty[4], loaded.mute[4] = waited.mute[4];
  loaded.progress.resize(std::min(loaded.progress.size(), waited.progress.size()));
  loaded.steps = std::min(loaded.steps, waited.steps);
  EXPECT_TRUE(loaded == waited);
  EXPECT_EQ(app().session.name, "Gig");
}

TEST_F(LoadsTest, ACancelledSessionLeavesTheSkippedTracksEmptyAndAsksBeforeItIsLost) {
  AppSessionStore store(App_SessionParts(&app()));
  app().sessions = &store;
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, MakeWav("a.wav", 48000, 1000), false));
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{3}, MakeWav("long.wav", kLongFrames, 2000), false));
  App_WaitForLoads(&app());
  ASSERT_TRUE(store.Save(dir + "/Gig"));

  Restart();
  AppSessionStore fresh(App_SessionParts(&app()));
  app().sessions = &fresh;
  App_OpenSession(&app(), dir + "/Gig.session");
  ASSERT_TRUE(App_Loading(&app()));
  progress.cancel = true;  // the session's progress window
  TickUntilLoaded();
  EXPECT_EQ(app().session.name, "Gig");
  EXPECT_TRUE(app().session.dirty);
  EXPECT_TRUE(strip(3).empty);  // skipped: empty, as a missing file leaves it
  EXPECT_EQ(LoopPeak(3), 0.0f);  // its loop time kept, silent
  EXPECT_TRUE(progress.Closed());
}


// The window keeps running inside a load: its timer may tick while the progress window
// opens, and an Exit may arrive while the load asks for a missing file. Neither may end
// the load under itself; the load stops, and nothing of it is handed over afterwards.
TEST_F(LoadsTest, TheWindowRunningInsideALoadEndsNothingUnderIt) {
  // The progress window opens: the load is already known, so a tick finishes nothing and
  // a command on its track is refused.
  bool loadingWhileOpening = false;
  progress.duringOpen = [&] {
    App_DrainCommands(&app());
    App_Timer1(&app());
    loadingWhileOpening = App_StripLoading(&app(), 0);
    App_Command(&app(), Command::TransportErase);
  };
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{0}, MakeWav("a.wav", 48000, 1000), false));
  progress.duringOpen = nullptr;
  EXPECT_TRUE(loadingWhileOpening);
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].text, "Track 1 is still loading.\nTry again once it has loaded, or cancel its load.");
  TickUntilLoaded();
  ExpectLoop(0, 48000, 1000);
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"Loading Track 1 1", "Close"}));

  // Exit while a session load asks where a missing file went.
  AppSessionStore store(App_SessionParts(&app()));
  app().sessions = &store;
  ASSERT_TRUE(App_LoadLoop(&app(), StripIndex{3}, MakeWav("long.wav", kLongFrames / 4, 2000), false));
  App_WaitForLoads(&app());
  ASSERT_TRUE(store.Save(dir + "/Gig"));
  for (const auto& f : std::filesystem::recursive_directory_iterator(dir))
    if (f.path().filename() == "a.wav") std::filesystem::remove(f.path());

  Restart();
  AppSessionStore fresh(App_SessionParts(&app()));
  app().sessions = &fresh;
  bool closed = false;
  files.during = [&] { closed = App_Close(&app()); };
  App_OpenSession(&app(), dir + "/Gig.session");
  files.during = nullptr;
  ASSERT_EQ(files.titles, std::vector<std::string>{"Please locate file a.wav"});
  EXPECT_TRUE(closed);
  TickUntilLoaded();
  EXPECT_TRUE(strip(0).empty);
  EXPECT_TRUE(strip(3).empty);  // never read: the load stopped at the question
  EXPECT_EQ(LoopPeak(3), 0.0f);
}

}  // namespace
