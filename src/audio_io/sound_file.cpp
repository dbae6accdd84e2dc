#include "audio_io/sound_file.h"

#include <sndfile.h>
#include <sys/types.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace {

// libsndfile reads and writes through the caller's stdio file.
sf_count_t Length(void* user) {
  std::FILE* f = static_cast<std::FILE*>(user);
  const off_t here = ftello(f);
  if (here < 0 || fseeko(f, 0, SEEK_END) != 0) return -1;
  const off_t end = ftello(f);
  fseeko(f, here, SEEK_SET);
  return end;
}
sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  std::FILE* f = static_cast<std::FILE*>(user);
  if (fseeko(f, offset, whence) != 0) return -1;
  return ftello(f);
}
sf_count_t Read(void* out, sf_count_t bytes, void* user) {
  return static_cast<sf_count_t>(std::fread(out, 1, static_cast<size_t>(bytes), static_cast<std::FILE*>(user)));
}
sf_count_t Write(const void* in, sf_count_t bytes, void* user) {
  return static_cast<sf_count_t>(std::fwrite(in, 1, static_cast<size_t>(bytes), static_cast<std::FILE*>(user)));
}
sf_count_t Tell(void* user) { return ftello(static_cast<std::FILE*>(user)); }

SF_VIRTUAL_IO StdioCallbacks() { return SF_VIRTUAL_IO{Length, Seek, Read, Write, Tell}; }

// Non-finite samples would poison every sum and effect tail they reach.
void Sanitize(float* samples, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (!std::isfinite(samples[i])) samples[i] = 0.0f;
}

int BitsOf(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return 8;
    case SF_FORMAT_PCM_16:
      return 16;
    case SF_FORMAT_PCM_24:
      return 24;
    case SF_FORMAT_PCM_32:
      return 32;
    default:
      return 0;
  }
}

}  // namespace

SoundFile::~SoundFile() {
  if (file_) sf_close(file_);
}

bool SoundFile::Open(std::FILE* file, std::string* reason, bool* unrecognised) {
  if (unrecognised) *unrecognised = false;
  if (std::fseek(file, 0, SEEK_SET) != 0) {
    *reason = "The file cannot be read from its start.";
    return false;
  }
  SF_VIRTUAL_IO io = StdioCallbacks();
  SF_INFO info{};
  file_ = sf_open_virtual(&io, SFM_READ, &info, file);
  if (!file_) {
    if (unrecognised) *unrecognised = sf_error(nullptr) == SF_ERR_UNRECOGNISED_FORMAT;
    *reason = sf_strerror(nullptr);
    return false;
  }
  // Without channels or a rate there are no frames to hold the samples. A length
  // libsndfile cannot tell counts as none.
  if (info.channels <= 0 || info.samplerate <= 0) {
    *reason = "The file states no channels or no sample rate.";
    return false;
  }
  if (info.frames < 0 || info.frames == SF_COUNT_MAX) info.frames = 0;
  info_ = {info.frames, info.channels, info.samplerate, info.format};
  return true;
}

int64_t SoundFile::Read(float* out, int64_t frames) {
  const sf_count_t got = sf_readf_float(file_, out, frames);
  // Only float files can hold non-finite values; integer and compressed ones cannot.
  const int subtype = info_.format & SF_FORMAT_SUBMASK;
  if (got > 0 && (subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE))
    Sanitize(out, static_cast<size_t>(got) * static_cast<size_t>(info_.channels));
  return got < 0 ? 0 : got;
}

std::string SoundFile::ReadError() const {
  return sf_error(file_) != SF_ERR_NO_ERROR ? sf_strerror(file_) : "";
}

std::string SoundFile_FormatText(int format) {
  const int container = format & SF_FORMAT_TYPEMASK;
  const int subtype = format & SF_FORMAT_SUBMASK;
  std::string text;
  if (const int bits = BitsOf(subtype)) {
    text = std::to_string(bits) + " Bit";
  } else if (subtype == SF_FORMAT_FLOAT) {
    text = "32 Bit Float";
  } else if (subtype == SF_FORMAT_DOUBLE) {
    text = "64 Bit Float";
  } else if (subtype == SF_FORMAT_VORBIS) {
    return "Ogg Vorbis";
  } else if (subtype == SF_FORMAT_OPUS) {
    return "Ogg Opus";
  } else {
    SF_FORMAT_INFO info{};
    info.format = subtype;
    text = sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name ? info.name : "Compressed";
  }
  // WAV needs no name: the load question has always spoken of WAV files.
  if (container == SF_FORMAT_WAV || container == SF_FORMAT_WAVEX) return text;
  if (container == SF_FORMAT_FLAC) return text + " FLAC";
  if (container == SF_FORMAT_AIFF) return text + " AIFF";
  SF_FORMAT_INFO info{};
  info.format = container;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.extension)
    return text + " " + info.extension;
  return text;
}

