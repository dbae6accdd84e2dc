// Loop length operations: the audio and lengths they leave and what they refuse; the undo
// history: what undo and redo bring back, the label, and the takes that feed it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/loop_ops.h"
#include "engine/metronome.h"
#include "engine/undo.h"
#include "support/engine_fixture.h"

namespace {

// A 2 s stereo loop in slot 1 whose frame f holds (f, -f): every frame tells where it came from.
class LoopOpsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_EQ(Audio_CreateLoop(2.0, 0.9, 2, 0), slot);
    Ramp(slot);
  }
  LoopTrack& t() { return track(slot); }
  void Ramp(int s) {
    LoopTrack& l = track(s);
    const int channels = static_cast<int>(l.numChannels.load());
    for (int f = 0; f < static_cast<int>(l.bufferSize / (4 * channels)); ++f)
      for (int c = 0; c < channels; ++c) l.pBuffer[f * channels + c] = c == 0 ? f : -f;
  }
  // The old frame that frame f of the loop now holds (from its left channel).
  int Source(int f) { return static_cast<int>(t().pBuffer[f * 2]); }

  const int slot = 1;
};

constexpr int k1s = 48000;

// Tempo-derived times are rarely a whole number of frames: every size the engine
// derives from them must be, and the user's Multiply and Divide must give exactly twice
// and half the frames, or the copies shear samples across channels and loops drift.
TEST_F(LoopOpsTest, TempoTimesGiveWholeFramesAndExactMultiplyDivide) {
  for (const auto& [bpm, channels] : {std::pair{130, 2}, {97, 1}, {113, 2}, {61, 1}}) {
    SCOPED_TRACE(bpm);
    const int s = Audio_CreateLoop(60.0 / bpm * 4 * 2, 0.9, channels, 0);  // two measures of 4/4
    ASSERT_GT(s, 0);
    LoopTrack& l = track(s);
    EXPECT_EQ(static_cast<uint32_t>(l.length) * 4u * channels, l.bufferSize);
    Ramp(s);
    const int length = l.length;
    auto at = [&](int f, int ch) { return l.pBuffer[f * channels + ch]; };

    ASSERT_TRUE(Audio_MultiplyLoop(s, false));
    ASSERT_EQ(l.length, 2 * length);
    EXPECT_TRUE(l.editEnd == 2 * length && l.resync == 1);
    for (int f = 0; f < length; ++f)
      for (int ch = 0; ch < channels; ++ch) ASSERT_EQ(at(f + length, ch), at(f, ch)) << f;

    ASSERT_NE(Audio_Undo(), -1);  // back to the loop before Multiply
    ASSERT_EQ(l.length, length);
    EXPECT_EQ(at(length - 1, 0), length - 1);

    // Divide keeps the buffer and only the length changes; Multiply finds the hidden half.
    const float* buffer = l.pBuffer;
    ASSERT_TRUE(Audio_DivideLoop(s));
    EXPECT_EQ(l.length, length / 2);
    ASSERT_TRUE(Audio_MultiplyLoop(s, false));
    EXPECT_TRUE(l.length == length / 2 * 2 && l.pBuffer == buffer);
    EXPECT_EQ(at(length / 2 * 2 - 1, channels - 1), channels == 1 ? length / 2 * 2 - 1 : -(length / 2 * 2 - 1));

    ASSERT_TRUE(Audio_MultiplyLoop(s, true));  // a new buffer holding the loop twice
    EXPECT_TRUE(l.length == length / 2 * 4 && at(length / 2 * 2 + 5, 0) == 5);
    Audio_DeleteLoop(s);
  }
  ASSERT_TRUE(Audio_SetMetronomeTime(60.0 / 97 * 4, 4, true));
  const LoopTrack& click = track(engine()->metronomeTrack);
  EXPECT_EQ(click.bufferSize % (4 * click.numChannels), 0u);
}

