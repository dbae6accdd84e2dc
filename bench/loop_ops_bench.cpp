// User-interface-thread costs of the metronome rebuild, the loop length operations and
// the undo history on the longest loop (240 s stereo, 92 MB).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/audio.h"
#include "engine/loop_ops.h"
#include "engine/metronome.h"
#include "engine/undo.h"
#include "long_loop.h"

namespace {

void BM_SetMetronomeTime(benchmark::State& state) {
  Audio_Init();
  for (auto _ : state) benchmark::DoNotOptimize(Audio_SetMetronomeTime(2.0, 4, true));
  Audio_Shutdown();
}
BENCHMARK(BM_SetMetronomeTime)->Unit(benchmark::kMicrosecond);

// The undo point of an operation on a loop the history already holds: the loop is
// compared with its present level, nothing is copied (undo_bench.cpp has the levels).
void BM_UndoSnapshotSameSize(benchmark::State& state) {
  LongLoop loop;
  for (auto _ : state) Undo_Before(loop.track, UndoErase, 0);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * loop.bytes());
}
BENCHMARK(BM_UndoSnapshotSameSize)->Unit(benchmark::kMillisecond)->Iterations(20);

// The floor for a snapshot of the same size: a plain memcpy between two buffers of the
// loop's size that are already faulted in.
void BM_Memcpy240sStereo(benchmark::State& state) {
  LongLoop loop;
  const uint32_t bytes = loop.bytes();
  std::vector<float> copy(bytes / 4, 1.0f);
  const float* source = Audio_GetEngine()->tracks[loop.track].pBuffer;
  for (auto _ : state) {
    std::memcpy(copy.data(), source, bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}
BENCHMARK(BM_Memcpy240sStereo)->Unit(benchmark::kMillisecond)->Iterations(20);

// The first level of a track: every block copied into fresh memory.
void BM_UndoSnapshotFresh(benchmark::State& state) {
  LongLoop loop;
  for (auto _ : state) {
    state.PauseTiming();
    Audio_DisableUndo();
    Audio_GetEngine()->undoEnabled = 1;
    state.ResumeTiming();
    Undo_Before(loop.track, UndoErase, 0);
  }
}
BENCHMARK(BM_UndoSnapshotFresh)->Unit(benchmark::kMillisecond)->Iterations(5);

// Divide then Multiply in place (modes "Seconds" and "Measures"): two snapshots each, no
// new audio buffer.
void BM_ResizeLoopInPlace(benchmark::State& state) {
  LongLoop loop;
  bool half = false;
  for (auto _ : state) {
    half = !half;
    Audio_ResizeLoop(loop.track, half ? kLongest / 2 : kLongest, true, 1, half ? ResizeDivide : ResizeMultiply,
                     false);
  }
}
BENCHMARK(BM_ResizeLoopInPlace)->Unit(benchmark::kMillisecond)->Iterations(10);

// A new loop time into a new buffer (cut, or padded by repeating the loop).
void BM_ResizeLoopNewBuffer(benchmark::State& state) {
  LongLoop loop;
  bool shorter = false;
  for (auto _ : state) {
    shorter = !shorter;
    Audio_ResizeLoop(loop.track, shorter ? kLongest - 1 : kLongest, false, 1, ResizeNewLoopTime, true);
  }
}
BENCHMARK(BM_ResizeLoopNewBuffer)->Unit(benchmark::kMillisecond)->Iterations(6);

// Undo and redo of an erase, alternating.
void BM_Undo(benchmark::State& state) {
  LongLoop loop;
  Audio_EraseLoop(loop.track, 1);
  bool undo = false;
  for (auto _ : state) {
    undo = !undo;
    benchmark::DoNotOptimize(undo ? Audio_Undo() : Audio_Redo());
  }
}
BENCHMARK(BM_Undo)->Unit(benchmark::kMillisecond)->Iterations(6);

}  // namespace