const char* SoundFile_WriteWav(std::FILE* file, LoopFileFormat format, const float* samples, uint64_t frames,
                               int channels, int sampleRate) {
  SF_VIRTUAL_IO io = StdioCallbacks();
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = sampleRate;
  info.format = SF_FORMAT_WAV | (format == LOOP_FILE_FLOAT32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
  SNDFILE* out = sf_open_virtual(&io, SFM_WRITE, &info, file);
  if (!out) return "file header write failed";
  constexpr size_t BLOCK_FRAMES = 16 * 1024;
  const size_t width = static_cast<size_t>(channels);
  std::unique_ptr<float[]> block(new (std::nothrow) float[BLOCK_FRAMES * width]);
  std::unique_ptr<int[]> ints(format == LOOP_FILE_PCM24 ? new (std::nothrow) int[BLOCK_FRAMES * width] : nullptr);
  const char* failure = block && (ints || format != LOOP_FILE_PCM24) ? nullptr : "file data write failed";
  while (!failure && frames > 0) {
    const size_t n = frames < BLOCK_FRAMES ? static_cast<size_t>(frames) : BLOCK_FRAMES;
    std::copy(samples, samples + n * width, block.get());
    Sanitize(block.get(), n * width);
    sf_count_t written;
    if (ints) {
      // Scaled by 2^23, as the reader scales back: a 24-bit file loaded and saved again
      // keeps its samples exactly (libsndfile's own conversion scales by 2^23 - 1).
      // Beyond full scale a sample saturates instead of wrapping around.
      for (size_t i = 0; i < n * width; ++i) {
        const float x = std::clamp(std::nearbyint(block[i] * 8388608.0f), -8388608.0f, 8388607.0f);
        ints[i] = static_cast<int>(x) * 256;  // libsndfile takes the top 24 of 32 bits
      }
      written = sf_writef_int(out, ints.get(), static_cast<sf_count_t>(n));
    } else {
      written = sf_writef_float(out, block.get(), static_cast<sf_count_t>(n));
    }
    if (written != static_cast<sf_count_t>(n)) failure = "file data write failed";
    samples += n * width;
    frames -= n;
  }
  // Closing writes the final sizes into the header.
  if (sf_close(out) != 0 && !failure) failure = "file data write failed";
  return failure;
}

FloatWavWriter::~FloatWavWriter() { Close(); }

bool FloatWavWriter::Open(const std::string& path, int channels, int sampleRate, std::string* reason) {
  Close();
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = sampleRate;
  info.format = SF_FORMAT_RF64 | SF_FORMAT_FLOAT;
  file_ = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file_) {
    *reason = sf_strerror(nullptr);
    return false;
  }
  // A plain WAV header as long as the sizes fit in it.
  sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  channels_ = channels;
  error_.clear();
  return true;
}

bool FloatWavWriter::Write(const float* interleaved, int64_t frames) {
  if (!file_) return false;
  constexpr int64_t BLOCK_FRAMES = 4096;
  float block[BLOCK_FRAMES * 2];
  const int64_t step = BLOCK_FRAMES * 2 / channels_;
  while (frames > 0) {
    const int64_t n = std::min(frames, step);
    const size_t samples = static_cast<size_t>(n * channels_);
    std::copy(interleaved, interleaved + samples, block);
    Sanitize(block, samples);
    if (sf_writef_float(file_, block, n) != n) {
      error_ = sf_strerror(file_);
      return false;
    }
    interleaved += samples;
    frames -= n;
  }
  return true;
}

bool FloatWavWriter::Close() {
  if (!file_) return error_.empty();
  const int closed = sf_close(file_);
  file_ = nullptr;
  if (closed != 0 && error_.empty()) error_ = sf_error_number(closed);
  return error_.empty();
}
