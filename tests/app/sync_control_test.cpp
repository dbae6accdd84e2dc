// Following an external tempo in the application: the chosen source, the fallback of the
// sources this build cannot follow, and the followed tempo reaching the Tempo field, the
// loop time and the panel's sync line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "app/app.h"
#include "app/app_fixture.h"
#include "app/panel_view.h"
#include "app/settings/preferences.h"
#include "app/sync_control.h"
#include "audio_io/jack_own_client.h"
#include "audio_io/link_session.h"
#include "control/midi_clock_in.h"
#include "control/midi_ports.h"
#include "engine/sync_follow.h"

namespace {

constexpr int64_t kT0 = 5000LL * 1000000000LL;

class SyncControl : public AppTest {
 protected:
  void TearDown() override {
    Audio_SetCallbackRunning(false);
    App_StopSync(&app());
    AppTest::TearDown();
  }
  static int64_t Clock(void*, uint64_t frame, double rate) {
    return kT0 + std::llround(static_cast<double>(frame) * 1e9 / rate);
  }
  // `seconds` of a MIDI clock at `bpm` (Start first), delivered block by block while the
  // callback runs, with timer 1 and 2 ticking every 10 ms.
  void PlayClock(double bpm, double seconds, bool ticking = true) {
    AudioEngine* e = Audio_GetEngine();
    SyncFollow_UseClock(e, Clock, nullptr);
    const double period = 60.0 / (24.0 * bpm);
    if (nextTick == 0) midi.InjectAt(midiIn, 0xFA, kT0);
    if (nextTick == 0) nextTick = kT0 + 1000000;
    const int64_t end = Clock(nullptr, e->sync.frame, 48000) + static_cast<int64_t>(seconds * 1e9);
    int blocks = 0;
    while (Clock(nullptr, e->sync.frame, 48000) < end) {
      const int64_t now = Clock(nullptr, e->sync.frame, 48000);
      for (; nextTick <= now; nextTick += static_cast<int64_t>(period * 1e9))
        if (ticking) midi.InjectAt(midiIn, 0xF8, nextTick);
      App_Timer2(&app());
      Run(256, 256);
      if (++blocks % 2 == 0) App_Timer1(&app());
    }
  }
  int64_t nextTick = 0;
};

// JACK transport without a server, and Link alone in a session, leave Kestrine on its own
// tempo and say so in the sync line (no box: it may be the middle of a song); the command
// line's choice holds until the user chooses in the Preferences.
TEST_F(SyncControl, AbsentSourcesKeepTheOwnTempoAndTheCommandLineWinsUntilTheUserChooses) {
  ::setenv("JACK_DEFAULT_SERVER", "kestrine-no-such-server", 1);
  ::setenv("JACK_NO_START_SERVER", "1", 1);
  JackOwnClient jack;
  app().syncJack = &jack;
  App_Preferences().sync_source = SyncMidiClock;
  app().syncFromCommandLine = SyncJackTransport;
  EXPECT_EQ(App_SyncSource(&app()), SyncJackTransport);
  App_StartSync(&app());
  ::unsetenv("JACK_DEFAULT_SERVER");
  EXPECT_EQ(app().sync.running, SyncJackTransport);
  EXPECT_FALSE(jack.IsOpen());
  EXPECT_EQ(Audio_GetEngine()->sync.source.load(), nullptr);
  Audio_SetCallbackRunning(true);
  Run(4096, 256);
  App_Timer1(&app());
  EXPECT_EQ(App_Panel(&app()).syncStatus, "JACK transport: no JACK server, own tempo");
  EXPECT_DOUBLE_EQ(app().loopTime.tempo, 120.0);
  EXPECT_TRUE(dialog.shown.empty());

  // Choosing MIDI clock in the Preferences dialog takes over from the command line at once.
  App_Preferences().sync_source = SyncInternal;
  Preferences_ApplySyncSource(SyncMidiClock);
  EXPECT_EQ(app().sync.running, SyncMidiClock);
  EXPECT_NE(Audio_GetEngine()->sync.source.load(), nullptr);
  EXPECT_EQ(App_Panel(&app()).syncStatus, "MIDI clock: waiting");

  // Link alone (a session of the test's own, never enabled: no packet leaves the machine).
  LinkSession link(120.0);
  app().syncLink = &link;
  Preferences_ApplySyncSource(SyncAbletonLink);
  EXPECT_EQ(app().sync.running, SyncAbletonLink);
  Run(4096, 256);
  App_Timer1(&app());
  EXPECT_EQ(App_Panel(&app()).syncStatus, "Ableton Link: no peers, own tempo");
  EXPECT_FALSE(Audio_GetEngine()->sync.following.load());
  EXPECT_DOUBLE_EQ(app().loopTime.tempo, 120.0);
  Preferences_ApplySyncSource(SyncInternal);
  EXPECT_EQ(Audio_GetEngine()->sync.source.load(), nullptr);
  EXPECT_EQ(App_Panel(&app()).syncStatus, "");
  EXPECT_TRUE(dialog.shown.empty());
}

TEST_F(SyncControl, TheFollowedTempoSetsTheTempoFieldAndLoopTimeButNotRecordedLoops) {
  app().syncFromCommandLine = SyncMidiClock;
  App_StartSync(&app());
  ASSERT_TRUE(dialog.shown.empty());
  Audio_SetCallbackRunning(true);
  PlayClock(126.0, 2.0);
  EXPECT_EQ(App_Field(&app(), PanelField::Tempo), "126");
  EXPECT_DOUBLE_EQ(app().loopTime.tempo, 126.0);
  EXPECT_DOUBLE_EQ(App_OscState(&app()).tempo, 126.0);  // what OSC "tempo" reports
  // Measures mode: measures x beats per measure x 60 / tempo.
  EXPECT_NEAR(LoopTime_ModeSeconds(app().loopTime), 2 * 4 * 60.0 / 126.0, 1e-9);
  EXPECT_EQ(App_Panel(&app()).syncStatus, "MIDI clock 126.0 BPM");
  EXPECT_EQ(Audio_GetEngine()->framesPerBeat.load(), static_cast<int32_t>(48000 * 60.0 / 126.0));  // the click follows

  // A take recorded now starts on the clock's next bar and is whole bars long; the source
  // then moves to 120 and the take keeps its length and its own tempo.
  Do(Command::TransportRecord);
  EXPECT_EQ(Audio_GetEngine()->state.load(), Stopped) << "waits for the next bar";
  PlayClock(126.0, 2.5);
  Do(Command::TransportSetLoop);
  PlayClock(126.0, 2.5);
  const double bar = 4 * 48000 * 60.0 / 126.0;
  const int32_t length = Audio_GetLoopLength(slot(app().tracks.current));
  EXPECT_GE(length, bar - 1);
  EXPECT_NEAR(length / bar, std::round(length / bar), 1.0 / bar);
  PlayClock(120.0, 3.0);
  EXPECT_EQ(App_Field(&app(), PanelField::Tempo), "120");
  EXPECT_EQ(Audio_GetLoopLength(slot(app().tracks.current)), length);
  EXPECT_EQ(App_Panel(&app()).syncStatus, "MIDI clock 120.0 BPM (loop 126.0)");
}

TEST_F(SyncControl, AClockOutOfRangeOrLostIsShownInTheSyncLine) {
  app().syncFromCommandLine = SyncMidiClock;
  App_StartSync(&app());
  Audio_SetCallbackRunning(true);
  PlayClock(400.0, 1.0);
  EXPECT_EQ(App_Panel(&app()).syncStatus, "MIDI clock at 400 BPM ignored (20-300 BPM followed)");
  EXPECT_DOUBLE_EQ(app().loopTime.tempo, 120.0);
  EXPECT_TRUE(dialog.shown.empty());  // not a box in the middle of a song

  PlayClock(100.0, 2.0);
  EXPECT_EQ(App_Panel(&app()).syncStatus, "MIDI clock 100.0 BPM");
  PlayClock(100.0, 1.5, false);  // the cable pulled
  EXPECT_EQ(App_Panel(&app()).syncStatus, "MIDI clock lost: playing on at the last tempo");
  EXPECT_DOUBLE_EQ(app().loopTime.tempo, 100.0);
  EXPECT_TRUE(dialog.shown.empty());
}

}  // namespace

