#pragma once
// The levels of undo of every track: for each track the states it went through, the
// present one among them, and the operation that led to each. Undo and redo move the
// present down and up; a new state above the present drops the states that were above
// it. The oldest levels go when the audio the history holds outgrows its budget.
// User-interface thread only.
#include <array>
#include <cstdint>
#include <vector>

#include "engine/audio.h"
#include "engine/undo_audio.h"

struct UndoState {
  UndoAudio audio;
  uint32_t operation = 0;  // UndoOperation that led here from the state below
  uint64_t serial = 0;     // order of taking, across all tracks
};

struct UndoTrackHistory {
  std::vector<UndoState> states;  // oldest first
  size_t present = 0;             // index of the track's present state (when not empty)

  bool Empty() const { return states.empty(); }
  // Levels that undo can step back, and that redo can step forward.
  size_t UndoLevels() const { return states.empty() ? 0 : present; }
  size_t RedoLevels() const { return states.empty() ? 0 : states.size() - 1 - present; }
  const UndoState* Present() const { return states.empty() ? nullptr : &states[present]; }
};

class UndoHistory {
 public:
  const UndoTrackHistory& Track(int track) const { return tracks_[track]; }

  // `audio` becomes the track's present state, reached by `operation`. The states above
  // the old present (undone levels) are dropped first. The first state is the base.
  void Push(int track, UndoAudio audio, uint32_t operation);
  // Moves the present by `step` (-1 undo, +1 redo) when there is a state there.
  bool Move(int track, int step);
  void ClearTrack(int track) { tracks_[track] = {}; }
  void Clear();

  // Drops the oldest levels, across all tracks, until the audio held fits `budgetBytes`.
  // Track `keep` keeps its newest level (its present and the state below it), or its
  // base when it has no level; every other track keeps its present while it has levels
  // to undo (an undone branch is dropped from its top). False when what is kept still
  // does not fit.
  bool FitBudget(uint64_t budgetBytes, int keep);

 private:
  std::array<UndoTrackHistory, NUM_TRACKS> tracks_;
  uint64_t serial_ = 0;
};
