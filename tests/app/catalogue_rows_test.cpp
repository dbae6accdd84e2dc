// Every row of the action catalogue fired through the main window's command path: each
// row's effect on the engine, the effects panel, the strips or the seams.
#include <cmath>
#include <functional>

#include "app/app_fixture.h"
#include "app/preferences.h"
#include "audio_io/mix_disk_writer.h"
#include "control/action_catalogue.h"
#include "engine/effects_ops.h"
#include "engine/metronome.h"
#include "engine/undo.h"

namespace {
struct RowCase {
  int row;
  int track;
  int value;
  std::function<void()> before;
  std::function<void()> check;
};
}  // namespace

TEST_F(AppTest, EveryCatalogueRowHasItsEffect) {
  auto state = [] { return Audio_GetTransportState(); };
  auto vol = [&](int s) { return track(slot(s)).volume.load(); };
  auto edit = [&](const char* call) { return [&, call] { EXPECT_EQ(loopEdit.Last(), call); }; };
  auto session = [&](std::string call) { return [&, call] { ASSERT_FALSE(sessions.calls.empty()); EXPECT_EQ(sessions.calls.back(), call); }; };
  auto fill = [&] {
    float* b = track(slot(0)).pBuffer;
    for (int i = 0; i < 1000; ++i) b[i] = 0.5f;
  };
  auto fx = [&] { return app().effects; };
  const int max = 65535;

  const std::vector<RowCase> rows = {
      {0, 0, 0, {}, [&] { EXPECT_EQ(state(), Recording); }},
      {1, 0, 0, [&] { Do(Command::TransportRecord); }, [&] { EXPECT_EQ(state(), Stopped); }},
      {2, 0, 0, {}, [&] { EXPECT_EQ(state(), Playing); }},
      {3, 0, 0, fill, [&] { EXPECT_EQ(LoopPeak(0), 0.0f); }},
      {4, 0, 0, {}, [&] { EXPECT_EQ(state(), Paused); }},
      {5, 0, 0, [&] { Do(Command::TransportRecord); Run(4800); },
       [&] { EXPECT_EQ(engine()->pendingCutTrack, slot(0)); }},
      {6, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetLoopLength(slot(0)), 384000); }},
      {7, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetLoopLength(slot(0)), 96000); }},
      {8, 0, 0, [&] { fill(); Audio_ResetUndo(); Do(Command::TransportErase); },
       [&] { EXPECT_EQ(LoopPeak(0), 0.5f); }},
      {9, 0, 0, [&] { strip(0).slow = true; }, [&] { EXPECT_EQ(Audio_GetTrackRate(slot(0)), 0.5); }},
      {10, 0, 1, [&] { strip(0).slow = true; }, [&] { EXPECT_TRUE(app().globalSlow); EXPECT_EQ(Audio_GetTrackRate(slot(0)), 0.5); }},
      {11, 0, 0, [&] { strip(0).reverse = true; }, [&] { EXPECT_EQ(Audio_GetTrackRate(slot(0)), -1.0); }},
      {12, 0, 1, [&] { strip(0).reverse = true; }, [&] { EXPECT_TRUE(app().globalReverse); EXPECT_EQ(Audio_GetTrackRate(slot(0)), -1.0); }},
      {13, 0, 0, {}, [&] { EXPECT_EQ(state(), InsertWaiting); }},
      {14, 0, 0, {}, [&] {
         ControlCommand posted;
         ASSERT_TRUE(ControlCommands().Take(&posted));
         EXPECT_EQ(posted.commandId, CommandId(Command::TransportPlay));
       }},
      {15, 0, 0, {}, [&] { EXPECT_EQ(state(), Recording); }},
      {16, 0, 0, {}, [&] { EXPECT_EQ(state(), Playing); }},
      {17, 0, 0, {}, [&] { EXPECT_EQ(state(), Playing); }},
      {18, 2, 0, {}, [&] { EXPECT_EQ(Audio_GetTrackSubmix(slot(2)), 1); }},
      {19, 2, 1, {}, [&] { EXPECT_EQ(Audio_GetTrackSubmix(slot(2)), 1); }},
      {20, 0, 0, {}, [&] { EXPECT_TRUE(strip(0).mute); EXPECT_EQ(vol(0), 0.0); }},
      {21, 1, 0, {}, [&] { EXPECT_FALSE(strip(1).mute); EXPECT_EQ(vol(1), 1.0); }},
      {22, 3, 0, {}, [&] { EXPECT_EQ(vol(3), 1.0); EXPECT_EQ(vol(0), 0.0); }},
      {23, 3, 1, {}, [&] { EXPECT_EQ(vol(3), 1.0); EXPECT_EQ(vol(0), 0.0); }},
      {24, 4, 0, {}, [&] { EXPECT_EQ(app().currentTrack, 4); EXPECT_EQ(track(slot(4)).record, 1u); }},
      {25, 1, 0, {}, [&] { EXPECT_EQ(Audio_GetTrackEffects(slot(1)), 1); }},
      {26, 1, 1, {}, [&] { EXPECT_EQ(Audio_GetTrackEffects(slot(1)), 1); }},
      {27, 1, max, {}, [&] { EXPECT_EQ(Audio_GetTrackEffectsMix(slot(1)), 1.0); }},
      {28, 0, 0, [&] { app().globalSlow = true; }, [&] { EXPECT_EQ(Audio_GetTrackRate(slot(0)), 0.5); }},
      {29, 0, 1, [&] { app().globalSlow = true; }, [&] { EXPECT_EQ(Audio_GetTrackRate(slot(0)), 0.5); }},
      {30, 0, 0, [&] { app().globalReverse = true; }, [&] { EXPECT_EQ(Audio_GetTrackRate(slot(0)), -1.0); }},
      {31, 0, 1, [&] { app().globalReverse = true; }, [&] { EXPECT_EQ(Audio_GetTrackRate(slot(0)), -1.0); }},
      {32, 0, 32768, {}, [&] { EXPECT_EQ(strip(0).volume, 63); EXPECT_DOUBLE_EQ(vol(0), 63 / 127.0); }},
      {33, 0, 0, {}, edit("Trim")},
      {34, 0, 0, {}, edit("Zoom 0 0 0")},
      {35, 0, 0, {}, edit("Zoom 1 0 0")},
      {36, 0, 0, {}, edit("Zoom 2 0 0")},
      {37, 0, 0, {}, edit("Zoom 3 0 0")},
      {38, 0, 0, {}, edit("LoopSelection")},
      {39, 0, 0, {}, edit("SetStartPoint")},
      {40, 0, 0, {}, edit("Move -1 0 0")},
      {41, 0, 0, {}, edit("Move 1 0 0")},
      {42, 0, 0, {}, edit("Move -1 1 0")},
      {43, 0, 0, {}, edit("Move 1 1 0")},
      {44, 0, 0, {}, edit("Move -1 0 1")},
      {45, 0, 0, {}, edit("Move 1 0 1")},
      {46, 0, 0, {}, edit("Move -1 1 1")},
      {47, 0, 0, {}, edit("Move 1 1 1")},
      {48, 0, 32768, {}, edit("Position 50 0 0")},
      {49, 0, 32768, {}, edit("Position 50 1 0")},
      {50, 0, 32768, {}, edit("Position 50 0 0")},
      {51, 0, 32768, {}, edit("Position 50 0 1")},
      {52, 0, 32768, {}, edit("Position 50 1 0")},
      {53, 0, 32768, {}, edit("Position 50 1 1")},
      {54, 0, 0, {}, edit("Edge 0 0 0")},
      {55, 0, 0, {}, edit("Edge 1 0 0")},
      {56, 0, 0, {}, edit("Edge 0 1 0")},
      {57, 0, 0, {}, edit("Edge 1 1 0")},
      {58, 0, max, {}, [&] { for (int s = 0; s < 8; ++s) EXPECT_EQ(Audio_GetTrackFeedback(slot(s)), 1.0); }},
      {59, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetMasterVolume(), 0.0); }},
      {60, 0, 0, {}, [&] { EXPECT_EQ(engine()->masterMute, 1); }},
      {61, 0, 0, {}, [&] { EXPECT_EQ(engine()->submixVolume[0], 0.0); }},
      {62, 0, 0, {}, [&] { EXPECT_EQ(engine()->submixMute[0], 1); }},
      {63, 0, 0, {}, [&] { EXPECT_EQ(engine()->submixVolume[1], 0.0); }},
      {64, 0, 0, {}, [&] { EXPECT_EQ(engine()->submixMute[1], 1); }},
      {65, 0, 16384, {}, [&] {
         EXPECT_NEAR(engine()->submixVolume[0], 0.25, 1e-4);
         EXPECT_NEAR(engine()->submixVolume[1], 0.75, 1e-4);
       }},
      {66, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetDelayEnabled(), 0); }},
      {67, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetDelayEnabled(), 0); }},
      {68, 0, 0, {}, [&] { EXPECT_FALSE(fx().delayLink); }},
      {69, 0, 0, {}, [&] { EXPECT_FALSE(fx().delayLink); }},
      {70, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetDelayMode(), 1); }},
      {71, 0, 1, {}, [&] { EXPECT_EQ(Audio_GetDelayMode(), 1); }},
      {72, 0, 0, {}, [&] { EXPECT_TRUE(fx().delaySync); }},
      {73, 0, 1, {}, [&] { EXPECT_TRUE(fx().delaySync); }},
      {74, 0, max, {}, [&] { EXPECT_EQ(fx().delayMilliseconds[0], ActionValue_Ms(max, 640)); }},
      {75, 0, max, [&] { Do(Command::DelayLink); }, [&] { EXPECT_EQ(fx().delayMilliseconds[1], ActionValue_Ms(max, 640)); }},
      {76, 0, max, {}, [&] { EXPECT_EQ(fx().delayFeedback[0], 127); }},
      {77, 0, max, [&] { Do(Command::DelayLink); }, [&] { EXPECT_EQ(fx().delayFeedback[1], 127); }},
      {78, 0, max, {}, [&] { EXPECT_EQ(fx().delayMix, 127); }},
      {79, 0, 0, {}, [&] { EXPECT_EQ(fx().filterFrequency[0], 0); EXPECT_EQ(Audio_GetFilterFrequency(0), 1.0); }},
      {80, 0, max, {}, [&] { EXPECT_EQ(Audio_GetFilterResonance(0), 1.0); }},
      {81, 0, max, {}, [&] { EXPECT_EQ(fx().lfoRate[0], 127); }},
      {82, 0, max, {}, [&] { EXPECT_EQ(Audio_GetFilterLfoDepth(0), 1.0); }},
      {83, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetFilterEnabled(), 1); }},
      {84, 0, 1, {}, [&] { EXPECT_EQ(Audio_GetFilterEnabled(), 1); }},
      {85, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetFilterLfoEnabled(), 1); }},
      {86, 0, 1, {}, [&] { EXPECT_EQ(Audio_GetFilterLfoEnabled(), 1); }},
      {87, 0, 0, {}, [&] { EXPECT_FALSE(fx().filterLink); }},
      {88, 0, 0, {}, [&] { EXPECT_FALSE(fx().filterLink); }},
      {89, 0, 0, {}, [&] { EXPECT_FALSE(fx().lfoLink); }},
      {90, 0, 0, {}, [&] { EXPECT_FALSE(fx().lfoLink); }},
      {91, 0, 0, [&] { Do(Command::FilterModeSet, 0, max); }, [&] { EXPECT_EQ(Audio_GetFilterMode(), 0); }},
      {92, 0, 1, {}, [&] { EXPECT_EQ(Audio_GetFilterMode(), 1); }},
      {93, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetReverbEnabled(), 1); }},
      {94, 0, 1, {}, [&] { EXPECT_EQ(Audio_GetReverbEnabled(), 1); }},
      {95, 0, 0, {}, [&] { EXPECT_EQ(fx().reverbLength, 0); EXPECT_EQ(Audio_GetReverbRoomSize(), 0.0); }},
      {96, 0, 0, {}, [&] { EXPECT_EQ(fx().reverbMix, 0); }},
      {97, 0, 0, {}, [&] { EXPECT_EQ(fx().reverbDamping, 0); EXPECT_EQ(Audio_GetReverbDamping(), 0.0); }},
      {98, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetMetronomeRecord(), 1); EXPECT_TRUE(app().metronomeRecordBox); }},
      {99, 0, 1, {}, [&] { EXPECT_EQ(Audio_GetMetronomeRecord(), 1); }},
      {100, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetMetronomePlayback(), 1); EXPECT_TRUE(app().metronomePlayBox); }},
      {101, 0, 1, {}, [&] { EXPECT_EQ(Audio_GetMetronomePlayback(), 1); }},
      {102, 0, max, {}, [&] { EXPECT_EQ(Audio_GetMetronomeVolume(), 1.0); }},
      {103, 1, 0, {}, [&] { EXPECT_EQ(track(slot(1)).rightGain, 0.0); EXPECT_EQ(track(slot(1)).leftGain, 1.0); }},
      {104, 0, 0, {}, [&] { EXPECT_EQ(app().currentTrack, 1); }},
      {105, 0, 0, {}, [&] { EXPECT_EQ(app().currentTrack, 7); }},
      {106, 5, 0, {}, [&] {
         EXPECT_EQ(app().currentTrack, 5);
         Do(Command::SetTrack, 8);  // "Current" selects nothing
         EXPECT_EQ(app().currentTrack, 5);
       }},
      {107, 0, 0, {}, session("LoadDefault")},
      {108, 0, 0, {}, session("SaveDefault")},
      {109, 0, 0, {}, session("LoadQuicksave 1")},
      {110, 0, 0, {}, session("LoadQuicksave 2")},
      {111, 0, 0, {}, session("LoadQuicksave 3")},
      {112, 0, 0, {}, session("LoadQuicksave 4")},
      {113, 0, 0, {}, session("LoadQuicksave 5")},
      {114, 0, 0, {}, session("LoadQuicksave 6")},
      {115, 0, 0, {}, session("LoadQuicksave 7")},
      {116, 0, 0, {}, session("LoadQuicksave 8")},
      {117, 0, 0, {}, session("Quicksave Quicksave01")},
      {118, 0, 0, {}, session("Quicksave Quicksave02")},
      {119, 0, 0, {}, session("Quicksave Quicksave03")},
      {120, 0, 0, {}, session("Quicksave Quicksave04")},
      {121, 0, 0, {}, session("Quicksave Quicksave05")},
      {122, 0, 0, {}, session("Quicksave Quicksave06")},
      {123, 0, 0, {}, session("Quicksave Quicksave07")},
      {124, 0, 0, {}, session("Quicksave Quicksave08")},
      {125, 0, 0, {}, [&] { EXPECT_EQ(Audio_GetMixToTrack(), 1); }},
      {126, 0, 0, [&] { Do(Command::TransportPlay); }, [&] {
         EXPECT_TRUE(Audio_IsMixingToDisk());
         EXPECT_EQ(Audio_GetMixFilePath(), dir + "/untitled_Mix/untitled_00.wav");
         Do(Command::MixToDisk);
         EXPECT_FALSE(Audio_IsMixingToDisk());
       }},
      {127, 0, 0, [&] { App_EditField(&app(), PanelField::Tempo, "90"); },
       [&] { EXPECT_EQ(Audio_GetMetronomeRecord(), 1); EXPECT_EQ(app().loopTime.tempo, 90.0); }},
      {128, 0, 0, [&] { App_EditField(&app(), PanelField::Tempo, "90"); },
       [&] { EXPECT_EQ(Audio_GetMetronomePlayback(), 1); EXPECT_EQ(app().loopTime.tempo, 90.0); }},
      {129, 1, 0, {}, [&] {
         EXPECT_EQ(app().loopTime.mode, LoopTimeSeconds);
         Do(Command::LoopTimeMode, 8);  // any other track field steps the mode
         EXPECT_EQ(app().loopTime.mode, LoopTimeMeasures);
       }},
      {130, 0, 0, [&] { App_EditField(&app(), PanelField::Measures, "1"); },
       [&] { EXPECT_EQ(Audio_GetLoopLength(slot(0)), 96000); EXPECT_EQ(Audio_GetLoopLength(slot(1)), 192000); }},
      {131, 0, 0, {}, [&] { EXPECT_EQ(app().fields[static_cast<int>(PanelField::Seconds)], "4.000000"); }},
      {132, 0, 0, [&] {
         static int64_t now = 0;
         now = 1000;
         app().tap.clock = TapClock{[] { return now; }, 1000};
         Do(Command::TapLoopTime);
         now = 1600;
       },
       [&] { EXPECT_EQ(app().loopTime.tempo, 100.0); EXPECT_EQ(app().fields[static_cast<int>(PanelField::Tempo)], "100"); }},
      {133, 0, 0, [&] { app().loopTimeTarget = LoopTimeTarget::All; }, [&] { EXPECT_EQ(app().loopTimeTarget, LoopTimeTarget::Current); }},
      {134, 0, 0, {}, [&] { EXPECT_EQ(app().loopTimeTarget, LoopTimeTarget::Empty); }},
      {135, 0, 0, {}, [&] { EXPECT_EQ(app().loopTimeTarget, LoopTimeTarget::All); }},
  };

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

// A set row whose state already has the wanted value does nothing: muting a muted strip
// again asks no resynchronisation, while switching mute on does.
TEST_F(AppTest, SetRowsActOnlyOnAChange) {
  ASSERT_TRUE(strip(1).mute);
  track(slot(1)).resync = 0;  // as if the callback had taken the new loop's request
  Do(Command::TrackMuteSet, 1, 1);
  EXPECT_EQ(track(slot(1)).resync, 0);
  Do(Command::TrackMuteSet, 1, 0);
  Do(Command::TrackMuteSet, 1, 200);
  EXPECT_EQ(track(slot(1)).resync, 1);
  EXPECT_TRUE(strip(1).mute);
}
