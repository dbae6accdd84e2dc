// The one-level undo history: what undo and redo bring back, what the undo label is
// told, and the recordings and insert passes that feed the history.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/loop_ops.h"
#include "engine/undo.h"
#include "support/engine_fixture.h"

namespace {

std::vector<std::string> labels;
std::vector<int> insertPasses;
constexpr int kFrames = 24000;  // 0.5 s at 48000 Hz

// Runs the callback for at least `frames` frames of a constant input.
void Feed(long frames, float input) {
  std::vector<float> in(512, input), out(512);
  for (long done = 0; done < frames; done += 256) Audio_ProcessStream(Audio_GetEngine(), in.data(), out.data(), 256);
}

// A take of a constant 0.5 replacing loop 1. It reaches the history when a recording ends
// with Play, or when an insert pass ends inside the callback; then the user-interface side
// completes the history at the next poll or, before it, at the next operation that
// touches the history.
bool Take(bool insert, bool poll) {
  Audio_SetTrackFeedback(1, 0.0);
  insertPasses.clear();
  if (!(insert ? Audio_InsertLooping(1) : Audio_RecordLooping(1))) return false;
  Feed(kFrames + 512, 0.5f);
  if (!insert) Audio_PlayLooping();
  if (poll) Audio_PollChanges();
  return insertPasses == (insert ? std::vector<int>{1, 0} : std::vector<int>{});
}

// A 0.5 s stereo loop in slot 1 holding 0.5, the record track, with a fresh history.
class UndoTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    e = engine();
    labels.clear();
    insertPasses.clear();
    // The application's label: at start-up the strips take slots 1..8 in order, so a
    // slot's strip number is the slot itself.
    Audio_SetUndoChangedCallback([](int track, int operation, const char* name, int redo) {
      labels.push_back(Undo_DescribeChange(track, operation, name, redo));
    });
    Audio_SetInsertPassCallback([](int starting) { insertPasses.push_back(starting); });
    ASSERT_EQ(Audio_CreateLoop(0.5, 1.0, 2, 0), 1);
    Fill(0.5f);
    Audio_SelectRecordTrack(1);
    Audio_ResetUndo();
  }

  LoopTrack& t() { return e->tracks[1]; }
  void Fill(float v) { std::fill_n(t().pBuffer.load(), t().length * 2, v); }
  std::vector<float> Loop() { return {t().pBuffer.load(), t().pBuffer.load() + t().length * 2}; }
  bool Holds(float v) { return Loop() == std::vector<float>(t().length * 2, v); }  // every sample

  AudioEngine* e = nullptr;
};

TEST_F(UndoTest, EachOperationIsUndoneAndRedone) {
  EXPECT_EQ(labels.back(), "Nothing to Undo");
  const struct {
    const char* name;
    bool (*operation)();
    int length;
    float first;  // what frame 0 then holds
  } cases[] = {
      {"Erase", [] { return Audio_EraseLoop(1, 1); }, kFrames, 0},
      {"Multiply", [] { return Audio_ResizeLoop(1, 1.0, false, 1, ResizeMultiply, true); }, 2 * kFrames, 1},
      {"Divide", [] { return Audio_ResizeLoop(1, 0.25, true, 1, ResizeDivide, false); }, kFrames / 2, 1},
      {"new loop time", [] { return Audio_ResizeLoop(1, 0.25, false, 1, ResizeNewLoopTime, false); }, kFrames / 2, 1},
      {"Set Start Point", [] { return Audio_NudgeLoop(1, 100); }, kFrames, 101},
      {"Trim", [] { return Audio_SetEditRange(1, 1000, 2000) && Audio_TrimLoop(1); }, 1001, 1001},
      {"Record", [] { return Take(false, false); }, kFrames, 0.5f},
      {"Record", [] { return Take(true, true); }, kFrames, 0.5f},
      {"Record", [] { return Take(true, false); }, kFrames, 0.5f},  // undone before the next poll
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(&c - cases));
    const uint32_t bytes = kFrames * 2 * 4;  // a fresh loop, every frame telling its place
    Audio_PublishBuffer(1, Audio_AllocBuffer(bytes, false), bytes, kFrames, 2, false, 0);
    for (int f = 0; f < kFrames; ++f) t().pBuffer[2 * f] = f + 1.0f, t().pBuffer[2 * f + 1] = -f - 1.0f;
    Audio_ResetUndo();
    const std::vector<float> before = Loop();
    ASSERT_TRUE(c.operation());
    ASSERT_EQ(t().length, c.length);
    EXPECT_EQ(t().pBuffer[0], c.first);
    const std::vector<float> after = Loop();
    EXPECT_EQ(labels.back(), std::string("Press to undo track 1 ") + c.name);
    EXPECT_EQ(Audio_Undo(), 1);
    EXPECT_EQ(t().editEnd, kFrames);
    EXPECT_TRUE(Loop() == before);
    EXPECT_EQ(labels.back(), std::string("Press to redo track 1 ") + c.name);
    EXPECT_EQ(Audio_Undo(), 1);
    EXPECT_TRUE(Loop() == after);
    EXPECT_EQ(labels.back(), std::string("Press to undo track 1 ") + c.name);
    ASSERT_TRUE(Audio_RecordLooping(1));  // a recording over the result is undone back to it
    Feed(256, 0.25f);
    Audio_PlayLooping();
    EXPECT_EQ(Audio_Undo(), 1);
    EXPECT_TRUE(Loop() == after);
  }
}