namespace {

// With Internal, the lead choices attach their leaders: Link to a session (the test's own,
// never enabled), JACK only where a server runs.
TEST_F(SyncControl, InternalLeadsAsALinkPeerAndAsTimebaseMasterOnlyWithAServer) {
  ::setenv("JACK_DEFAULT_SERVER", "kestrine-no-such-server", 1);
  ::setenv("JACK_NO_START_SERVER", "1", 1);
  JackOwnClient jack;
  LinkSession link(100.0);
  app().syncJack = &jack;
  app().syncLink = &link;
  App_StartSync(&app());
  EXPECT_EQ(Audio_GetEngine()->lead.attached.load(), 0) << "nothing chosen: the callback as before";
  Preferences_ApplySyncLead(true, true);
  ::unsetenv("JACK_DEFAULT_SERVER");
  EXPECT_EQ(app().sync.running, SyncInternal);
  EXPECT_EQ(Audio_GetEngine()->lead.attached.load(), 1);
  EXPECT_NE(Audio_GetEngine()->lead.leaders[1].load(), nullptr);
  EXPECT_FALSE(jack.IsOpen());
  Audio_SetCallbackRunning(true);
  Do(Command::TransportPlay);
  Run(48000, 256);
  EXPECT_NEAR(link.Read(link.NowMicros(), 4).bpm, 120.0, 1e-9) << "Kestrine's tempo proposed to the session";
  Preferences_ApplySyncLead(false, false);
  EXPECT_EQ(Audio_GetEngine()->lead.attached.load(), 0);
}

}  // namespace
