// Taking an undo level on the longest loop (240 s stereo, 92 MB): wall time and the
// memory the level adds, beside the snapshot the history took before it kept levels (a
// full copy of the track into an entry, its allocation reused when the size allowed).
// Counters: level_MB is the memory one level adds to the history.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/undo.h"
#include "long_loop.h"

namespace {

// The reference: one entry of the two-entry history, stored as it was (a copy into the
// entry's allocation, reallocated only when too small).
struct ReferenceEntry {
  ~ReferenceEntry() { Audio_FreeBuffer(buffer); }
  void Store(const float* source, uint32_t bytes) {
    if (!buffer || capacity < bytes) {
      Audio_FreeBuffer(buffer);
      buffer = Audio_AllocBuffer(bytes, false);
      capacity = bytes;
    }
    std::memcpy(buffer, source, bytes);
    benchmark::ClobberMemory();
  }
  float* buffer = nullptr;
  uint32_t capacity = 0;
};

void ReportLevel(benchmark::State& state, double bytesPerLevel) {
  state.counters["level_MB"] = bytesPerLevel / 1e6;
}

// Reference: the snapshot before and after an operation, each a full copy into an entry
// that already holds one of the same size.
void BM_UndoReferenceSnapshotPair(benchmark::State& state) {
  LongLoop loop;
  ReferenceEntry entries[2];
  const uint32_t bytes = loop.t().bufferSize;
  for (auto _ : state) {
    entries[0].Store(loop.t().pBuffer, bytes);
    entries[1].Store(loop.t().pBuffer, bytes);
  }
  ReportLevel(state, bytes);  // each entry holds a copy: a level was one loop's worth
}
BENCHMARK(BM_UndoReferenceSnapshotPair)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// A level for an operation that left the audio as it was and changed the length (an
// in-place divide or multiply): both snapshots compare, no block is copied.
void BM_UndoLevelAudioUnchanged(benchmark::State& state) {
  LongLoop loop;
  LoopTrack& t = loop.t();
  const uint64_t held = UndoAudio_BytesHeld();
  bool half = false;
  for (auto _ : state) {
    half = !half;
    const int32_t length = t.length;
    const auto frames = static_cast<uint32_t>(half ? length / 2 : length);
    Undo_Before(loop.track, UndoDivide, 0);
    Undo_AfterBuffer(loop.track, t.pBuffer, t.bufferSize, frames, t.numChannels);
  }
  ReportLevel(state, static_cast<double>(UndoAudio_BytesHeld() - held) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_UndoLevelAudioUnchanged)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// A level for an overdub punched in over 1 s of the loop: only the blocks it touched are
// copied.
void BM_UndoLevelOneSecondChanged(benchmark::State& state) {
  LongLoop loop;
  LoopTrack& t = loop.t();
  const uint64_t held = UndoAudio_BytesHeld();
  const uint32_t second = 48000 * 2;
  float gain = 1.0f;
  for (auto _ : state) {
    state.PauseTiming();
    gain += 0.01f;
    for (uint32_t i = 0; i < second; ++i) t.pBuffer[10 * second + i] *= gain;  // the take
    state.ResumeTiming();
    Undo_After(loop.track);
  }
  ReportLevel(state, static_cast<double>(UndoAudio_BytesHeld() - held) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_UndoLevelOneSecondChanged)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// A level for an operation that changed every sample (a nudge, a full take): every block
// is copied. Argument 0: the history still grows, the copy goes into fresh memory; else
// the budget in MB, full after a few levels, so each new level replaces the oldest.
void BM_UndoLevelAllChanged(benchmark::State& state) {
  LongLoop loop;
  if (state.range(0) > 0) Audio_SetUndoMemory(static_cast<int>(state.range(0)));
  LoopTrack& t = loop.t();
  const uint32_t bytes = t.bufferSize;
  std::vector<float> other(bytes / 4);
  for (size_t i = 0; i < other.size(); ++i) other[i] = static_cast<float>(i % 1013) / 1013.0f;
  bool flip = false;
  auto take = [&] {
    flip = !flip;
    Undo_AfterBuffer(loop.track, flip ? other.data() : t.pBuffer.load(), bytes, static_cast<uint32_t>(t.length),
                     t.numChannels);
  };
  if (state.range(0) > 0)
    for (int i = 0; i < 6; ++i) take();  // fill the budget first
  const uint64_t held = UndoAudio_BytesHeld();
  for (auto _ : state) take();
  const double added = static_cast<double>(UndoAudio_BytesHeld()) - static_cast<double>(held);
  ReportLevel(state, state.range(0) > 0 ? static_cast<double>(bytes) : added / static_cast<double>(state.iterations()));
  state.counters["held_MB"] = static_cast<double>(UndoAudio_BytesHeld()) / 1e6;
}
BENCHMARK(BM_UndoLevelAllChanged)->Arg(0)->Arg(400)->Unit(benchmark::kMillisecond)->Iterations(6)->UseRealTime();

}  // namespace
