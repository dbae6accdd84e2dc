// The multi-level undo history: a long scene on two tracks undone and redone sample for
// sample, undone branches, the memory budget and what the levels share.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/loop_ops.h"
#include "engine/undo.h"
#include "support/engine_fixture.h"

namespace {

// What a track holds: its whole buffer (a Divide hides a tail that a Multiply brings
// back) and the fields a swap sets.
struct Content {
  std::vector<float> buffer;
  int32_t length = 0;
  uint32_t channels = 0;
  bool operator==(const Content&) const = default;
};

class UndoHistoryTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Audio_SetUndoChangedCallback([](int track, int operation, const char* name, int redo) {
      label = Undo_DescribeChange(track, operation, name, redo);
    });
  }

  Content Of(int slot) {
    const LoopTrack& t = track(slot);
    return {{t.pBuffer.load(), t.pBuffer.load() + t.bufferSize / 4}, t.length, t.numChannels};
  }

  // A take on `slot` of `frames` frames of a tone of its own, replacing the loop's audio
  // (feedback 0) or added to it (overdub, feedback 1); reversed when asked.
  void Take(int slot, long frames, bool overdub, bool reversed = false) {
    Audio_SetTrackFeedback(slot, overdub ? 1.0 : 0.0);
    Audio_SetTrackRate(slot, reversed ? -1.0 : 1.0);
    ASSERT_TRUE(Audio_RecordLooping(slot));
    const double pitch = 0.01 + 0.003 * ++takes;
    Run(frames, 256, [&](long f, int c) { return static_cast<float>(0.1 * std::sin(pitch * f + c)); });
    Audio_PlayLooping();
    Audio_SetTrackRate(slot, 1.0);
  }

  static inline std::string label;
  int takes = 0;
};

// Twenty operations of every kind on two tracks, then each track undone to where it began
// and redone to where it ended, every sample compared with the state each step left.
TEST_F(UndoHistoryTest, ASceneOnTwoTracksIsUndoneAndRedoneSampleForSample) {
  const int a = MakeLoop(12000, 2, [](int f, int c) { return c ? f * 1e-5f : -f * 1e-5f; });
  const int b = MakeLoop(9000, 2);
  Audio_SelectRecordTrack(a);
  Audio_ResetUndo();
  std::vector<Content> states[NUM_TRACKS];
  states[a].push_back(Of(a));
  states[b].push_back(Of(b));
  auto step = [&](int slot, const std::function<void()>& operation) {
    operation();
    Audio_PollChanges();
    states[slot].push_back(Of(slot));
    ASSERT_NE(states[slot].back(), states[slot][states[slot].size() - 2]) << "step " << states[slot].size() - 1;
    ASSERT_EQ(Undo_GetDepth().undoLevels, static_cast<int>(states[slot].size() - 1));
  };
  step(a, [&] { Take(a, 12000, false); });                   // record
  for (long f : {3000, 5000, 12000, 700, 9000})                // overdub x5, punched in short and long
    step(a, [&] { Take(a, f, true); });
  step(a, [&] { ASSERT_TRUE(Audio_MultiplyLoop(a, false)); });
  step(a, [&] { Take(a, 8000, true, true); });                 // overdub in reverse
  step(a, [&] {                                                // one inserted pass
    Audio_SetTrackFeedback(a, 1.0);
    ASSERT_TRUE(Audio_InsertLooping(a));
    Run(2 * 24000 + 512, 256, [](long f, int) { return 0.05f * static_cast<float>(f % 97); });
  });
  step(b, [&] { Take(b, 9000, false); });                    // the second track
  step(b, [&] { Take(b, 4000, true); });
  step(b, [&] { ASSERT_TRUE(Audio_NudgeLoop(b, 1234)); });
  step(b, [&] { ASSERT_TRUE(Audio_SetEditRange(b, 100, 7000) && Audio_TrimLoop(b)); });
  step(b, [&] { ASSERT_TRUE(Audio_ResizeLoop(b, 0.3, false, 1, ResizeNewLoopTime, false)); });
  step(a, [&] { ASSERT_TRUE(Audio_DivideLoop(a)); });
  step(a, [&] { ASSERT_TRUE(Audio_EraseLoop(a, 1)); });
  step(a, [&] { Take(a, 6000, false); });
  step(b, [&] { ASSERT_TRUE(Audio_MultiplyLoop(b, true)); });
  step(b, [&] { Take(b, 20000, true); });
  EXPECT_EQ(label, "Press to undo track 2 Record");

  for (int slot : {b, a}) {
    SCOPED_TRACE(slot);
    const int other = slot == a ? b : a;
    const Content otherNow = Of(other);
    Audio_SelectRecordTrack(slot);
    const std::vector<Content>& s = states[slot];
    for (size_t i = s.size() - 1; i > 0; --i) {
      ASSERT_EQ(Audio_Undo(), slot);
      Audio_PollChanges();
      ASSERT_TRUE(Of(slot) == s[i - 1]) << "undo to " << i - 1;
      EXPECT_EQ(Undo_GetDepth().undoLevels, static_cast<int>(i - 1));
    }
    EXPECT_EQ(Audio_Undo(), -1);
    for (size_t i = 1; i < s.size(); ++i) {
      ASSERT_EQ(Audio_Redo(), slot);
      ASSERT_TRUE(Of(slot) == s[i]) << "redo to " << i;
    }
    EXPECT_EQ(Audio_Redo(), -1);
    EXPECT_TRUE(Of(other) == otherNow);  // the other track's loop is left alone
  }
}

