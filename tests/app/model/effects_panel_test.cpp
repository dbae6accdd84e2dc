// The effects panel model: slider mappings and texts, the start state, link and sync rules.
#include "app/model/effects_panel.h"

#include <gtest/gtest.h>

#include "engine/audio.h"
#include "engine/effects_ops.h"

namespace {

class EffectsPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Audio_Init());
    ASSERT_TRUE(Effects_Init(Audio_GetEngine()));
    Audio_EnableReverb(1);
    EffectsPanel_Init(&panel);
  }
  void TearDown() override {
    Effects_Release(Audio_GetEngine());
    Audio_Shutdown();
  }
  static float Delay(int c) { return static_cast<float>(Audio_GetDelayTime(c)); }
  EffectsPanel panel;
};

TEST(EffectsPanelMapping, PositionsToValuesAndTheSyncRule) {
  EXPECT_EQ(EffectsPanel_FrequencyHz(200), 20162.25);  // positions are clamped to 127
  EXPECT_EQ(EffectsPanel_DelayPosition(5000, 640), 127);
  // A measure at 120 BPM is 2000 ms: its 2, 1, 2/3, ... fractions, the first that fits.
  EXPECT_EQ(EffectsPanel_SyncMilliseconds(1400, 120.0, 4, 5000), 1333);
  EXPECT_EQ(EffectsPanel_SyncMilliseconds(600, 301.0, 4, 640), 600);  // tempo out of range
  EXPECT_EQ(EffectsPanel_SyncMilliseconds(10, 120.0, 4, 640), 10);   // nothing fits
  EXPECT_EQ(EffectsPanel_SyncMilliseconds(600, 120.0, 0, 640), 600);  // no measure
  // 1/24 of a measure of 3 beats at 97 BPM, with the single-precision constants.
  EXPECT_EQ(EffectsPanel_SyncMilliseconds(80, 97.0, 3, 640), 77);
}

TEST_F(EffectsPanelTest, StartStateReachesTheEngineAndReverbMixEnds) {
  EXPECT_EQ(Audio_GetFilterFrequency(1), 20162.25);
  EXPECT_FLOAT_EQ(Delay(1), 0.136f);
  EXPECT_TRUE(panel.delayEnabled && panel.reverbEnabled);  // "On" shown from the engine

  EffectsPanel_SetReverbMix(&panel, 0);  // all dry
  EXPECT_FLOAT_EQ(Audio_GetEngine()->reverb.dry.load(), 1.2f);
  EffectsPanel_SetReverbMix(&panel, 127);  // all wet
  EXPECT_FLOAT_EQ(Audio_GetEngine()->reverb.wet.load(), 1.8f);
  EXPECT_EQ(EffectsPanel_ReverbMixText(&panel), "100");
}

TEST_F(EffectsPanelTest, FilterAndLfoLinks) {
  EffectsPanel_SetFilterFrequency(&panel, 1, 40);
  EXPECT_EQ(Audio_GetFilterFrequency(0), 2001.0);

  EffectsPanel_SetFilterLink(&panel, false);
  EffectsPanel_SetFilterResonance(&panel, 0, 100);
  EffectsPanel_SetFilterFrequency(&panel, 0, 10);
  EXPECT_EQ(Audio_GetFilterFrequency(1), 2001.0);
  EffectsPanel_SetFilterLink(&panel, true);  // left copied to right
  EXPECT_EQ(panel.filterFrequency[1], 10);
  EXPECT_DOUBLE_EQ(Audio_GetFilterResonance(1), 100.0 / 127.0);
  EXPECT_EQ(EffectsPanel_ResonanceText(&panel, 1), "78");

  EffectsPanel_SetLfoLink(&panel, false);
  EffectsPanel_SetLfoRate(&panel, 0, 100);
  EffectsPanel_SetLfoDepth(&panel, 1, 5);
  EXPECT_EQ(panel.lfoRate[1], 14);
  Audio_GetEngine()->filterLfo[0].phase = 0.7;
  Audio_GetEngine()->filterLfo[1].phase = 0.2;
  EffectsPanel_SetLfoLink(&panel, true);  // phases reset, then left copied to right
  EXPECT_TRUE(Audio_GetEngine()->filterLfo[0].phase.load() == 0.0 && Audio_GetEngine()->filterLfo[1].phase.load() == 0.0);
  EXPECT_EQ(panel.lfoDepth[1], 14);
  EXPECT_DOUBLE_EQ(Audio_GetFilterLfoRate(1), EffectsPanel_LfoRate(100));

  EffectsPanel_SetFilterMode(&panel, 2);
  EffectsPanel_SetFilterMode(&panel, 7);  // unknown modes select low
  EXPECT_TRUE(Audio_GetFilterMode() == 0 && std::string(EffectsPanel_FilterModeName(7)) == "Low");
}

