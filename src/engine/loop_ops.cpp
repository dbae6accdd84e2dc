// Loop length operations (user-interface thread).
#include "engine/loop_ops.h"

#include <algorithm>
#include <cstring>

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/message_dialog.h"
#include "engine/undo.h"

namespace {

inline bool ValidSlot(int track) { return track >= 0 && track < NUM_TRACKS; }

// The slot holds a loop whose buffer can be copied now: in use, with a buffer that covers
// its length, and no buffer waiting to be swapped in.
LoopTrack* EditableTrack(AudioEngine* e, int track) {
  if (!e || !ValidSlot(track)) return nullptr;
  LoopTrack& t = e->tracks[track];
  if (!t.inUse || !t.pBuffer || t.pNewBuffer.load()) return nullptr;
  const uint32_t channels = t.numChannels;
  if (channels != 1 && channels != 2) return nullptr;
  if (t.length < 0 || static_cast<uint64_t>(t.length) * channels * sizeof(float) > t.bufferSize)
    return nullptr;
  return &t;
}

// The largest loop buffer: 240 s of the track's channels.
uint64_t MaxLoopBytes(const AudioEngine* e, uint32_t channels) {
  return static_cast<uint64_t>(channels * e->sampleRate * 960.0);
}

// Fills `count` bytes at `dst` by repeating the `unit` bytes at `src` from their start;
// silence when there is nothing to repeat. Never reads beyond `unit`.
void FillRepeating(char* dst, uint64_t count, const char* src, uint64_t unit) {
  if (unit == 0) {
    std::memset(dst, 0, count);
    return;
  }
  while (count > 0) {
    const uint64_t piece = std::min(count, unit);
    std::memcpy(dst, src, piece);
    dst += piece;
    count -= piece;
  }
}

void ShowError(const AudioEngine* e, const char* text, const char* caption) {
  MessageDialog_Show(e->messageOwner, text, caption);
}

}  // namespace

bool Audio_EraseLoop(int track, int undoable) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !ValidSlot(track)) return false;
  LoopTrack& t = e->tracks[track];
  if (!t.inUse || !t.pBuffer) return false;
  if (undoable) Undo_Before(track, UndoErase, 0);
  // Zeros written into a buffer that is about to be replaced would be lost.
  if (!Audio_WaitForSwap(track)) return false;
  std::memset(t.pBuffer.load(), 0, t.bufferSize);
  t.recorded = 0;
  e->pendingCutTrack = -1;
  t.editBegin = 0;
  t.editEnd = t.length.load();
  if (undoable) Undo_After(track);
  return true;
}

bool Audio_ResizeLoop(int track, double seconds, bool inPlace, uint8_t resync, int mode, bool repeat) {
  AudioEngine* e = Audio_GetEngine();
  LoopTrack* t = EditableTrack(e, track);
  if (!t || !(seconds >= MIN_LOOP_SECONDS && seconds <= MAX_LOOP_SECONDS)) return false;
  const uint32_t channels = t->numChannels;
  const auto newSize = static_cast<uint64_t>(seconds * channels * e->sampleRate * 4.0);
  if (newSize > MaxLoopBytes(e, channels)) return false;
  const uint32_t operation = mode == ResizeMultiply ? UndoMultiply
                             : mode == ResizeDivide ? UndoDivide
                                                    : UndoNewLoopTime;
  float* const old = t->pBuffer;
  const uint32_t oldBytes = t->bufferSize;
  const auto newLength = static_cast<uint32_t>(newSize / (4 * channels));

  if (inPlace && newSize <= oldBytes) {
    // Only the length changes; frames beyond the old length keep what the buffer held.
    Undo_Before(track, operation, 0);
    Undo_AfterBuffer(track, old, oldBytes, newLength, channels);
    Audio_PublishBuffer(track, old, oldBytes, newLength, channels, false, resync);
    return true;
  }

  // The new buffer is built before the history is touched, so that a shortage of memory
  // leaves the history as it was.
  float* buffer = Audio_AllocBuffer(newSize, false);
  if (!buffer) {
    ShowError(e, "Insufficient Memory!", "Error");
    return false;
  }
  char* dst = reinterpret_cast<char*>(buffer);
  const char* src = reinterpret_cast<const char*>(old);
  if (inPlace) {
    const uint64_t rest = newSize - oldBytes;
    if (rest > oldBytes) Audio_Assert("multiply exceeded 2x length", "audio", __LINE__);
    std::memcpy(dst, src, oldBytes);
    FillRepeating(dst + oldBytes, rest, src, oldBytes);
  } else {
    const uint64_t loopBytes =
        std::min<uint64_t>(static_cast<uint64_t>(t->length) * channels * sizeof(float), oldBytes);
    const uint64_t first = std::min(loopBytes, newSize);
    std::memcpy(dst, src, first);
    FillRepeating(dst + first, newSize - first, src, repeat ? loopBytes : 0);
  }

  Undo_Before(track, operation, 0);
  const auto bytes = static_cast<uint32_t>(newSize);
  Undo_AfterBuffer(track, buffer, bytes, newLength, channels);
  Audio_PublishBuffer(track, buffer, bytes, newLength, channels, false, resync);
  return true;
}

