#pragma once
// Builds WAV files byte by byte for the reader's tests, good and broken alike.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct WavLayout {
  uint16_t formatTag = 1;
  uint16_t channels = 2;
  uint32_t sampleRate = 48000;
  uint16_t bits = 16;
  uint32_t formatSize = 16;           // extra bytes beyond 16 are written as zeros
  std::vector<uint8_t> chunksFirst;   // whole chunks placed between "WAVE" and "fmt "
  std::vector<uint8_t> chunksBefore;  // whole chunks placed between "fmt " and "data"
  std::vector<int16_t> samples;
  int64_t dataSizeField = -1;  // the data size to state; -1: the true size
};

inline void PutU16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutU32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutId(std::vector<uint8_t>& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

inline std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> b;
  PutId(b, id);
  PutU32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() & 1) b.push_back(0);
  return b;
}

inline std::vector<uint8_t> WavBytes(const WavLayout& s) {
  std::vector<uint8_t> b;
  const uint32_t dataBytes = static_cast<uint32_t>(s.samples.size() * 2);
  PutId(b, "RIFF");
  PutU32(b, 0);  // patched below
  PutId(b, "WAVE");
  b.insert(b.end(), s.chunksFirst.begin(), s.chunksFirst.end());
  PutId(b, "fmt ");
  PutU32(b, s.formatSize);
  PutU16(b, s.formatTag);
  PutU16(b, s.channels);
  PutU32(b, s.sampleRate);
  PutU32(b, s.sampleRate * s.channels * (s.bits / 8));
  PutU16(b, static_cast<uint16_t>(s.channels * (s.bits / 8)));
  PutU16(b, s.bits);
  for (uint32_t i = 16; i < s.formatSize && i < 4096; ++i) b.push_back(0);
  if (s.formatSize < 4096 && (s.formatSize & 1)) b.push_back(0);  // RIFF's pad byte
  b.insert(b.end(), s.chunksBefore.begin(), s.chunksBefore.end());
  PutId(b, "data");
  PutU32(b, s.dataSizeField >= 0 ? static_cast<uint32_t>(s.dataSizeField) : dataBytes);
  for (int16_t v : s.samples) PutU16(b, static_cast<uint16_t>(v));
  const uint32_t riff = static_cast<uint32_t>(b.size() - 8);
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
  return b;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes.insert(bytes.end(), block, block + n);
    std::fclose(f);
  }
  return bytes;
}

inline uint32_t GetU32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline uint16_t GetU16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