// A new loop time cuts the loop or pads it with silence; Multiply repeats it, never
// reading beyond the old buffer.
TEST_F(LoopOpsTest, ResizeCutsPadsOrRepeatsTheLoop) {
  ASSERT_TRUE(Audio_ResizeLoop(slot, 3.0, false, 1, ResizeNewLoopTime, false));
  EXPECT_EQ(t().length, 3 * k1s);
  EXPECT_EQ(Source(2 * k1s - 1), 2 * k1s - 1);
  EXPECT_EQ(t().pBuffer[2 * 2 * k1s], 0.0f);
  ASSERT_TRUE(Audio_ResizeLoop(slot, 1.0, false, 1, ResizeNewLoopTime, false));
  EXPECT_TRUE(t().length == k1s && t().bufferSize == k1s * 8u);

  // A first take cut at 0.5 s inside the buffer, repeated beyond doubling into a new one.
  t().length = k1s / 2;
  ASSERT_TRUE(Audio_ResizeLoop(slot, 1.75, false, 1, ResizeMultiply, true));
  EXPECT_EQ(t().bufferSize, static_cast<uint32_t>(7 * k1s / 4 * 8));
  for (int pass = 0; pass < 3; ++pass) EXPECT_EQ(Source(pass * k1s / 2 + 11), 11);
  EXPECT_EQ(Source(7 * k1s / 4 - 1), k1s / 4 - 1);

  // In place beyond doubling reports the assertion, then repeats the old buffer.
  const int tail = t().length;  // 1.75 s
  Ramp(slot);
  ASSERT_TRUE(Audio_ResizeLoop(slot, 5.25, true, 1, ResizeMultiply, false));
  ASSERT_FALSE(dialog.shown.empty());
  EXPECT_TRUE(dialog.shown.back().caption == "Assert Failed" && dialog.shown.back().text.rfind("multiply exceeded 2x length", 0) == 0);
  EXPECT_TRUE(Source(tail + 3) == 3 && Source(2 * tail + 3) == 3);
}

TEST_F(LoopOpsTest, RefusalsChangeNothing) {
  static int reports = 0;
  Audio_SetUndoChangedCallback([](int, int, const char*, int) { ++reports; });
  const float* buffer = t().pBuffer;
  EXPECT_FALSE(Audio_ResizeLoop(slot, 240.5, false, 1, ResizeNewLoopTime, false));
  EXPECT_FALSE(Audio_ResizeLoop(slot, 0.05, false, 1, ResizeNewLoopTime, false));
  EXPECT_FALSE(Audio_ResizeLoop(8, 1.0, false, 1, ResizeNewLoopTime, false));  // not in use
  Audio_FailNextAllocations(1);
  EXPECT_FALSE(Audio_ResizeLoop(slot, 3.0, false, 1, ResizeMultiply, false));
  EXPECT_TRUE(dialog.Saw("Insufficient Memory!", "Error"));
  EXPECT_TRUE(reports == 0 && Undo_PresentAudio(slot) == nullptr);  // no snapshot taken
  EXPECT_EQ(Audio_NudgeLoop(slot, 2 * k1s) + Audio_NudgeLoop(slot, -1), 0);
  EXPECT_TRUE(dialog.Saw("Nudge frames too large", "Error") && dialog.Saw("Nudge frames must be greater than zero", "Error"));
  EXPECT_TRUE(Audio_NudgeLoop(slot, 0));
  for (int bad : {8, NUM_TRACKS, -1}) EXPECT_FALSE(Audio_EraseLoop(bad, 0)) << bad;  // not in use, no slot
  EXPECT_TRUE(t().pBuffer == buffer && t().length == 2 * k1s);

  // A buffer still waiting for the callback.
  Audio_SetCallbackRunning(true);
  ASSERT_TRUE(Audio_ResizeLoop(slot, 1.0, true, 1, ResizeDivide, false));
  EXPECT_FALSE(Audio_ResizeLoop(slot, 0.5, true, 1, ResizeDivide, false) || Audio_NudgeLoop(slot, 10) || Audio_TrimLoop(slot));
  Audio_SetCallbackRunning(false);
}

