// The one-level undo history.
#include "engine/undo.h"

#include <cstdio>
#include <cstring>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/transport.h"

namespace {

inline bool ValidSlot(int track) { return track >= 0 && track < NUM_TRACKS; }

const char* const operationNames[] = {
    "None", "Erase", "new loop time", "Multiply", "Divide",  "Set Start Point", "Init",
    "Trim", "Change Track", "Insert Record", "Record", "Undone", "Redo",
};

// Bytes allocated for each entry's copy. A copy reuses an allocation at least as large
// as itself: a fresh allocation of a long loop costs far more than the copy (its pages
// fault in one by one), and a length operation would otherwise reallocate both entries.
uint32_t entryCapacity[2] = {0, 0};

void ClearEntry(AudioEngine* e, int index) {
  UndoSnapshot& entry = e->undo[index];
  entryCapacity[index] = 0;
  Audio_FreeBuffer(entry.pBuffer);
  entry.pBuffer = nullptr;
  entry.bufferSize = 0;
  entry.length = 0;
  entry.track = 0;
  entry.numChannels = 0;
}

void Notify(AudioEngine* e, const UndoSnapshot& entry) {
  if (e->UndoChangedCallback)
    e->UndoChangedCallback(static_cast<int>(entry.track), static_cast<int>(entry.operation),
                           Undo_OperationName(entry.operation), entry.redo);
}

}  // namespace

const char* Undo_OperationName(uint32_t operation) {
  return operation < std::size(operationNames) ? operationNames[operation] : operationNames[0];
}

std::string Undo_DescribeChange(int stripNumber, int operation, const char* name, int redo) {
  if (operation == UndoInit) return "Nothing to Undo";
  char text[128];
  std::snprintf(text, sizeof text, redo ? "Press to redo track %d %s" : "Press to undo track %d %s",
                stripNumber, name ? name : "");
  return text;
}

void Undo_Store(int index, int track, const float* buffer, uint32_t bytes, uint32_t frames,
                uint32_t channels, uint32_t operation, uint8_t redo) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !e->undoEnabled || !ValidSlot(track) || (index != 0 && index != 1)) return;
  UndoSnapshot& entry = e->undo[index];
  if (!entry.pBuffer || entryCapacity[index] < bytes) {
    ClearEntry(e, index);
    entry.pBuffer = Audio_AllocBuffer(bytes, false);
    // Without memory the entry stays empty: it must not claim a copy it does not hold.
    if (!entry.pBuffer) return;
    entryCapacity[index] = bytes;
  }
  if (buffer && bytes) std::memcpy(entry.pBuffer, buffer, bytes);
  entry.bufferSize = bytes;
  entry.length = frames;
  entry.track = static_cast<uint32_t>(track);
  entry.numChannels = channels;
  entry.operation = operation;
  entry.redo = redo;
  if (static_cast<uint32_t>(index) == e->undoCurrent) Notify(e, entry);
}

void Undo_Before(int track, uint32_t operation, uint8_t redo) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !e->undoEnabled || !ValidSlot(track)) return;
  Undo_TakeDueSnapshot();
  if (!Audio_WaitForSwap(track)) return;
  LoopTrack& t = e->tracks[track];
  Undo_Store(static_cast<int>(e->undoCurrent.load()), track, t.pBuffer, t.bufferSize,
             static_cast<uint32_t>(t.length.load()), t.numChannels, operation, redo);
}

void Undo_After(int track) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !e->undoEnabled || !ValidSlot(track)) return;
  Undo_TakeDueSnapshot();
  if (!Audio_WaitForSwap(track)) return;
  LoopTrack& t = e->tracks[track];
  Undo_Store(static_cast<int>(1 - e->undoCurrent.load()), track, t.pBuffer, t.bufferSize,
             static_cast<uint32_t>(t.length.load()), t.numChannels, UndoRecord, 0);
}

void Undo_AfterBuffer(int track, const float* buffer, uint32_t bytes, uint32_t frames,
                      uint32_t channels) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  Undo_TakeDueSnapshot();
  Undo_Store(static_cast<int>(1 - e->undoCurrent.load()), track, buffer, bytes, frames, channels,
             UndoRecord, 0);
}

void Undo_Flip() {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !e->undoEnabled) return;
  Undo_TakeDueSnapshot();
  e->undoCurrent = 1 - e->undoCurrent;
  const UndoSnapshot& entry = e->undo[e->undoCurrent];
  if (e->UndoChangedCallback)
    e->UndoChangedCallback(static_cast<int>(entry.track), static_cast<int>(entry.operation),
                           Undo_OperationName(entry.operation), 0);
}

void Undo_TakeDueSnapshot() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  const int32_t track = e->insertSnapshotTrack.exchange(-1);
  if (track >= 0) Undo_After(track);
}

int Audio_SelectRecordTrack(int track) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !ValidSlot(track)) return -1;
  const int previous = Transport_RecordTrack(e);
  const bool changed = previous >= 0 && previous != track;
  if (changed) {
    e->tracks[previous].record = 0;
    // The new track's content is copied before it becomes the record track, so that a
    // running recording cannot reach it while it is being copied.
    Undo_Before(track, UndoChangeTrack, 0);
    Undo_After(track);
  }
  e->tracks[track].record = 1;
  return previous;
}

int Audio_Undo() {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !e->undoEnabled) return -1;
  Undo_TakeDueSnapshot();
  const UndoSnapshot entry = e->undo[e->undoCurrent];
  const int track = static_cast<int>(entry.track);
  if (!entry.pBuffer || !ValidSlot(track)) return -1;
  LoopTrack& t = e->tracks[track];
  if (!t.inUse || t.pNewBuffer.load()) return -1;

  float* copy = Audio_AllocBuffer(entry.bufferSize, false);
  if (!copy) return track;
  std::memcpy(copy, entry.pBuffer, entry.bufferSize);

  e->undoCurrent = 1 - e->undoCurrent;
  Undo_Before(track, entry.operation, static_cast<uint8_t>(!entry.redo));

  const uint32_t channels = entry.numChannels ? entry.numChannels : 1;
  t.editBegin = 0;
  t.editEnd = static_cast<int32_t>(entry.bufferSize / (channels * 4));
  Audio_PublishBuffer(track, copy, entry.bufferSize, entry.length, entry.numChannels, false, 1);
  return track;
}

void Audio_ResetUndo() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  const int track = Transport_RecordTrack(e);
  if (track >= 0) {
    Undo_Before(track, UndoInit, 0);
    Undo_After(track);
  }
}

void Audio_EnableUndo() {
  AudioEngine* e = Audio_GetEngine();
  if (!e || e->undoEnabled) return;
  e->undoEnabled = 1;
  e->undoCurrent = 0;
  Audio_ResetUndo();
}

void Audio_DisableUndo() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  e->insertSnapshotTrack.store(-1);
  ClearEntry(e, 0);
  ClearEntry(e, 1);
  e->undoEnabled = 0;
}
