// Every row of the action catalogue fired through the main window's command path: each
// row's effect on the engine, the effects panel, the strips or the seams.
#include <algorithm>
#include <functional>

#include "app/app_fixture.h"
#include "app/panel_view.h"
#include "audio_io/mix_disk_writer.h"
#include "control/action_catalogue.h"
#include "engine/effects_ops.h"
#include "engine/metronome.h"
#include "engine/undo.h"

namespace {
using Check = std::function<void()>;
struct RowCase {
  int row, track, value;
  Check before, check;
  int setValue = -1;  // >= 0: the next row is this toggle's Set twin, given this value, with the same effect
};
Check Is(std::function<double()> get, double want) {
  return [get, want] { EXPECT_EQ(get(), want); };
}
}  // namespace

TEST_F(AppTest, EveryCatalogueRowHasItsEffect) {
  auto state = [](TransportState s) -> Check { return [s] { EXPECT_EQ(Audio_GetTransportState(), s); }; };
  auto length = [&](int32_t frames) { return Is([&] { return Audio_GetLoopLength(slot(0)); }, frames); };
  auto rate = [&](double r) { return Is([&] { return Audio_GetTrackRate(slot(0)); }, r); };
  auto vol = [&](int s) { return track(slot(s)).volume.load(); };
  auto fx = [&] { return app().effects; };
  auto fill = [&] { std::fill_n(track(slot(0)).pBuffer.load(), 1000, 0.5f); };
  const int max = 65535;

  std::vector<RowCase> rows = {
      {0, 0, 0, {}, state(Recording)},
      {1, 0, 0, [&] { Do(Command::TransportRecord); }, state(Stopped)},
      {2, 0, 0, {}, state(Playing)},
      {3, 0, 0, fill, Is([&] { return LoopPeak(0); }, 0.0)},
      {4, 0, 0, {}, state(Paused)},
      {5, 0, 0, [&] { Do(Command::TransportRecord), Run(4800); }, Is([&] { return engine()->pendingCutTrack; }, slot(0))},
      {6, 0, 0, {}, length(384000)},
      {7, 0, 0, {}, length(96000)},
      {8, 0, 0, [&] { fill(), Audio_ResetUndo(), Do(Command::TransportErase); }, Is([&] { return LoopPeak(0); }, 0.5)},
      {136, 0, 0, [&] { fill(), Audio_ResetUndo(), Do(Command::TransportErase), Do(Command::TransportUndo); },
       Is([&] { return LoopPeak(0); }, 0.0)},
      {9, 0, 0, [&] { strip(0).slow = true; }, [&] { EXPECT_TRUE(app().tracks.globalSlow); EXPECT_EQ(Audio_GetTrackRate(slot(0)), 0.5); }, 1},
      {11, 0, 0, [&] { strip(0).reverse = true; }, [&] { EXPECT_TRUE(app().tracks.globalReverse); EXPECT_EQ(Audio_GetTrackRate(slot(0)), -1.0); }, 1},
      {13, 0, 0, {}, state(InsertWaiting)},
      {14, 0, 0, {}, [&] { ControlCommand c; EXPECT_TRUE(ControlCommands().Take(&c) && c.commandId == CommandId(Command::TransportPlay)); }},
      {15, 0, 0, {}, state(Recording)},
      {16, 0, 0, {}, state(Playing)},
      {17, 0, 0, {}, state(Playing)},
      {18, 2, 0, [&] { LoopStrip_SetSubmix(&app().tracks, StripIndex{2}, 1); }, Is([&] { return Audio_GetTrackSubmix(slot(2)); }, 0), 0},  // B back to A
      {20, 0, 0, {}, [&] { EXPECT_TRUE(strip(0).mute); EXPECT_EQ(vol(0), 0.0); }},
      {21, 1, 0, {}, [&] { EXPECT_FALSE(strip(1).mute); EXPECT_EQ(vol(1), 1.0); }},
      {22, 3, 0, {}, [&] {
         EXPECT_EQ(vol(3), 1.0);  // soloed though muted; the others silent until it is not
         EXPECT_EQ(vol(0), 0.0);
         Do(Command::TrackSolo, 3);
         EXPECT_EQ(vol(3), 0.0);
         EXPECT_EQ(vol(0), 1.0);
         App_KeyDown(&app(), Key::Shift);  // Shift held: solos add up
         Do(Command::TrackSolo, 3), Do(Command::TrackSolo, 5);
         App_KeyUp(&app(), Key::Shift);
         EXPECT_TRUE(strip(3).solo && strip(5).solo);
         Do(Command::TrackSolo, 1);
         EXPECT_TRUE(strip(1).solo && !strip(3).solo && !strip(5).solo);
       }, 1},
      {24, 4, 0, {}, [&] { EXPECT_EQ(app().tracks.current, 4); EXPECT_EQ(track(slot(4)).record, 1u); }},
      {25, 1, 0, {}, Is([&] { return Audio_GetTrackEffects(slot(1)); }, 1), 1},
      {27, 1, max, {}, Is([&] { return Audio_GetTrackEffectsMix(slot(1)); }, 1.0)},
      {28, 0, 0, [&] { app().tracks.globalSlow = true; }, rate(0.5), 1},
      {30, 0, 0, [&] { app().tracks.globalReverse = true; }, rate(-1.0), 1},
      {32, 0, 32768, {}, [&] { EXPECT_EQ(strip(0).volume, 63); EXPECT_DOUBLE_EQ(vol(0), 63 / 127.0); }},
      {58, 0, max, {}, [&] { for (int s = 0; s < 8; ++s) EXPECT_EQ(Audio_GetTrackFeedback(slot(s)), 1.0); }},
      {59, 0, 0, {}, Is(Audio_GetMasterVolume, 0.0)},
      {60, 0, 0, {}, Is([&] { return engine()->masterMute; }, 1)},
      {61, 0, 0, {}, Is([&] { return engine()->submixVolume[0]; }, 0.0)},
      {62, 0, 0, {}, Is([&] { return engine()->submixMute[0]; }, 1)},
      {63, 0, 0, {}, Is([&] { return engine()->submixVolume[1]; }, 0.0)},
      {64, 0, 0, {}, Is([&] { return engine()->submixMute[1]; }, 1)},
      {65, 0, 16384, {}, [&] { EXPECT_NEAR(engine()->submixVolume[0], 0.25, 1e-4); EXPECT_NEAR(engine()->submixVolume[1], 0.75, 1e-4); }},
      {66, 0, 0, {}, Is(Audio_GetDelayEnabled, 0), 0},
      {68, 0, 0, {}, Is([&] { return fx().delayLink; }, false), 0},
      {70, 0, 0, {}, Is(Audio_GetDelayMode, 1), 1},
      {72, 0, 0, {}, Is([&] { return fx().delaySync; }, true), 1},
      {74, 0, max, {}, Is([&] { return fx().delayMilliseconds[0]; }, ActionValue_Ms(max, 640))},
      {75, 0, max, [&] { Do(Command::DelayLink); }, Is([&] { return fx().delayMilliseconds[1]; }, ActionValue_Ms(max, 640))},
      {76, 0, max, {}, Is([&] { return fx().delayFeedback[0]; }, 127)},
      {77, 0, max, [&] { Do(Command::DelayLink); }, Is([&] { return fx().delayFeedback[1]; }, 127)},
      {78, 0, max, {}, Is([&] { return fx().delayMix; }, 127)},
      {79, 0, 0, {}, [&] { EXPECT_EQ(fx().filterFrequency[0], 0); EXPECT_EQ(Audio_GetFilterFrequency(0), 1.0); }},
      {80, 0, max, {}, Is([] { return Audio_GetFilterResonance(0); }, 1.0)},
      {81, 0, max, {}, Is([&] { return fx().lfoRate[0]; }, 127)},
      {82, 0, max, {}, Is([] { return Audio_GetFilterLfoDepth(0); }, 1.0)},
      {83, 0, 0, {}, Is(Audio_GetFilterEnabled, 1), 1},
      {85, 0, 0, {}, Is(Audio_GetFilterLfoEnabled, 1), 1},
      {87, 0, 0, {}, Is([&] { return fx().filterLink; }, false), 0},
      {89, 0, 0, {}, Is([&] { return fx().lfoLink; }, false), 0},
      {91, 0, 0, [&] { Do(Command::FilterModeSet, 0, max); }, Is(Audio_GetFilterMode, 0)},
      {92, 0, 1, {}, Is(Audio_GetFilterMode, 1)},
      {93, 0, 0, {}, Is(Audio_GetReverbEnabled, 1), 1},
      {95, 0, 0, {}, [&] { EXPECT_EQ(fx().reverbLength, 0); EXPECT_EQ(Audio_GetReverbRoomSize(), 0.0); }},
      {96, 0, 0, {}, Is([&] { return fx().reverbMix; }, 0)},
      {97, 0, 0, {}, [&] { EXPECT_EQ(fx().reverbDamping, 0); EXPECT_EQ(Audio_GetReverbDamping(), 0.0); }},
      {98, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetMetronomeRecord(), 1); EXPECT_TRUE(app().metronome.recordBox); }, 1},
      {100, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetMetronomePlayback(), 1); EXPECT_TRUE(app().metronome.playBox); }, 1},
      {102, 0, max, {}, Is(Audio_GetMetronomeVolume, 1.0)},
      {103, 1, 0, {}, [&] { EXPECT_EQ(track(slot(1)).rightGain, 0.0); EXPECT_EQ(track(slot(1)).leftGain, 1.0); }},
      {104, 0, 0, {}, Is([&] { return app().tracks.current; }, 1)},
      {105, 0, 0, {}, Is([&] { return app().tracks.current; }, 7)},
      {106, 5, 0, {}, [&] { EXPECT_EQ(app().tracks.current, 5); Do(Command::SetTrack, 8); EXPECT_EQ(app().tracks.current, 5); }},  // 8: no track
      {125, 0, 0, {}, Is(Audio_GetMixToTrack, 1)},
      {126, 0, 0, [&] { Do(Command::TransportPlay); }, [&] {
         EXPECT_EQ(Audio_GetMixFilePath(), dir + "/untitled_Mix/untitled_00.wav");
         MixDisk_Writer()->maxDataBytes = 4096;  // the writer closes itself: the timer turns Mix->Disk off
         Run(96000 + 512);
         App_Timer1(&app());
         EXPECT_FALSE(Audio_IsMixingToDisk() || App_Panel(&app()).mixToDisk);
       }},
      {127, 0, 0, [&] { App_EditField(&app(), PanelField::Tempo, "90"); },
       [&] { EXPECT_EQ(Audio_GetMetronomeRecord(), 1); EXPECT_EQ(app().loopTime.tempo, 90.0); }},
      {128, 0, 0, [&] { App_EditField(&app(), PanelField::Tempo, "90"); },
       [&] { EXPECT_EQ(Audio_GetMetronomePlayback(), 1); EXPECT_EQ(app().loopTime.tempo, 90.0); }},
      {129, 1, 0, {}, [&] {  // any other track field steps the mode
         EXPECT_EQ(app().loopTime.mode, LoopTimeSeconds); Do(Command::LoopTimeMode, 8); EXPECT_EQ(app().loopTime.mode, LoopTimeMeasures); }},
      {130, 0, 0, [&] { App_EditField(&app(), PanelField::Measures, "1"); },
       [&] { EXPECT_EQ(Audio_GetLoopLength(slot(0)), 96000); EXPECT_EQ(Audio_GetLoopLength(slot(1)), 192000); }},
      {131, 0, 0, {}, [&] { EXPECT_EQ(app().fields[PanelField::Seconds], "4.000000"); }},
      {132, 0, 0, [&] {  // two taps 600 ms apart
         static int64_t now = 1000;
         app().loopTime.tap.clock = TapClock{[] { return now; }, 1000};
         Do(Command::TapLoopTime), now = 1600;
       },
       [&] { EXPECT_EQ(app().loopTime.tempo, 100.0); EXPECT_EQ(app().fields[PanelField::Tempo], "100"); }},
      {133, 0, 0, [&] { app().loopTime.target = LoopTimeTarget::All; }, [&] { EXPECT_EQ(app().loopTime.target, LoopTimeTarget::Current); }},
      {134, 0, 0, {}, [&] { EXPECT_EQ(app().loopTime.target, LoopTimeTarget::Empty); }},
      {135, 0, 0, {}, [&] { EXPECT_EQ(app().loopTime.target, LoopTimeTarget::All); }},
  };
  // The loop edit rows reach the loop edit view; positions are given half way.
  const char* editCalls[] = {"Trim", "Zoom 0 0 0", "Zoom 1 0 0", "Zoom 2 0 0", "Zoom 3 0 0", "LoopSelection",
                             "SetStartPoint", "Move -1 0 0", "Move 1 0 0", "Move -1 1 0", "Move 1 1 0",
                             "Move -1 0 1", "Move 1 0 1", "Move -1 1 1", "Move 1 1 1", "Position 50 0 0",
                             "Position 50 1 0", "Position 50 0 0", "Position 50 0 1", "Position 50 1 0",
                             "Position 50 1 1", "Edge 0 0 0", "Edge 1 0 0", "Edge 0 1 0", "Edge 1 1 0"};
  for (int r = 33; r <= 57; ++r) {
    const std::string call = editCalls[r - 33];
    rows.push_back({r, 0, call[0] == 'P' ? 32768 : 0, {}, [&, call] { EXPECT_EQ(loopEdit.Last(), call); }});
  }
  // The session rows reach the session store.
  auto session = [&](const std::string& call) -> Check {
    return [&, call] { ASSERT_FALSE(sessions.calls.empty()); EXPECT_EQ(sessions.calls.back(), call); };
  };
  rows.push_back({107, 0, 0, {}, session("LoadDefault")});
  rows.push_back({108, 0, 0, {}, session("SaveDefault")});
  for (int n = 1; n <= 8; ++n) {
    rows.push_back({108 + n, 0, 0, {}, session("LoadQuicksave " + std::to_string(n))});
    rows.push_back({116 + n, 0, 0, {}, session("Quicksave Quicksave0" + std::to_string(n))});
  }
  for (size_t i = 0, n = rows.size(); i < n; ++i)
    if (rows[i].setValue >= 0) rows.push_back({rows[i].row + 1, rows[i].track, rows[i].setValue, rows[i].before, rows[i].check});
  std::sort(rows.begin(), rows.end(), [](const RowCase& a, const RowCase& b) { return a.row < b.row; });

  ASSERT_EQ(rows.size(), static_cast<size_t>(kActionCount));
  for (size_t i = 0; i < rows.size(); ++i) {
    const RowCase& r = rows[i];
    ASSERT_EQ(r.row, static_cast<int>(i));
    Restart();
    const ActionRow& row = ActionCatalogue_Row(r.row);
    SCOPED_TRACE(row.keyName);
    if (r.before) r.before();
    App_Command(&app(), row.commandId, App_Parameter(r.track, r.value));
    r.check();
  }
}