TEST_F(EffectsPanelTest, DelayTimeRuleLinkAndSync) {
  EffectsPanel_SetDelayMilliseconds(&panel, 0, 7000);  // clamped before use, both linked
  EXPECT_TRUE(Delay(0) == 5.0f && Delay(1) == 5.0f);
  EXPECT_EQ(EffectsPanel_DelayTimeText(&panel, 1), "5000");
  EffectsPanel_SetDelayFeedback(&panel, 1, 127);
  EXPECT_FLOAT_EQ(static_cast<float>(Audio_GetDelayFeedback(0)), 0.99f);
  EXPECT_EQ(EffectsPanel_DelayFeedbackText(&panel, 0), "100");

  EffectsPanel_SetDelayLink(&panel, false);
  EffectsPanel_SetDelayTimePosition(&panel, 1, 100);  // 503 ms, the right only
  EffectsPanel_SetDelayFeedback(&panel, 0, 10);
  EXPECT_TRUE(panel.delayMilliseconds[1] == 503 && panel.delayMilliseconds[0] == 5000);
  EffectsPanel_SetDelayTimePosition(&panel, 0, 50);  // 251 ms
  EffectsPanel_SetDelayLink(&panel, true);  // left time to the right, feedback stays
  EXPECT_TRUE(panel.delayTime[1] == 50 && panel.delayMilliseconds[1] == 251 && panel.delayFeedback[1] == 127);
  EXPECT_FLOAT_EQ(Delay(1), 0.251f);

  EffectsPanel_ApplyTempo(&panel, 120.0, 4);
  EffectsPanel_SetDelayMilliseconds(&panel, 0, 600);
  EXPECT_EQ(panel.delayMilliseconds[0], 600);  // sync off
  EffectsPanel_SetDelaySync(&panel, true);  // re-applies the times: 1/4 measure fits 600 and 640
  EXPECT_TRUE(panel.delayMilliseconds[0] == 500 && Delay(1) == 0.5f);
  EffectsPanel_SetDelayMaxMilliseconds(&panel, 100);  // becomes 200
  EXPECT_EQ(panel.delayTime[0], 127);
  EffectsPanel_SetDelayMilliseconds(&panel, 0, 600);
  EXPECT_EQ(panel.delayMilliseconds[0], 166);  // 1/12 of a measure is the first under 200
  EffectsPanel_SetDelayMaxMilliseconds(&panel, 640);
  EffectsPanel_ApplyTempo(&panel, 10.0, 4);  // out of range: the request stands
  EXPECT_EQ(panel.delayMilliseconds[0], 166);

  // Unlinked, each box is applied again to its own channel.
  EffectsPanel_SetDelayLink(&panel, false);
  EffectsPanel_SetDelaySync(&panel, false);
  EffectsPanel_SetDelayMilliseconds(&panel, 0, 620);
  EffectsPanel_SetDelayMilliseconds(&panel, 1, 300);
  EffectsPanel_SetDelaySync(&panel, true);
  EffectsPanel_ApplyTempo(&panel, 120.0, 4);
  EXPECT_EQ(panel.delayMilliseconds[0], 500);
  EXPECT_FLOAT_EQ(Delay(1), 0.25f);
}

}  // namespace
