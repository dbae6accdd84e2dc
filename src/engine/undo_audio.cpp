// Shared immutable blocks of undo audio.
#include "engine/undo_audio.h"

#include <algorithm>
#include <cstring>

#include "engine/buffers.h"

namespace {

uint64_t bytesHeld = 0;
uint64_t blocksMade = 0;

// The one silent block, alive while some level holds it.
std::weak_ptr<const UndoBlock> silence;

// Every byte zero (a negative zero is not silence here: restored audio is bit-exact).
bool IsSilent(const char* bytes, uint32_t size) {
  if (size == 0) return true;
  // The first byte zero, and each byte equal to the one before it.
  return bytes[0] == 0 && std::memcmp(bytes, bytes + 1, size - 1) == 0;
}

UndoBlockRef Silence() {
  if (UndoBlockRef block = silence.lock()) return block;
  UndoBlockRef block = UndoBlock::Make(nullptr, kUndoBlockBytes);
  silence = block;
  return block;
}

// Bytes of block `index` of a buffer of `total` bytes.
uint32_t PieceSize(uint32_t total, size_t index) {
  const uint64_t start = static_cast<uint64_t>(index) * kUndoBlockBytes;
  return static_cast<uint32_t>(std::min<uint64_t>(kUndoBlockBytes, total - start));
}

}  // namespace

std::shared_ptr<const UndoBlock> UndoBlock::Make(const char* bytes, uint32_t size) {
  float* memory = Audio_AllocBuffer(size, bytes == nullptr);
  if (!memory) return nullptr;
  char* data = reinterpret_cast<char*>(memory);
  if (bytes && size) std::memcpy(data, bytes, size);
  UndoBlock* block = new (std::nothrow) UndoBlock(data, size);
  if (!block) {
    Audio_FreeBuffer(memory);
    return nullptr;
  }
  bytesHeld += size;
  ++blocksMade;
  return std::shared_ptr<const UndoBlock>(block);
}

UndoBlock::~UndoBlock() {
  bytesHeld -= size_;
  Audio_FreeBuffer(reinterpret_cast<float*>(data_));
}

bool UndoAudio_Capture(const float* buffer, uint32_t bytes, uint32_t frames, uint32_t channels,
                       const UndoAudio* like, UndoAudio* out) {
  if (!buffer) bytes = 0;
  const char* src = reinterpret_cast<const char*>(buffer);
  const size_t count = (static_cast<uint64_t>(bytes) + kUndoBlockBytes - 1) / kUndoBlockBytes;
  UndoAudio taken;
  taken.blocks.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const char* piece = src + static_cast<uint64_t>(i) * kUndoBlockBytes;
    const uint32_t size = PieceSize(bytes, i);
    // A block is shared only where it covers the same bytes of a buffer as the new one.
    if (like && i < like->blocks.size() && PieceSize(like->bufferSize, i) == size &&
        std::memcmp(like->blocks[i]->data(), piece, size) == 0) {
      taken.blocks.push_back(like->blocks[i]);
      continue;
    }
    UndoBlockRef block = IsSilent(piece, size) ? Silence() : UndoBlock::Make(piece, size);
    if (!block) return false;
    taken.blocks.push_back(std::move(block));
  }
  taken.bufferSize = bytes;
  taken.length = frames;
  taken.numChannels = channels;
  *out = std::move(taken);
  return true;
}

bool UndoAudio_SameAs(const UndoAudio& a, const UndoAudio& b) {
  return a.bufferSize == b.bufferSize && a.length == b.length && a.numChannels == b.numChannels &&
         a.blocks == b.blocks;
}

void UndoAudio_CopyTo(const UndoAudio& audio, float* buffer) {
  char* dst = reinterpret_cast<char*>(buffer);
  for (size_t i = 0; i < audio.blocks.size(); ++i)
    std::memcpy(dst + static_cast<uint64_t>(i) * kUndoBlockBytes, audio.blocks[i]->data(),
                PieceSize(audio.bufferSize, i));
}

uint64_t UndoAudio_BytesHeld() { return bytesHeld; }
uint64_t UndoAudio_BlocksMade() { return blocksMade; }
