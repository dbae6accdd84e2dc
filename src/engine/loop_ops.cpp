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
  // Nor may they reach a loop file still being written from this buffer.
  const float* buffer = t.pBuffer.load();
  if (!Audio_PollUntil([buffer] { return !Audio_BufferPinned(buffer); }, std::chrono::seconds(30))) return false;
  std::memset(t.pBuffer.load(), 0, t.bufferSize);
  t.recorded = 0;
  e->pendingCutTrack = -1;
  t.editBegin = 0;
  t.editEnd = t.length.load();
  if (undoable) Undo_After(track);
  return true;
}

namespace {

// Gives the loop `newLength` frames (see Audio_ResizeLoop). Every size here is a whole
// number of frames, so copies and repeats never split a frame between two samples.
bool ResizeToFrames(AudioEngine* e, int track, LoopTrack* t, uint64_t newLength, bool inPlace,
                    uint8_t resync, int mode, bool repeat) {
  const uint32_t channels = t->numChannels;
  const uint64_t frameBytes = channels * sizeof(float);
  const uint64_t newSize = newLength * frameBytes;
  if (newLength == 0 || newSize > MaxLoopBytes(e, channels)) return false;
  const uint32_t operation = mode == ResizeMultiply ? UndoMultiply
                             : mode == ResizeDivide ? UndoDivide
                                                    : UndoNewLoopTime;
  float* const old = t->pBuffer;
  const uint32_t oldBytes = t->bufferSize;
  const auto frames = static_cast<uint32_t>(newLength);

  if (inPlace && newSize <= oldBytes) {
    // Only the length changes; frames beyond the old length keep what the buffer held.
    Undo_Before(track, operation, 0);
    Undo_AfterBuffer(track, old, oldBytes, frames, channels);
    Audio_PublishBuffer(track, old, oldBytes, frames, channels, false, resync);
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
    // The whole old buffer (a tail a Divide hid comes back), then its start again.
    const uint64_t whole = Audio_WholeFrameBytes(oldBytes, channels);
    const uint64_t rest = newSize - whole;
    if (rest > whole) Audio_Assert("multiply exceeded 2x length", "audio", __LINE__);
    std::memcpy(dst, src, whole);
    FillRepeating(dst + whole, rest, src, whole);
  } else {
    const uint64_t loopBytes =
        std::min<uint64_t>(static_cast<uint64_t>(t->length) * frameBytes, Audio_WholeFrameBytes(oldBytes, channels));
    const uint64_t first = std::min(loopBytes, newSize);
    std::memcpy(dst, src, first);
    FillRepeating(dst + first, newSize - first, src, repeat ? loopBytes : 0);
  }

  Undo_Before(track, operation, 0);
  const auto bytes = static_cast<uint32_t>(newSize);
  Undo_AfterBuffer(track, buffer, bytes, frames, channels);
  Audio_PublishBuffer(track, buffer, bytes, frames, channels, false, resync);
  return true;
}

}  // namespace

bool Audio_ResizeLoop(int track, double seconds, bool inPlace, uint8_t resync, int mode, bool repeat) {
  AudioEngine* e = Audio_GetEngine();
  LoopTrack* t = EditableTrack(e, track);
  if (!t || !(seconds >= MIN_LOOP_SECONDS && seconds <= MAX_LOOP_SECONDS)) return false;
  const uint32_t channels = t->numChannels;
  const auto bytes = static_cast<uint64_t>(seconds * channels * e->sampleRate * 4.0);
  return ResizeToFrames(e, track, t, Audio_WholeFrameBytes(bytes, channels) / (channels * sizeof(float)),
                        inPlace, resync, mode, repeat);
}

bool Audio_MultiplyLoop(int track, bool newBuffer) {
  AudioEngine* e = Audio_GetEngine();
  LoopTrack* t = EditableTrack(e, track);
  if (!t) return false;
  return ResizeToFrames(e, track, t, 2 * static_cast<uint64_t>(t->length), !newBuffer, 1, ResizeMultiply,
                        newBuffer);
}

bool Audio_DivideLoop(int track) {
  AudioEngine* e = Audio_GetEngine();
  LoopTrack* t = EditableTrack(e, track);
  if (!t) return false;
  const uint64_t half = static_cast<uint64_t>(t->length) / 2;
  if (static_cast<double>(half) < MIN_LOOP_SECONDS * e->sampleRate) return false;
  return ResizeToFrames(e, track, t, half, true, 1, ResizeDivide, false);
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
