#include "audio_io/wav_file.h"

#include <bit>
#include <cstring>
#include <memory>
#include <new>

// Samples are moved between the file and memory as they lie: the file is little-endian.
static_assert(std::endian::native == std::endian::little, "WAV samples are read as they lie");

namespace {

constexpr size_t BLOCK_SAMPLES = 64 * 1024;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Bytes from the current position to the end of the file; -1 when unknown.
long long Remaining(std::FILE* f) {
  const long here = std::ftell(f);
  if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(f);
  if (end < 0 || std::fseek(f, here, SEEK_SET) != 0) return -1;
  return static_cast<long long>(end) - here;
}

// Moves forward by `bytes`, refusing to go past the end of the file.
bool SkipForward(std::FILE* f, uint64_t bytes) {
  const long long left = Remaining(f);
  if (left < 0 || bytes > static_cast<uint64_t>(left)) return false;
  return std::fseek(f, static_cast<long>(bytes), SEEK_CUR) == 0;
}

// RIFF pads a chunk of odd size with one byte.
uint64_t PaddedSize(uint32_t size) { return static_cast<uint64_t>(size) + (size & 1); }

// Reads chunk headers from the current position, skipping whole chunks, until one named
// `id`; leaves the file at its first body byte with its header in `header`. False when
// the file ends first or a chunk claims more bytes than the file holds.
bool FindChunk(std::FILE* f, const char* id, uint8_t header[8]) {
  for (;;) {
    if (std::fread(header, 1, 8, f) != 8) return false;
    if (std::memcmp(header, id, 4) == 0) return true;
    if (!SkipForward(f, PaddedSize(U32(header + 4)))) return false;
  }
}

}  // namespace

WavReadResult Wav_ReadHeader(std::FILE* f, WavFormat* format) {
  uint8_t h[36];
  if (std::fread(h, 1, sizeof h, f) != sizeof h) return WAV_HEADER_READ;
  if (std::memcmp(h + 8, "WAVE", 4) != 0 || std::memcmp(h, "RIFF", 4) != 0) return WAV_NOT_WAVE;
  // The format chunk as it lies in the file: 8 bytes of chunk header, 16 fixed bytes.
  const uint8_t* fmt = h + 12;
  uint8_t found[24];
  if (std::memcmp(fmt, "fmt ", 4) != 0) {
    // Field recorders put JUNK, bext and other chunks first: walk to the format chunk.
    if (std::fseek(f, 12, SEEK_SET) != 0 || !FindChunk(f, "fmt ", found) ||
        std::fread(found + 8, 1, 16, f) != 16)
      return WAV_HEADER_READ;
    fmt = found;
  }
  const uint32_t formatSize = U32(fmt + 4);
  format->formatTag = U16(fmt + 8);
  format->channels = static_cast<int16_t>(U16(fmt + 10));
  format->sampleRate = U32(fmt + 12);
  format->bitsPerSample = static_cast<int16_t>(U16(fmt + 22));
  if (format->bitsPerSample != 16) return WAV_BIT_FORMAT;
  if (format->formatTag != 1) return WAV_COMPRESSED;
  // A file without a positive channel count has no frames to hold its samples.
  if (format->channels <= 0) return WAV_NOT_WAVE;
  // A format chunk shorter than its 16 fixed bytes would have us seek backwards.
  if (formatSize < 16 || !SkipForward(f, PaddedSize(formatSize) - 16)) return WAV_HEADER_SEEK;

  uint8_t chunk[8];
  if (std::fread(chunk, 1, sizeof chunk, f) != sizeof chunk) return WAV_DATA_HEADER_READ;
  while (std::memcmp(chunk, "data", 4) != 0) {
    if (!SkipForward(f, PaddedSize(U32(chunk + 4)))) return WAV_CHUNK_SEEK;
    if (std::fread(chunk, 1, sizeof chunk, f) != sizeof chunk) return WAV_CHUNK_READ;
  }
  format->dataBytes = static_cast<int32_t>(U32(chunk + 4));
  if (format->dataBytes < 0) return WAV_DATA_HEADER_READ;
  const long long left = Remaining(f);
  if (left < 0 || format->dataBytes > left) return WAV_DATA_SHORT;
  if (format->dataBytes < format->channels * 2) return WAV_NO_AUDIO;
  return WAV_OK;
}

std::string Wav_ResultText(WavReadResult result, const WavFormat& format) {
  switch (result) {
    case WAV_OK:
      return {};
    case WAV_HEADER_READ:
      return "header read failed";
    case WAV_NOT_WAVE:
      return "Not a wave file";
    case WAV_BIT_FORMAT: {
      char text[64];
      std::snprintf(text, sizeof text, "%d bit format not supported", format.bitsPerSample);
      return text;
    }
    case WAV_COMPRESSED:
      return "Compressed wav format not supported";
    case WAV_HEADER_SEEK:
      return "header seek failed";
    case WAV_DATA_HEADER_READ:
      return "data header read failed";
    case WAV_CHUNK_SEEK:
      return "Unable to find data chunk in wav file, or file seek failed.";
    case WAV_CHUNK_READ:
      return "Wave chunk read failed.";
    case WAV_DATA_SHORT:
      return "data read failed";
    case WAV_NO_AUDIO:
      return "The wav file holds no audio.";
  }
  return {};
}

const char* Wav_ResultCaption(WavReadResult result) {
  return result == WAV_BIT_FORMAT || result == WAV_COMPRESSED ? "Error" : "Audio_LoadLoop()";
}

bool Wav_ReadSamples(std::FILE* f, float* out, size_t samples) {
  std::unique_ptr<int16_t[]> block(new (std::nothrow) int16_t[BLOCK_SAMPLES]);
  if (!block) return false;
  while (samples > 0) {
    const size_t n = samples < BLOCK_SAMPLES ? samples : BLOCK_SAMPLES;
    if (std::fread(block.get(), sizeof(int16_t), n, f) != n) return false;
    Wav_ToFloats(block.get(), out, n);
    out += n;
    samples -= n;
  }
  return true;
}

void Wav_BuildHeader(uint8_t h[WAV_HEADER_BYTES], uint16_t channels, uint32_t sampleRate,
                     uint32_t dataBytes) {
  std::memcpy(h, "RIFF", 4);
  Put32(h + 4, dataBytes + 36);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, 1);
  Put16(h + 22, channels);
  Put32(h + 24, sampleRate);
  Put32(h + 28, static_cast<uint32_t>(channels) * sampleRate * 2);
  Put16(h + 32, static_cast<uint16_t>(channels * 2));
  Put16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  Put32(h + 40, dataBytes);
}

void Wav_ToFloats(const int16_t* in, float* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<float>(in[i]) * 3.0517578125e-05f;
}

void Wav_ToSamples(const float* in, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    float x = in[i] * 32768.0f;
    x = x == x ? x : 0.0f;  // NaN: silence
    x = x < 32767.0f ? x : 32767.0f;
    x = x > -32768.0f ? x : -32768.0f;
    out[i] = static_cast<int16_t>(x);
  }
}