// A new operation after an undo drops the undone levels; undo and redo then walk the
// new branch, and the label names the level the next press acts on.
TEST_F(UndoHistoryTest, AnOperationAfterUndoDropsTheUndoneBranch) {
  const int a = MakeLoop(30000, 2, [](int f, int) { return static_cast<float>(f); });
  Audio_SelectRecordTrack(a);
  Audio_ResetUndo();
  const Content start = Of(a);
  ASSERT_TRUE(Audio_NudgeLoop(a, 10));
  const Content nudged = Of(a);
  ASSERT_TRUE(Audio_DivideLoop(a));
  EXPECT_EQ(Undo_DescribeDepth(Undo_GetDepth()), "1 more");
  ASSERT_EQ(Audio_Undo(), a);
  EXPECT_EQ(label, "Press to undo track 1 Set Start Point");
  EXPECT_EQ(Undo_DescribeDepth(Undo_GetDepth()), "1 to redo");
  ASSERT_EQ(Audio_Undo(), a);
  EXPECT_EQ(label, "Press to redo track 1 Set Start Point");
  EXPECT_EQ(Undo_DescribeDepth(Undo_GetDepth()), "1 more");
  ASSERT_EQ(Audio_Redo(), a);

  ASSERT_TRUE(Audio_EraseLoop(a, 1));
  const Content erased = Of(a);
  EXPECT_EQ(Audio_Redo(), -1);
  const UndoDepth depth = Undo_GetDepth();
  EXPECT_TRUE(depth.undoLevels == 2 && depth.redoLevels == 0);
  ASSERT_EQ(Audio_Undo(), a);
  EXPECT_TRUE(Of(a) == nudged);
  ASSERT_EQ(Audio_Undo(), a);
  EXPECT_TRUE(Of(a) == start);
  ASSERT_EQ(Audio_Redo(), a);
  ASSERT_EQ(Audio_Redo(), a);
  EXPECT_TRUE(Of(a) == erased);
}

// A take still running when Undo is pressed is stored and stepped back over: nothing
// recorded is lost, and redo brings it back.
TEST_F(UndoHistoryTest, UndoDuringATakeRemovesTheTakeSoFar) {
  const int a = MakeLoop(12000, 2, [](int, int) { return 0.25f; });
  Audio_SelectRecordTrack(a);
  Audio_ResetUndo();
  const Content before = Of(a);
  Audio_SetTrackFeedback(a, 0.0);
  ASSERT_TRUE(Audio_RecordLooping(a));
  EXPECT_EQ(label, "Press to undo track 1 Record");
  Run(5000, 256, [](long, int) { return 0.5f; });
  const Content taken = Of(a);
  Audio_StopLooping();  // stopped by hand before Undo: the take is stored as it stands
  ASSERT_EQ(Audio_Undo(), a);
  EXPECT_TRUE(Of(a) == before);
  ASSERT_EQ(Audio_Redo(), a);
  EXPECT_TRUE(Of(a) == taken);

  ASSERT_TRUE(Audio_RecordLooping(a));
  Run(3000, 256, [](long, int) { return -0.5f; });
  const Content running = Of(a);
  ASSERT_EQ(Audio_Undo(), a);  // while still recording
  EXPECT_TRUE(Of(a) == taken);
  Audio_PlayLooping();
  EXPECT_EQ(Undo_GetDepth().redoLevels, 1);
  ASSERT_EQ(Audio_Redo(), a);
  EXPECT_TRUE(Of(a) == running);
}