TEST_F(LoopOpsTest, NudgeRotatesTheLoop) {
  ASSERT_TRUE(Audio_NudgeLoop(slot, 100));
  EXPECT_EQ(t().length, 2 * k1s);
  EXPECT_TRUE(Source(2 * k1s - 101) == 2 * k1s - 1 && Source(2 * k1s - 100) == 0);
  EXPECT_EQ(t().pBuffer[2 * (2 * k1s) - 1], -t().pBuffer[2 * (2 * k1s) - 2]);  // the right channel with it
  EXPECT_EQ(t().record, 1u);  // the nudged track becomes the record track

  // A loop cut inside its buffer: only the loop is rotated and kept.
  Ramp(slot);
  t().length = 1000;
  ASSERT_TRUE(Audio_NudgeLoop(slot, 10));
  EXPECT_EQ(t().bufferSize, 8000u);
  EXPECT_TRUE(Source(989) == 999 && Source(990) == 0);
}

TEST_F(LoopOpsTest, TrimKeepsTheEditRangeAndEraseTheLength) {
  // Inside the loop the edit end is the last frame kept (the undo table checks that); at
  // the loop's end it lies one past the last frame, and the copy stops there.
  t().editBegin = 2 * k1s - 500;
  t().editEnd = 2 * k1s;
  ASSERT_TRUE(Audio_TrimLoop(slot));
  EXPECT_TRUE(t().length == 500 && t().editEnd == 500);
  EXPECT_EQ(Source(499), 2 * k1s - 1);

  // Nothing to trim when the whole loop is selected; nothing left from the end on.
  const float* buffer = t().pBuffer;
  t().editEnd = 499;
  EXPECT_TRUE(Audio_TrimLoop(slot));
  t().editBegin = t().editEnd = 500;
  EXPECT_FALSE(Audio_TrimLoop(slot));
  t().editBegin = 10;
  Audio_FailNextAllocations(1);
  EXPECT_FALSE(Audio_TrimLoop(slot));
  EXPECT_TRUE(dialog.Saw("Insufficient Memory to Trim!", "Error"));
  EXPECT_TRUE(t().pBuffer == buffer && t().length == 500);

  // Erase silences the whole loop, whatever the selection, and keeps its length.
  t().recorded = 1;
  t().editEnd = 200;
  engine()->pendingCutTrack = slot;
  ASSERT_TRUE(Audio_EraseLoop(slot, 0));
  EXPECT_TRUE(std::all_of(t().pBuffer.load(), t().pBuffer.load() + 2 * 500, [](float s) { return s == 0.0f; }));
  EXPECT_TRUE(t().length == 500 && t().editEnd == 500 && !t().recorded && engine()->pendingCutTrack == -1);
}

std::vector<std::string> labels;
std::vector<int> insertPasses;
constexpr int kFrames = 24000;  // 0.5 s at 48000 Hz

// Runs the callback for at least `frames` frames of a constant input.
void Feed(long frames, float input) {
  std::vector<float> in(512, input), out(512);
  for (long done = 0; done < frames; done += 256) Audio_ProcessStream(Audio_GetEngine(), in.data(), out.data(), 256);
}

// A take of a constant 0.5 replacing loop 1. It reaches the history when a recording ends
// with Play, or an insert pass ends inside the callback; the user-interface side completes
// it at the next poll or, before it, at the next operation on the history.
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
    // The application's label: the strips take slots 1..8 in order, so strip number = slot.
    Audio_SetUndoChangedCallback([](int track, int operation, const char* name, int redo) {
      labels.push_back(Undo_DescribeChange(track, operation, name, redo));
    });
    Audio_SetInsertPassCallback([](int starting) { insertPasses.push_back(starting); });
    ASSERT_EQ(Audio_CreateLoop(0.5, 1.0, 2, 0), 1);
    std::fill_n(t().pBuffer.load(), kFrames * 2, 0.5f);
    Audio_SelectRecordTrack(1);
    Audio_ResetUndo();
  }

  LoopTrack& t() { return e->tracks[1]; }
  std::vector<float> Loop() { return {t().pBuffer.load(), t().pBuffer.load() + t().length * 2}; }

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
    EXPECT_EQ(Audio_Undo(), -1);  // nothing older
    EXPECT_EQ(Audio_Redo(), 1);
    EXPECT_TRUE(Loop() == after);
    EXPECT_EQ(labels.back(), std::string("Press to undo track 1 ") + c.name);
    ASSERT_TRUE(Audio_RecordLooping(1));  // a recording over the result is undone back to it
    Feed(256, 0.25f);
    Audio_PlayLooping();
    EXPECT_EQ(Audio_Undo(), 1);
    EXPECT_TRUE(Loop() == after);
  }
}

