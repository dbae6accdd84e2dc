// Track slots, published and recycled buffers, and the setters' laws and clamps.
#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "support/engine_fixture.h"

using EngineState = EngineTest;

// Slots are taken lowest first; bad arguments are clamped; failures leave the slot as it was.
TEST_F(EngineState, CreateLoopTakesTheLowestFreeSlotClampsAndFailsCleanly) {
  EXPECT_EQ(track(engine()->metronomeTrack).volume, 0.5);  // the click slot, made at start-up
  EXPECT_EQ(Audio_CreateLoop(2.0, 0.5, 2, 0), 1);
  EXPECT_EQ(Audio_CreateLoop(1.0, 0.5, 1, 1), 2);
  EXPECT_TRUE(track(1).bufferSize == 768000u && track(1).length == 96000 && track(1).editEnd == 96000);
  EXPECT_TRUE(track(2).length == 48000 && track(2).resync == 1);
  EXPECT_TRUE(Audio_RequestResync(1) == 1 && track(1).resync == 1);

  Audio_DeleteLoop(1);
  EXPECT_TRUE(!track(1).inUse && track(1).pBuffer == nullptr);
  EXPECT_EQ(Audio_CreateLoop(0.5, 0.5, 2, 0), 1);  // the freed slot is reused first
  for (int i = 3; i < NUM_TRACKS; ++i) ASSERT_EQ(Audio_CreateLoop(0.2, 0.5, 2, 0), i);
  EXPECT_EQ(Audio_CreateLoop(0.2, 0.5, 2, 0), -1);  // all nine taken
  EXPECT_TRUE(dialog.shown.empty());

  // Bad arguments are reported, then clamped.
  Audio_DeleteLoop(1);
  static int fatalCalls = 0;
  engine()->FatalError = [] { ++fatalCalls; };  // each assertion ends the program
  ASSERT_EQ(Audio_CreateLoop(0.05, 1.5, 3, 0), 1);
  ASSERT_EQ(dialog.shown.size(), 3u);
  EXPECT_EQ(fatalCalls, 3);
  for (const auto& m : dialog.shown) EXPECT_EQ(m.caption, "Assert Failed");
  EXPECT_EQ(dialog.shown[0].text.rfind("Invalid feedback setting\n File: audio\nLine: ", 0), 0u);
  EXPECT_TRUE(track(1).numChannels == 2u && track(1).length == 4800 && track(1).feedback == 1.0);

  // A slot that held a loop keeps what it had when the re-creation fails.
  const int slot = 1;
  Audio_SetTrackVolume(slot, 0.3);
  Audio_DeleteLoop(slot);
  Audio_FailNextAllocations(1);
  EXPECT_EQ(Audio_CreateLoop(1.0, 0.8, 1, 1), -1);
  EXPECT_TRUE(dialog.Saw("Insufficient memory", "Audio_CreateLoop"));
  LoopTrack& t = track(slot);
  EXPECT_TRUE(!t.inUse && !t.active && t.feedback == 1.0 && t.volume == 0.3 && t.numChannels == 2u);

  // A slot whose buffer is still pending is refused untouched and takes no resync request.
  float* pending = Audio_AllocBuffer(16, true);
  t.pNewBuffer.store(pending);
  EXPECT_EQ(Audio_CreateLoop(1.0, 0.8, 1, 1), -1);
  EXPECT_TRUE(dialog.Saw("pNewBuffer not NULL", "Audio_CreateLoop"));
  EXPECT_EQ(t.feedback, 1.0);
  EXPECT_EQ(Audio_RequestResync(slot), 0);
  EXPECT_EQ(t.resync, 0);
  t.pNewBuffer.store(nullptr);
  Audio_FreeBuffer(pending);
}

