// The undo history of every track and the operations that walk it.
#include "engine/undo.h"

#include <cstdio>
#include <cstring>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/message_dialog.h"
#include "engine/seams.h"
#include "engine/transport.h"
#include "engine/undo_history.h"

namespace {

inline bool ValidSlot(int track) { return track >= 0 && track < NUM_TRACKS; }

const char* const operationNames[] = {
    "None", "Erase", "new loop time", "Multiply", "Divide",  "Set Start Point", "Init",
    "Trim", "Change Track", "Insert Record", "Record", "Undone", "Redo",
};

UndoHistory history;
int activeTrack = -1;  // the track Undo and Redo act on
// The operation announced by Undo_Before (or a recording's start), for the next level
// of its track. A recording announced this way is already what Undo would remove: an
// undo during the take stores what was recorded and steps back over it.
int pendingTrack = -1;
uint32_t pendingOperation = UndoNone;
bool toldBudgetTooSmall = false;

bool Enabled(const AudioEngine* e) { return e && e->undoEnabled; }

bool TakeRunning(int track) { return pendingTrack == track && pendingOperation == UndoRecord; }

// Reports what Undo (or, with nothing left to undo, Redo) would do on the active track.
void Notify(AudioEngine* e) {
  if (!e->UndoChangedCallback || !ValidSlot(activeTrack)) return;
  const UndoTrackHistory& h = history.Track(activeTrack);
  uint32_t operation = UndoInit;
  int redo = 0;
  if (TakeRunning(activeTrack)) {
    operation = UndoRecord;
  } else if (h.UndoLevels() > 0) {
    operation = h.states[h.present].operation;
  } else if (h.RedoLevels() > 0) {
    operation = h.states[h.present + 1].operation;
    redo = 1;
  }
  e->UndoChangedCallback(activeTrack, static_cast<int>(operation), Undo_OperationName(operation), redo);
}

// Drops the oldest levels beyond the budget. `tell`: a level was just taken, and the user
// hears once per budget when even it does not fit.
void FitBudget(AudioEngine* e, int keep, bool tell) {
  if (history.FitBudget(e->undoMemoryBytes, keep) || !tell || toldBudgetTooSmall) return;
  toldBudgetTooSmall = true;
  char text[256];
  std::snprintf(text, sizeof text,
                "The undo memory (%d MB) is smaller than one undo level of this loop: only the last "
                "operation can be undone. Raise \"Undo memory (MB)\" in Preferences to keep more.",
                Audio_GetUndoMemory());
  MessageDialog_Show(e->messageOwner, text, "Undo");
}

// A capture that found no memory: the track's history is dropped rather than left with
// a present that is not the track's content (an undo would restore the wrong audio).
void Forget(int track) {
  history.ClearTrack(track);
  if (pendingTrack == track) pendingTrack = -1;
}

// Brings the track's present level in line with its content. The first capture is the
// track's base; content changed outside the history (a take not yet stored, a loaded
// file) becomes a level of its own, labelled "Record", so nothing recorded is lost.
void Sync(AudioEngine* e, int track) {
  if (!Audio_WaitForSwap(track)) return;
  LoopTrack& t = e->tracks[track];
  if (!t.inUse || !t.pBuffer) return;  // no loop: nothing that undo could bring back
  const UndoState* present = history.Track(track).Present();
  UndoAudio now;
  if (!UndoAudio_Capture(t.pBuffer, t.bufferSize, static_cast<uint32_t>(t.length.load()), t.numChannels,
                         present ? &present->audio : nullptr, &now)) {
    Forget(track);
    return;
  }
  if (present && UndoAudio_SameAs(present->audio, now)) return;
  history.Push(track, std::move(now), UndoRecord);
  if (TakeRunning(track)) pendingTrack = -1;  // stored now; the rest of it is another level
  FitBudget(e, track, present != nullptr);
}

// The new content of `track` after an operation or a recording: a level named by the
// announced operation ("Record" when none was). Content the history already holds as the
// present adds no level.
void Commit(AudioEngine* e, int track, const float* buffer, uint32_t bytes, uint32_t frames, uint32_t channels) {
  const uint32_t operation = pendingTrack == track ? pendingOperation : UndoRecord;
  pendingTrack = -1;
  activeTrack = track;
  const UndoState* present = history.Track(track).Present();
  UndoAudio now;
  if (!UndoAudio_Capture(buffer, bytes, frames, channels, present ? &present->audio : nullptr, &now)) {
    Forget(track);
  } else if (!present || !UndoAudio_SameAs(present->audio, now)) {
    history.Push(track, std::move(now), operation);
    FitBudget(e, track, present != nullptr);
  }
  Notify(e);
}

// Makes `track` the one Undo acts on, its present level its content.
void Activate(AudioEngine* e, int track) {
  Undo_TakeDueSnapshot();
  activeTrack = track;
  Sync(e, track);
  Notify(e);
}

// Restores the state one level down (step -1) or up (+1) of the active track.
int Step(int step) {
  AudioEngine* e = Audio_GetEngine();
  if (!Enabled(e)) return -1;
  Undo_TakeDueSnapshot();
  const int track = activeTrack;
  if (!ValidSlot(track)) return -1;
  LoopTrack& t = e->tracks[track];
  if (!t.inUse || t.pNewBuffer.load()) return -1;
  // A take still running, or not stored, is a level of its own: undo removes it first,
  // and it ends an undone branch, as any new change does.
  Sync(e, track);
  const UndoTrackHistory& h = history.Track(track);
  if (step < 0 ? h.UndoLevels() == 0 : h.RedoLevels() == 0) return -1;
  const UndoAudio& target = h.states[h.present + step].audio;
  if (target.bufferSize == 0 || target.length == 0) return -1;

  float* copy = Audio_AllocBuffer(target.bufferSize, false);
  if (!copy) return track;
  UndoAudio_CopyTo(target, copy);
  const uint32_t bytes = target.bufferSize;
  const uint32_t frames = target.length;
  const uint32_t channels = target.numChannels;
  history.Move(track, step);

  const uint32_t frameChannels = channels ? channels : 1;
  t.editBegin = 0;
  t.editEnd = static_cast<int32_t>(bytes / (frameChannels * 4));
  Audio_PublishBuffer(track, copy, bytes, frames, channels, false, 1);
  Notify(e);
  return track;
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

UndoDepth Undo_GetDepth() {
  UndoDepth depth;
  if (!Enabled(Audio_GetEngine()) || !ValidSlot(activeTrack)) return depth;
  const UndoTrackHistory& h = history.Track(activeTrack);
  depth.track = activeTrack;
  depth.undoLevels = static_cast<int>(h.UndoLevels());
  depth.redoLevels = static_cast<int>(h.RedoLevels());
  if (TakeRunning(activeTrack)) {  // the take will be a level, and ends the undone branch
    ++depth.undoLevels;
    depth.redoLevels = 0;
  }
  return depth;
}

std::string Undo_DescribeDepth(const UndoDepth& depth) {
  std::string text;
  const bool namesUndo = depth.undoLevels > 0;
  const int more = namesUndo ? depth.undoLevels - 1 : depth.redoLevels - 1;
  if (more > 0) text = std::to_string(more) + " more";
  if (namesUndo && depth.redoLevels > 0)
    text += (text.empty() ? "" : ", ") + std::to_string(depth.redoLevels) + " to redo";
  return text;
}

void Undo_Before(int track, uint32_t operation, uint8_t) {
  AudioEngine* e = Audio_GetEngine();
  if (!Enabled(e) || !ValidSlot(track)) return;
  Undo_TakeDueSnapshot();
  activeTrack = track;
  Sync(e, track);
  pendingTrack = track;
  pendingOperation = operation;
}

void Undo_After(int track) {
  AudioEngine* e = Audio_GetEngine();
  if (!Enabled(e) || !ValidSlot(track)) return;
  Undo_TakeDueSnapshot();
  if (!Audio_WaitForSwap(track)) return;
  LoopTrack& t = e->tracks[track];
  if (!t.inUse || !t.pBuffer) return;
  Commit(e, track, t.pBuffer, t.bufferSize, static_cast<uint32_t>(t.length.load()), t.numChannels);
}

void Undo_AfterBuffer(int track, const float* buffer, uint32_t bytes, uint32_t frames,
                      uint32_t channels) {
  AudioEngine* e = Audio_GetEngine();
  if (!Enabled(e) || !ValidSlot(track)) return;
  Undo_TakeDueSnapshot();
  Commit(e, track, buffer, bytes, frames, channels);
}

void Undo_Flip() {
  AudioEngine* e = Audio_GetEngine();
  if (!Enabled(e)) return;
  Undo_TakeDueSnapshot();
  const int track = Transport_RecordTrack(e);
  if (track < 0) return;
  activeTrack = track;
  // Normally the track's content is its present level already (the last operation or
  // take stored it), and the start of a recording costs nothing here.
  if (history.Track(track).Empty()) Sync(e, track);
  pendingTrack = track;
  pendingOperation = UndoRecord;
  Notify(e);
}

void Undo_TakeDueSnapshot() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  const int32_t track = e->insertSnapshotTrack.exchange(-1);
  if (track < 0) return;
  // The pass's input is still fading out for a moment after it ended.
  Audio_WaitForSeamRecording();
  Undo_After(track);
}

int Audio_SelectRecordTrack(int track) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !ValidSlot(track)) return -1;
  const int previous = Transport_RecordTrack(e);
  const bool changed = previous >= 0 && previous != track;
  if (changed) {
    e->tracks[previous].record = 0;
    // The new track's history becomes the one Undo walks. Its content is taken before it
    // becomes the record track, so that a running recording cannot reach it meanwhile.
    if (Enabled(e)) Activate(e, track);
  }
  e->tracks[track].record = 1;
  return previous;
}