TEST_F(UndoTest, UndoRefusedWhileABufferWaits) {
  ASSERT_TRUE(Audio_EraseLoop(1, 1));
  Audio_SetCallbackRunning(true);
  ASSERT_TRUE(Audio_ResizeLoop(1, 0.25, true, 1, ResizeDivide, false));
  const uint32_t current = e->undoCurrent;
  const size_t reports = labels.size();
  EXPECT_EQ(Audio_Undo(), -1);
  EXPECT_EQ(e->undoCurrent, current);
  EXPECT_EQ(labels.size(), reports);
  Feed(256, 0.0f);  // the callback takes the divided loop over
  EXPECT_EQ(t().length, kFrames / 2);
  EXPECT_EQ(Audio_Undo(), 1);  // an in-place divide undone: the old length comes back
  Feed(256, 0.0f);
  EXPECT_EQ(t().length, kFrames);
  Audio_SetCallbackRunning(false);
}

TEST_F(UndoTest, FailedAllocationsLeaveNoFalseEntries) {
  // A snapshot that cannot get memory leaves its entry empty.
  const int other = static_cast<int>(1 - e->undoCurrent);
  const std::vector<float> longer(4 * kFrames * 2, 0.25f);  // more than the entry holds
  Audio_FailNextAllocations(1);
  Undo_Store(other, 1, longer.data(), static_cast<uint32_t>(longer.size() * 4), 4 * kFrames, 2,
             UndoRecord, 0);
  EXPECT_EQ(e->undo[other].bufferSize, 0u);
  Undo_Flip();
  EXPECT_EQ(Audio_Undo(), -1);
  Undo_Flip();
  Undo_Store(2, 1, longer.data(), 64, 8, 2, UndoRecord, 0);  // there are two entries only

  // An undo that cannot copy changes nothing.
  ASSERT_TRUE(Audio_EraseLoop(1, 1));
  const uint32_t current = e->undoCurrent;
  Audio_FailNextAllocations(1);
  EXPECT_EQ(Audio_Undo(), 1);
  EXPECT_EQ(e->undoCurrent, current);
  EXPECT_TRUE(Holds(0.0f));
}

TEST_F(UndoTest, ChangingTheRecordTrackMakesItTheUndoPointAndDisablingFreesBothCopies) {
  ASSERT_EQ(Audio_CreateLoop(0.5, 1.0, 1, 0), 2);
  EXPECT_EQ(Audio_SelectRecordTrack(NUM_TRACKS), -1);
  EXPECT_EQ(Audio_SelectRecordTrack(2), 1);
  EXPECT_EQ(t().record, 0u);
  EXPECT_EQ(labels.back(), "Press to undo track 2 Change Track");
  EXPECT_TRUE(e->undo[0].track == 2u && e->undo[1].track == 2u);

  ASSERT_TRUE(Audio_EraseLoop(1, 1));
  Audio_DisableUndo();
  for (const UndoSnapshot& entry : e->undo)
    EXPECT_TRUE(entry.pBuffer == nullptr && entry.bufferSize == 0 && entry.track == 0);
  EXPECT_EQ(Audio_Undo(), -1);
  ASSERT_TRUE(Audio_EraseLoop(1, 1));  // takes no snapshot
  EXPECT_EQ(e->undo[0].pBuffer, nullptr);
  Audio_EnableUndo();
  EXPECT_EQ(labels.back(), "Nothing to Undo");
  EXPECT_NE(e->undo[1].pBuffer, nullptr);
}

}  // namespace
