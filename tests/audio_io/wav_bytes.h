#pragma once
// Builds WAV files byte by byte, good and broken alike, and reads files back as bytes.
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct WavLayout {
  uint16_t formatTag = 1, channels = 2, bits = 16;
  uint32_t sampleRate = 48000, formatSize = 16;  // format bytes beyond 16 are written as zeros
  std::vector<uint8_t> chunksFirst;   // whole chunks placed between "WAVE" and "fmt "
  std::vector<uint8_t> chunksBefore;  // whole chunks placed between "fmt " and "data"
  std::vector<int16_t> samples;
  int64_t dataSizeField = -1;  // the data size to state; -1: the true size
};

// Appends `v` little-endian in `bytes` bytes.
inline void Put(std::vector<uint8_t>& b, uint32_t v, int bytes) { while (bytes--) b.push_back(static_cast<uint8_t>(v)), v >>= 8; }
inline std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  return a.insert(a.end(), b.begin(), b.end()), a;
}

inline std::vector<uint8_t> Chunk(const char* id, std::vector<uint8_t> body) {
  std::vector<uint8_t> b(id, id + 4);
  Put(b, static_cast<uint32_t>(body.size()), 4);
  body.resize(body.size() + (body.size() & 1));  // RIFF pads odd sizes
  return Join(b, body);
}

inline std::vector<uint8_t> WavBytes(const WavLayout& s) {
  std::vector<uint8_t> b{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};  // size patched below
  b = Join(Join(b, s.chunksFirst), {'f', 'm', 't', ' '});
  for (uint32_t v : {s.formatSize, uint32_t{s.formatTag} | uint32_t{s.channels} << 16, s.sampleRate,
                     s.sampleRate * s.channels * (s.bits / 8u), static_cast<uint16_t>(s.channels * s.bits / 8) | uint32_t{s.bits} << 16})
    Put(b, v, 4);
  if (s.formatSize < 4096) b.resize(b.size() + s.formatSize - 16 + (s.formatSize & 1));  // RIFF pads odd sizes
  b = Join(Join(b, s.chunksBefore), {'d', 'a', 't', 'a'});
  Put(b, s.dataSizeField >= 0 ? static_cast<uint32_t>(s.dataSizeField) : 2 * static_cast<uint32_t>(s.samples.size()), 4);
  for (int16_t v : s.samples) Put(b, static_cast<uint16_t>(v), 2);
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>((b.size() - 8) >> (8 * i));
  return b;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  return static_cast<bool>(std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                       static_cast<std::streamsize>(bytes.size())));
}

// Not "ReadBytes": tests that read files as strings link beside this one.
inline std::vector<uint8_t> ReadByteVector(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs `body` with files limited to `bytes`, so that writes fail part way as on a full disk.
template <class Body>
void WithFileSizeLimit(rlim_t bytes, Body body) {
  struct sigaction ignore {}, saved {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &saved);
  rlimit old{}, limit{bytes, 0};
  getrlimit(RLIMIT_FSIZE, &old);
  limit.rlim_max = old.rlim_max;
  if (setrlimit(RLIMIT_FSIZE, &limit) == 0) body();
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &saved, nullptr);
}