int Audio_Undo() { return Step(-1); }
int Audio_Redo() { return Step(+1); }

void Audio_ResetUndo() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  e->insertSnapshotTrack.store(-1);
  history.Clear();
  pendingTrack = -1;
  activeTrack = -1;
  const int track = Transport_RecordTrack(e);
  if (track >= 0 && Enabled(e)) Activate(e, track);
}

void Audio_EnableUndo() {
  AudioEngine* e = Audio_GetEngine();
  if (!e || e->undoEnabled) return;
  e->undoEnabled = 1;
  Audio_ResetUndo();
}

void Audio_DisableUndo() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  e->insertSnapshotTrack.store(-1);
  history.Clear();
  pendingTrack = -1;
  activeTrack = -1;
  e->undoEnabled = 0;
}

void Audio_SetUndoMemory(int megabytes) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  e->undoMemoryBytes = static_cast<uint64_t>(megabytes > 0 ? megabytes : 0) << 20;
  toldBudgetTooSmall = false;
  FitBudget(e, activeTrack, false);
  Notify(e);
}

int Audio_GetUndoMemory() {
  const AudioEngine* e = Audio_GetEngine();
  return e ? static_cast<int>(e->undoMemoryBytes >> 20) : 0;
}

const UndoAudio* Undo_PresentAudio(int track) {
  if (!ValidSlot(track)) return nullptr;
  const UndoState* present = history.Track(track).Present();
  return present ? &present->audio : nullptr;
}
