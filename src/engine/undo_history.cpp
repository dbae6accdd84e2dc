// The per-track undo levels and their memory budget.
#include "engine/undo_history.h"

#include <algorithm>

void UndoHistory::Push(int track, UndoAudio audio, uint32_t operation) {
  UndoTrackHistory& h = tracks_[track];
  if (!h.states.empty()) h.states.resize(h.present + 1);
  h.states.push_back({std::move(audio), operation, ++serial_});
  h.present = h.states.size() - 1;
}

bool UndoHistory::Move(int track, int step) {
  UndoTrackHistory& h = tracks_[track];
  if (step < 0 ? h.UndoLevels() == 0 : h.RedoLevels() == 0) return false;
  h.present = step < 0 ? h.present - 1 : h.present + 1;
  return true;
}

void UndoHistory::Clear() {
  for (UndoTrackHistory& h : tracks_) h = {};
}

bool UndoHistory::FitBudget(uint64_t budgetBytes, int keep) {
  while (UndoAudio_BytesHeld() > budgetBytes) {
    // The droppable state of each track, and the oldest of them.
    int oldestTrack = -1;
    size_t oldestIndex = 0;
    uint64_t oldestSerial = UINT64_MAX;
    for (int i = 0; i < NUM_TRACKS; ++i) {
      const UndoTrackHistory& h = tracks_[i];
      if (h.states.empty()) continue;
      size_t index;
      if (i == keep) {
        // Its present and the state below it stay: the level just taken stays undoable.
        const size_t top = h.states.size() - 1;
        if (h.present >= 2)
          index = 0;
        else if (top > std::max<size_t>(h.present, 1))
          index = top;
        else
          continue;
      } else if (h.states.size() == 1 || h.present > 0) {
        index = 0;  // the bottom (a lone base goes as well: the next operation retakes it)
      } else {
        index = h.states.size() - 1;  // nothing left to undo: the top of the undone branch
      }
      if (h.states[index].serial < oldestSerial) {
        oldestSerial = h.states[index].serial;
        oldestTrack = i;
        oldestIndex = index;
      }
    }
    if (oldestTrack < 0) return false;
    UndoTrackHistory& h = tracks_[oldestTrack];
    h.states.erase(h.states.begin() + static_cast<std::ptrdiff_t>(oldestIndex));
    if (oldestIndex < h.present) --h.present;
    if (h.states.empty()) h.present = 0;
  }
  return true;
}