// Pan and effects-mix laws at ordinary values show in the stream callback's tests.
TEST_F(EngineState, SettersClampValuesAndRefuseBadIndexes) {
  const int slot = Audio_CreateLoop(0.2, 0.5, 2, 0);
  LoopTrack& t = track(slot);
  for (const auto& [pan, left, right] : {std::tuple{0.75, 0.5, 1.0}, {0.5, 1.0, 1.0}, {-3.0, 1.0, 0.0}, {7.0, 0.0, 1.0}}) {
    EXPECT_EQ(Audio_SetTrackPan(slot, pan), 1);
    EXPECT_EQ(t.leftGain, left) << pan;
    EXPECT_EQ(t.rightGain, right) << pan;
  }
  EXPECT_EQ(t.pan, 1.0);
  EXPECT_TRUE(Audio_SetTrackEffectsMix(slot, 2.0) == 1 && t.dryGain == 0.0 && t.wetGain == 1.0);
  EXPECT_EQ(Audio_SetTrackVolume(slot, 1.5) + Audio_SetTrackFeedback(slot, -1.0) + Audio_SetTrackRate(slot, -0.5), 3);
  EXPECT_TRUE(Audio_GetTrackVolume(slot) == 1.0 && Audio_GetTrackFeedback(slot) == 0.0);
  EXPECT_EQ(Audio_GetTrackRate(slot), -0.5);  // no clamp
  EXPECT_EQ(Audio_SetTrackSubmix(slot, 2), 0);
  for (int bad : {-1, NUM_TRACKS}) {
    EXPECT_EQ(Audio_SetTrackVolume(bad, 0.5) + Audio_SetTrackPan(bad, 0.5) + Audio_SetTrackEffects(bad, 1), 0);
    EXPECT_EQ(Audio_GetLoopLength(bad) + Audio_DeleteLoop(bad), 0);
  }
  EXPECT_EQ(Audio_SetSubmixVolume(2, 0.5), 0);
  Audio_SetMasterVolume(-2);
  EXPECT_EQ(engine()->masterVolume, 0.0);

  // NaN would poison the mix and every effect's state for good: it becomes 0.
  const double nan = std::nan("");
  for (auto set : {Audio_SetTrackVolume, Audio_SetTrackFeedback, Audio_SetTrackPan, Audio_SetTrackEffectsMix}) set(slot, nan);
  for (auto set : {Audio_SetMasterVolume, Audio_SetLatentInputVolume}) set(nan);
  for (double v : {t.volume.load(), t.feedback.load(), t.pan.load(), t.leftGain.load(), t.wetGain.load(),
                   engine()->masterVolume.load(), engine()->latentVolume.load()})
    EXPECT_FALSE(std::isnan(v));

  Audio_Shutdown();  // without an engine everything is refused
  EXPECT_TRUE(Audio_CreateLoop(1.0, 0.5, 2, 0) == -1 && Audio_SetTrackVolume(1, 0.5) == 0);
  SetUp();
}

TEST_F(EngineState, EditBeginAndEndKeepTheRangeInsideTheLoop) {
  const int slot = Audio_CreateLoop(1.0, 0.5, 2, 0);  // 48000 frames
  LoopTrack& t = track(slot);
  t.position = 100;
  EXPECT_EQ(Audio_SetEditBegin(slot, 0.5), 1);
  EXPECT_TRUE(t.editBegin == 24000 && t.position == 24000);  // the head jumps into the range
  EXPECT_TRUE(Audio_SetEditBegin(slot, -0.1) == 0 && t.editBegin == 24000);
  EXPECT_TRUE(Audio_SetEditEnd(slot, 0.25) == 1 && t.editEnd == 24000);  // below begin: raised to it
  EXPECT_TRUE(Audio_SetEditEnd(slot, 5.0) == 1 && t.editEnd == 48000);  // beyond the loop: limited
  EXPECT_TRUE(Audio_SetEditBegin(slot, 2.0) == 1 && t.editBegin == 48000);  // limited to the end

  EXPECT_EQ(Audio_SetEditRange(slot, -5, 10), 1);
  EXPECT_TRUE(t.editBegin == 0 && t.editEnd == 10 && t.position == 0 && t.resync == 1);
  Audio_SetEditRange(slot, 60000, 5);
  EXPECT_TRUE(t.editBegin == 47999 && t.editEnd == 48000);
  EXPECT_EQ(Audio_GetEditBeginSeconds(slot), 47999 / 48000.0);
}

TEST_F(EngineState, PublishedBuffersSwapInAtOnceWithoutAStreamAndFreedOnesAreRecycled) {
  const int slot = Audio_CreateLoop(0.2, 0.5, 2, 0);
  LoopTrack& t = track(slot);
  float* fresh = Audio_AllocBuffer(800, true);
  t.position = 50;
  t.editBegin = 3;
  Audio_PublishBuffer(slot, fresh, 800, 100, 2, false, 1);
  EXPECT_TRUE(t.pNewBuffer == nullptr && t.pBuffer == fresh);
  EXPECT_TRUE(t.bufferSize == 800u && t.length == 100 && t.position == 0);
  EXPECT_TRUE(t.editBegin == 0 && t.editEnd == 100 && t.changed == 1u);

  static int changedSlot = -1;
  Audio_SetTrackChangedCallback([](int s) { changedSlot = s; });
  Audio_PollChanges();
  EXPECT_TRUE(changedSlot == slot && t.changed == 0u);
  Audio_SetEditRange(slot, 3, 50);  // a buffer published keeping the edit range
  Audio_PublishBuffer(slot, Audio_AllocBuffer(800, true), 800, 100, 2, true, 1);
  EXPECT_TRUE(t.editBegin == 3 && t.editEnd == 50);

  // A large freed buffer is kept: it comes back zeroed, and never for half its size.
  const uint32_t bytes = 4u << 20;
  float* dirty = Audio_AllocBuffer(bytes, false);
  std::fill_n(dirty, bytes / 4, 1.0f);
  Audio_FreeBuffer(dirty);
  float* zeroed = Audio_AllocBuffer(bytes, true);
  EXPECT_TRUE(std::all_of(zeroed, zeroed + bytes / 4, [](float s) { return s == 0.0f; }));
  Audio_FreeBuffer(zeroed);
  float* half = Audio_AllocBuffer(bytes / 2, false);
  EXPECT_LT(malloc_usable_size(half), bytes);
  Audio_FreeBuffer(half);
}
