#pragma once
// The 16-bit PCM WAV layout of loop files and mix files: reading the header of an
// untrusted file, building the 44-byte header this program writes, and converting
// samples between 16-bit integers and floats in blocks.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

inline constexpr uint32_t WAV_HEADER_BYTES = 44;
// The largest data size whose RIFF size (data + 36) still fits the 32-bit field, kept to
// whole stereo frames.
inline constexpr uint32_t WAV_MAX_DATA_BYTES = (UINT32_MAX - 36u) & ~3u;

struct WavFormat {
  uint16_t formatTag = 0;
  int16_t channels = 0;
  uint32_t sampleRate = 0;
  int16_t bitsPerSample = 0;
  int32_t dataBytes = 0;  // as the data chunk's header states
};

enum WavReadResult {
  WAV_OK,
  WAV_HEADER_READ,       // fewer than 36 bytes, or no whole format chunk
  WAV_NOT_WAVE,          // not RIFF/WAVE, or no usable channel count
  WAV_BIT_FORMAT,        // not 16 bits per sample
  WAV_COMPRESSED,        // format tag other than PCM
  WAV_HEADER_SEEK,       // the format chunk cannot be skipped
  WAV_DATA_HEADER_READ,  // no chunk header after the format chunk, or a negative data size
  WAV_CHUNK_SEEK,        // a chunk reaches beyond the end of the file
  WAV_CHUNK_READ,        // the next chunk header is cut short
  WAV_DATA_SHORT,        // the data chunk claims more bytes than the file holds
  WAV_NO_AUDIO,          // the data chunk holds less than one frame
};

// Reads the header up to the first sample and leaves the file there. Chunks before the
// format chunk and between it and the data chunk are skipped (odd sizes padded to even,
// as RIFF lays them out). Never trusts a size beyond what the file really holds.
WavReadResult Wav_ReadHeader(std::FILE* file, WavFormat* format);

// The message and caption the loop loader shows for a failed header.
std::string Wav_ResultText(WavReadResult result, const WavFormat& format);
const char* Wav_ResultCaption(WavReadResult result);

// Reads `samples` 16-bit samples and converts them into `out`, one block at a time.
// False when the file ends early or the block buffer cannot be had.
bool Wav_ReadSamples(std::FILE* file, float* out, size_t samples);

// Builds the 44-byte header of a 16-bit PCM file.
void Wav_BuildHeader(uint8_t header[WAV_HEADER_BYTES], uint16_t channels, uint32_t sampleRate,
                     uint32_t dataBytes);

// 1/32768 per step on load; truncate(f x 32768) clamped to -32768..32767 on save, so a
// sample at or beyond full scale saturates instead of wrapping around.
void Wav_ToFloats(const int16_t* in, float* out, size_t n);
void Wav_ToSamples(const float* in, int16_t* out, size_t n);