// Levels share what an operation left as it was: an operation that changes only the
// length, or a short punch-in, copies nothing or only the blocks it touched.
TEST_F(UndoHistoryTest, LevelsShareTheAudioAnOperationDidNotChange) {
  const long frames = 10 * 48000;  // 10 s stereo: 3.84 MB, 59 blocks
  const int a = MakeLoop(frames, 2, [](int f, int c) { return static_cast<float>(f % 1000 + c); });
  Audio_SelectRecordTrack(a);
  Audio_ResetUndo();
  const uint64_t loopBytes = frames * 2 * 4;
  EXPECT_EQ(UndoAudio_BytesHeld(), loopBytes);

  uint64_t made = UndoAudio_BlocksMade();
  ASSERT_TRUE(Audio_DivideLoop(a));
  ASSERT_TRUE(Audio_MultiplyLoop(a, false));  // finds the hidden half again
  EXPECT_EQ(UndoAudio_BlocksMade(), made);
  EXPECT_EQ(UndoAudio_BytesHeld(), loopBytes);

  Take(a, 5000, true);  // a punch-in over 5000 frames touches at most 3 blocks of 8192 frames
  EXPECT_LE(UndoAudio_BlocksMade() - made, 3u);
  EXPECT_LE(UndoAudio_BytesHeld(), loopBytes + 3 * kUndoBlockBytes);

  made = UndoAudio_BlocksMade();
  ASSERT_TRUE(Audio_EraseLoop(a, 1));  // silence: one block of zeros for the whole loop
  EXPECT_EQ(UndoAudio_BlocksMade() - made, 1u);
  EXPECT_EQ(Undo_GetDepth().undoLevels, 4);
}

// The budget drops the oldest levels, never the newest, and what the history holds stays
// within it; the bytes it counts are real memory, given back when it is cleared.
TEST_F(UndoHistoryTest, TheBudgetDropsTheOldestLevelsAndHoldsTheMemoryWithin) {
  const long frames = 3 * 48000;  // 3 s stereo: 1.15 MB a level when every block changes
  const int a = MakeLoop(frames, 2, [](int f, int c) { return static_cast<float>(f * 2 + c); });
  const int b = MakeLoop(frames, 2, [](int f, int) { return static_cast<float>(-f); });
  Audio_SetUndoMemory(4);
  Audio_SelectRecordTrack(b);
  Audio_ResetUndo();
  ASSERT_TRUE(Audio_NudgeLoop(b, 7));  // the oldest level of all, on the other track
  Audio_SelectRecordTrack(a);
  std::vector<Content> states{Of(a)};
  for (int i = 1; i <= 8; ++i) {
    ASSERT_TRUE(Audio_NudgeLoop(a, 1001 * i));  // every block changes
    states.push_back(Of(a));
    EXPECT_LE(UndoAudio_BytesHeld(), uint64_t{4} << 20) << i;
  }
  const int kept = Undo_GetDepth().undoLevels;
  EXPECT_TRUE(kept >= 2 && kept < 8) << kept;
  EXPECT_EQ(Undo_PresentAudio(b), nullptr);  // the other track's old level went first
  for (int i = 8; i > 8 - kept; --i) {
    ASSERT_EQ(Audio_Undo(), a);
    ASSERT_TRUE(Of(a) == states[i - 1]) << i;
  }
  EXPECT_EQ(Audio_Undo(), -1);
  EXPECT_TRUE(dialog.shown.empty());

  // The counted bytes leave the heap when the history goes (the C library's heap: a
  // sanitizer's allocator does not report through mallinfo2).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "mallinfo2 does not see a sanitizer's heap";
#endif
  const struct mallinfo2 before = mallinfo2();
  const uint64_t held = UndoAudio_BytesHeld();
  Audio_DisableUndo();
  const struct mallinfo2 after = mallinfo2();
  EXPECT_GE((before.uordblks + before.hblkhd) - (after.uordblks + after.hblkhd), held - held / 10);
}

// A budget smaller than one level keeps that level (undo and redo of the last operation
// work) and says so once, until the budget is set again.
TEST_F(UndoHistoryTest, ABudgetBelowOneLevelKeepsOneLevelAndSaysSoOnce) {
  const int a = MakeLoop(3 * 48000, 2, [](int f, int) { return static_cast<float>(f); });
  Audio_SetUndoMemory(0);
  EXPECT_EQ(Audio_GetUndoMemory(), 0);
  Audio_SelectRecordTrack(a);
  Audio_ResetUndo();
  std::vector<Content> states{Of(a)};
  for (int i = 1; i <= 3; ++i) {
    ASSERT_TRUE(Audio_NudgeLoop(a, 333 * i));
    states.push_back(Of(a));
    EXPECT_EQ(Undo_GetDepth().undoLevels, 1);
  }
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].caption, "Undo");
  EXPECT_NE(dialog.shown[0].text.find("smaller than one undo level"), std::string::npos);
  ASSERT_EQ(Audio_Undo(), a);
  EXPECT_TRUE(Of(a) == states[2]);
  EXPECT_EQ(Audio_Undo(), -1);
  ASSERT_EQ(Audio_Redo(), a);
  EXPECT_TRUE(Of(a) == states[3]);

  Audio_SetUndoMemory(-5);  // counts as 0, and is told again at the next level
  ASSERT_TRUE(Audio_NudgeLoop(a, 5));
  EXPECT_EQ(dialog.shown.size(), 2u);
  Audio_SetUndoMemory(1024);
  ASSERT_TRUE(Audio_NudgeLoop(a, 5));
  EXPECT_EQ(Undo_GetDepth().undoLevels, 2);
}

}  // namespace
