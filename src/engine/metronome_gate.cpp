#include "engine/metronome_gate.h"

#include "engine/audio.h"

namespace {
bool IsRecordingState(int32_t state) { return state == Recording || state == Inserting; }

// The metronome has played its maximum number of measures (never, when continuous with
// no maximum).
bool PassesExhausted(const AudioEngine* e, bool strictlyBeyond) {
  const int32_t passes = e->metronomePasses;
  const int32_t max = e->metronomeMax;
  const bool limited = !e->continuousMetronome || max != 0;
  return (strictlyBeyond ? passes > max : passes >= max) && limited;
}
}  // namespace

bool Metronome_CountoffRunning(const AudioEngine* e, int32_t state) {
  return IsRecordingState(state) && e->metronomeRecord && e->metronomeCountoff > 0 &&
         e->countoffPasses <= e->metronomeCountoff;
}

void Metronome_UpdateActive(AudioEngine* e, LoopTrack* t, int32_t state) {
  uint32_t active = 0;
  if (state == Playing) {
    active = e->metronomePlayback && !PassesExhausted(e, true);
  } else if (state == Recording || state == InsertWaiting || state == Inserting) {
    active = e->metronomeRecord &&
             (e->countoffPasses <= e->metronomeCountoff || !PassesExhausted(e, false));
  }
  t->active = active;
}

bool Metronome_NewFrame(AudioEngine* e, LoopTrack* t, int32_t position, int32_t state) {
  if (position == 0) {
    if (IsRecordingState(state) && e->countoffPasses <= e->metronomeCountoff)
      e->countoffPasses += 1;
    else
      e->metronomePasses += 1;
    if ((IsRecordingState(state) || state == Playing) && PassesExhausted(e, false)) {
      t->active = 0;
      return false;
    }
    if (BeatCallbackFn beat = e->BeatCallback) beat(1);
    return true;
  }
  const int32_t framesPerBeat = e->framesPerBeat;
  if (framesPerBeat > 0 && position % framesPerBeat == 0) {
    if (BeatCallbackFn beat = e->BeatCallback) beat(0);
  }
  return true;
}
