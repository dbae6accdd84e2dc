#pragma once
// A track's audio as the undo history keeps it: the buffer cut into fixed-size blocks
// that never change once made and are shared between the levels that hold them. A level
// taken after an operation that left part of a loop as it was shares those blocks with
// the level below instead of copying them, so only changed audio costs memory.
// User-interface thread only: the history and everything it holds live there.
#include <cstdint>
#include <memory>
#include <vector>

// Bytes of audio per block: 8192 stereo frames, about 0.17 s at 48 kHz. Small enough
// that a short punch-in costs little, large enough that a 240 s loop is ~1400 blocks.
inline constexpr uint32_t kUndoBlockBytes = 64 * 1024;

class UndoBlock {
 public:
  // A block holding `size` bytes copied from `bytes` (null: zeros); null without memory.
  static std::shared_ptr<const UndoBlock> Make(const char* bytes, uint32_t size);
  ~UndoBlock();
  UndoBlock(const UndoBlock&) = delete;
  UndoBlock& operator=(const UndoBlock&) = delete;

  const char* data() const { return data_; }
  uint32_t size() const { return size_; }

 private:
  UndoBlock(char* data, uint32_t size) : data_(data), size_(size) {}
  char* data_;
  uint32_t size_;
};

using UndoBlockRef = std::shared_ptr<const UndoBlock>;

// One state of a track: its buffer as blocks, with the fields a swap needs.
struct UndoAudio {
  std::vector<UndoBlockRef> blocks;  // bufferSize bytes, kUndoBlockBytes per block
  uint32_t bufferSize = 0;
  uint32_t length = 0;  // loop length in frames
  uint32_t numChannels = 0;
};

// Takes `bytes` of `buffer` into `out`. A block equal to the block at the same place of
// `like` (may be null) is shared with it, a silent block shares one block of zeros; only
// the others are copied. False when memory ran out (`out` is then left as it was).
bool UndoAudio_Capture(const float* buffer, uint32_t bytes, uint32_t frames, uint32_t channels,
                       const UndoAudio* like, UndoAudio* out);
// The same state: same size, length and channels, and every block shared.
bool UndoAudio_SameAs(const UndoAudio& a, const UndoAudio& b);
// Writes the state's bufferSize bytes to `buffer`.
void UndoAudio_CopyTo(const UndoAudio& audio, float* buffer);

// Bytes of audio held by all blocks alive now, and blocks made so far (copies only;
// shared blocks are not counted again).
uint64_t UndoAudio_BytesHeld();
uint64_t UndoAudio_BlocksMade();
