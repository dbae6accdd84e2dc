#pragma once
// The one-level undo history: two UndoSnapshot entries in the engine record. Entry
// undoCurrent holds the track as it was before the last operation (the undo point), the
// other entry holds it as it is now.
#include <cstdint>
#include <string>

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

// Primitives (user-interface thread).
void Undo_Store(int entry, int track, const float* buffer, uint32_t bytes, uint32_t frames,
                uint32_t channels, uint32_t operation, uint8_t redo);
void Undo_Before(int track, uint32_t operation, uint8_t redo);
void Undo_After(int track);
void Undo_AfterBuffer(int track, const float* buffer, uint32_t bytes, uint32_t frames,
                      uint32_t channels);
void Undo_Flip();

// Takes the end-of-insert snapshot that the callback flagged, if one is due. Every
// operation that touches the history calls it first, so the history is always in order.
void Undo_TakeDueSnapshot();

int Audio_SelectRecordTrack(int track);
int Audio_Undo();
void Audio_EnableUndo();
void Audio_ResetUndo();
void Audio_DisableUndo();
