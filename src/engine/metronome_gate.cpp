#include "engine/metronome_gate.h"

#include "engine/audio.h"

namespace {
bool IsRecordingState(int32_t state) { return state == Recording || state == Inserting; }

// The metronome has played its maximum number of measures (never, when continuous with
// no maximum). While playing, the maximum is reached once the passes exceed it; while
// recording, once they reach it (recording counts its first pass as count-off).
bool PassesExhausted(const AudioEngine* e, bool strictlyBeyond) {
  const int32_t passes = e->metronomePasses;
  const int32_t max = e->metronomeMax;
  const bool limited = !e->continuousMetronome || max != 0;
  return (strictlyBeyond ? passes > max : passes >= max) && limited;
}

// Whether the click track sounds in `state` with the counters as they are now.
bool GateOpen(const AudioEngine* e, int32_t state) {
  if (state == Playing) return e->metronomePlayback && !PassesExhausted(e, true);
  if (state == Recording || state == InsertWaiting || state == Inserting)
    return e->metronomeRecord &&
           (e->countoffPasses <= e->metronomeCountoff || !PassesExhausted(e, false));
  return false;
}
}  // namespace

bool Metronome_CountoffRunning(const AudioEngine* e, int32_t state) {
  return IsRecordingState(state) && e->metronomeRecord && e->metronomeCountoff > 0 &&
         e->countoffPasses <= e->metronomeCountoff;
}

void Metronome_UpdateActive(AudioEngine* e, LoopTrack* t, int32_t state) {
  t->active = GateOpen(e, state) ? 1u : 0u;
}

bool Metronome_NewFrame(AudioEngine* e, LoopTrack* t, int32_t position, int32_t state) {
  if (position == 0) {
    if (IsRecordingState(state) && e->countoffPasses <= e->metronomeCountoff)
      e->countoffPasses += 1;
    else
      e->metronomePasses += 1;
    // The metronome stops at the loop start exactly when the gate would close at the next
    // buffer, so that a measure is never cut after its first click: not during the
    // count-off, and while playing only once the passes exceed the maximum.
    if (!GateOpen(e, state)) {
      t->active = 0;
      return false;
    }
    if (BeatCallbackFn beat = e->BeatCallback) beat(1);
    return true;
  }
  // Beats fall inside the measure's beats only: a measure that is not a whole number of
  // beats leaves a few frames after the last one, where no extra beat may sound.
  const int32_t framesPerBeat = e->framesPerBeat;
  if (framesPerBeat > 0 && position % framesPerBeat == 0 &&
      position / framesPerBeat < e->metronomeBeats) {
    if (BeatCallbackFn beat = e->BeatCallback) beat(0);
  }
  return true;
}
