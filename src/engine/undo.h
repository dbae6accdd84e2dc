#pragma once
// The undo history: for each track, the states its operations and recordings left, held
// as shared blocks (undo_audio.h) within a memory budget. Undo and Redo act on the track
// the history last touched (the record track, or the track last operated on).
// User-interface thread only: the audio thread at most flags the end-of-insert snapshot
// (insertSnapshotTrack), which the next history call takes.
#include <cstdint>
#include <string>

#include "engine/undo_audio.h"

enum UndoOperation : uint32_t {
  UndoNone = 0,
  UndoErase = 1,
  UndoNewLoopTime = 2,
  UndoMultiply = 3,
  UndoDivide = 4,
  UndoSetStartPoint = 5,
  UndoInit = 6,
  UndoTrim = 7,
  UndoChangeTrack = 8,
  UndoInsertRecord = 9,
  UndoRecord = 10,
  UndoUndone = 11,
  UndoRedo = 12,
};

// The name shown to the user ("None" for an unknown code).
const char* Undo_OperationName(uint32_t operation);

// The text the undo label shows for an UndoChangedCallback report, with the strip number
// 1..8 of the reported slot: "Nothing to Undo" for "Init", else "Press to undo track %d %s"
// or, for a redo, "Press to redo track %d %s".
std::string Undo_DescribeChange(int stripNumber, int operation, const char* name, int redo);

// How deep the history of the track Undo and Redo act on is (track -1: none).
struct UndoDepth {
  int track = -1;
  int undoLevels = 0;
  int redoLevels = 0;
};
UndoDepth Undo_GetDepth();
// The depth beside the label: the levels beyond the one the label names ("3 more"), and
// while the label names an undo, the levels redo can bring back ("3 more, 2 to redo").
// Empty when there are none.
std::string Undo_DescribeDepth(const UndoDepth& depth);

// Primitives of the operations. The label is reported (UndoChangedCallback) whenever
// what Undo would do changes.
// An operation is about to change `track`: its present content becomes its undo point.
void Undo_Before(int track, uint32_t operation, uint8_t redo);
// The operation (or the recording) has changed `track`: its content is the new level.
void Undo_After(int track);
// As Undo_After, with the new buffer the operation is about to publish.
void Undo_AfterBuffer(int track, const float* buffer, uint32_t bytes, uint32_t frames,
                      uint32_t channels);
// A recording starts on the record track: its take becomes a "Record" level when stored.
void Undo_Flip();

// Takes the end-of-insert snapshot that the callback flagged, if one is due. Every
// operation that touches the history calls it first, so the history is always in order.
void Undo_TakeDueSnapshot();

int Audio_SelectRecordTrack(int track);
// Step the history of the track it acts on back or forward one level, restoring that
// track; -1 when there is nothing to do or a buffer of the track still waits. Returns the
// track even when memory for the restored copy ran short (nothing then changes).
int Audio_Undo();
int Audio_Redo();
void Audio_EnableUndo();
void Audio_ResetUndo();
void Audio_DisableUndo();

// The memory the history may hold, in MB (negative counts as 0). A budget smaller than
// one level keeps that level, and says so once per budget.
void Audio_SetUndoMemory(int megabytes);
int Audio_GetUndoMemory();

// The state a track's history holds as its present (null when none); tests and benchmarks.
const UndoAudio* Undo_PresentAudio(int track);