bool Audio_NudgeLoop(int track, int32_t frames) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !ValidSlot(track)) return false;
  LoopTrack& slot = e->tracks[track];
  if (frames < 0) {
    ShowError(e, "Nudge frames must be greater than zero", "Error");
    return false;
  }
  if (frames >= slot.length) {
    ShowError(e, "Nudge frames too large", "Error");
    return false;
  }
  if (frames == 0) return true;
  LoopTrack* t = EditableTrack(e, track);
  if (!t) return false;

  const uint32_t channels = t->numChannels;
  const int32_t length = t->length;
  const uint64_t frameBytes = channels * sizeof(float);
  const uint64_t bytes = static_cast<uint64_t>(length) * frameBytes;
  float* buffer = Audio_AllocBuffer(bytes, false);
  if (!buffer) {
    ShowError(e, "Insufficient Memory!", "Error");
    return false;
  }
  Audio_SelectRecordTrack(track);
  Undo_Before(track, UndoSetStartPoint, 0);

  const char* src = reinterpret_cast<const char*>(t->pBuffer.load());
  char* dst = reinterpret_cast<char*>(buffer);
  const uint64_t head = static_cast<uint64_t>(frames) * frameBytes;
  std::memcpy(dst, src + head, bytes - head);
  std::memcpy(dst + (bytes - head), src, head);

  Undo_AfterBuffer(track, buffer, static_cast<uint32_t>(bytes), static_cast<uint32_t>(length), channels);
  Audio_PublishBuffer(track, buffer, static_cast<uint32_t>(bytes), static_cast<uint32_t>(length),
                      channels, false, 1);
  return true;
}

bool Audio_TrimLoop(int track) {
  AudioEngine* e = Audio_GetEngine();
  LoopTrack* t = EditableTrack(e, track);
  if (!t || !t->active) return false;
  const int64_t begin = t->editBegin;
  const int64_t end = t->editEnd;
  const int64_t length = t->length;
  if (begin == 0 && end >= length - 1) return true;

  // editEnd is taken as the last frame kept; at the loop's end that frame does not
  // exist, and the copy stops at the loop's last frame instead.
  const int64_t last = std::min(end, length - 1);
  const uint32_t channels = t->numChannels;
  const int64_t frames = last - begin + 1;
  if (begin < 0 || frames < 1) return false;
  const uint64_t size = static_cast<uint64_t>(frames) * channels * sizeof(float);
  if (size > MaxLoopBytes(e, channels)) {
    ShowError(e, "Buffer too large", "Can't Trim");
    return false;
  }
  float* buffer = Audio_AllocBuffer(size, false);
  if (!buffer) {
    ShowError(e, "Insufficient Memory to Trim!", "Error");
    return false;
  }
  Audio_SelectRecordTrack(track);
  std::memcpy(buffer, t->pBuffer.load() + begin * channels, size);
  Undo_Before(track, UndoTrim, 0);

  const auto bytes = static_cast<uint32_t>(size);
  const auto newLength = static_cast<uint32_t>(frames);
  t->editBegin = 0;
  t->editEnd = static_cast<int32_t>(newLength);
  Undo_AfterBuffer(track, buffer, bytes, newLength, channels);
  Audio_PublishBuffer(track, buffer, bytes, newLength, channels, false, t->resync);
  return true;
}