// Refusals change nothing: an undo while a buffer waits or without memory to copy. A
// level that could not be taken for want of memory leaves no history that would restore
// the wrong audio.
TEST_F(UndoTest, RefusalsAndFailedAllocationsChangeNothing) {
  const std::vector<float> filled = Loop();
  Audio_FailNextAllocations(1);  // the erased loop's silent block
  ASSERT_TRUE(Audio_EraseLoop(1, 1));
  EXPECT_EQ(labels.back(), "Nothing to Undo");
  EXPECT_EQ(Audio_Undo(), -1);
  EXPECT_EQ(Loop(), std::vector<float>(kFrames * 2, 0.0f));

  std::fill_n(t().pBuffer.load(), kFrames * 2, 0.5f);
  Audio_ResetUndo();
  ASSERT_TRUE(Audio_EraseLoop(1, 1));
  Audio_FailNextAllocations(1);
  EXPECT_EQ(Audio_Undo(), 1);
  EXPECT_EQ(Loop(), std::vector<float>(kFrames * 2, 0.0f));
  EXPECT_EQ(Undo_GetDepth().undoLevels, 1);
  EXPECT_EQ(Audio_Undo(), 1);
  EXPECT_EQ(Loop(), filled);

  Audio_SetCallbackRunning(true);
  ASSERT_TRUE(Audio_ResizeLoop(1, 0.25, true, 1, ResizeDivide, false));
  const size_t reports = labels.size();
  EXPECT_EQ(Audio_Undo(), -1);
  EXPECT_TRUE(Undo_GetDepth().undoLevels == 1 && labels.size() == reports);
  Feed(256, 0.0f);  // the callback takes the divided loop over
  EXPECT_EQ(t().length, kFrames / 2);
  EXPECT_EQ(Audio_Undo(), 1);  // an in-place divide undone: the old length comes back
  Feed(256, 0.0f);
  EXPECT_EQ(t().length, kFrames);
  Audio_SetCallbackRunning(false);
}

// Each track keeps its own history: the record track's becomes the one Undo walks, and a
// track never touched before starts with nothing to undo. Disabling frees every level.
TEST_F(UndoTest, ChangingTheRecordTrackWalksItsHistoryAndDisablingFreesEveryLevel) {
  ASSERT_TRUE(Audio_EraseLoop(1, 1));
  ASSERT_EQ(Audio_CreateLoop(0.5, 1.0, 1, 0), 2);
  EXPECT_EQ(Audio_SelectRecordTrack(NUM_TRACKS), -1);
  EXPECT_TRUE(Audio_SelectRecordTrack(2) == 1 && !t().record);
  EXPECT_EQ(labels.back(), "Nothing to Undo");
  EXPECT_EQ(Audio_Undo(), -1);
  EXPECT_EQ(Audio_SelectRecordTrack(1), 2);
  EXPECT_EQ(labels.back(), "Press to undo track 1 Erase");
  EXPECT_EQ(Audio_Undo(), 1);
  EXPECT_EQ(Loop(), std::vector<float>(kFrames * 2, 0.5f));

  Audio_DisableUndo();
  EXPECT_TRUE(Undo_PresentAudio(1) == nullptr && Undo_PresentAudio(2) == nullptr);
  EXPECT_EQ(UndoAudio_BytesHeld(), 0u);
  EXPECT_EQ(Audio_Undo(), -1);
  ASSERT_TRUE(Audio_EraseLoop(1, 1));  // takes no snapshot
  EXPECT_EQ(UndoAudio_BytesHeld(), 0u);
  Audio_EnableUndo();
  EXPECT_TRUE(labels.back() == "Nothing to Undo" && Undo_PresentAudio(1) != nullptr);
}

}  // namespace
