#pragma once
// Audio files of every kind libsndfile reads and the two richer kinds a loop is saved
// as. Reading covers WAV of any sample format (24- and 32-bit PCM, 32- and 64-bit float,
// WAVE_FORMAT_EXTENSIBLE), AIFF, FLAC and Ogg Vorbis; it works on an open stdio file, so
// the loader keeps one way of opening, locating and closing files. Samples come out as
// floats at full scale 1.0, a float file's values as they are (beyond full scale too).
// User-interface thread only.
#include <cstdint>
#include <cstdio>
#include <string>

typedef struct sf_private_tag SNDFILE;

struct SoundFileInfo {
  int64_t frames = 0;
  int channels = 0;
  int sampleRate = 0;
  int format = 0;  // libsndfile's format word: container and sample encoding
};

// An open file being read; closes itself.
class SoundFile {
 public:
  SoundFile() = default;
  ~SoundFile();
  SoundFile(const SoundFile&) = delete;
  SoundFile& operator=(const SoundFile&) = delete;

  // Opens the file from its first byte (the stdio file stays open; the caller closes it
  // after this object). False with libsndfile's reason; `unrecognised` tells a file
  // that is no audio file at all from a damaged one.
  bool Open(std::FILE* file, std::string* reason, bool* unrecognised = nullptr);
  const SoundFileInfo& Info() const { return info_; }
  // Reads up to `frames` interleaved frames into `out`; non-finite samples (a damaged
  // float file) become silence, so they never reach the mix. Returns the frames read.
  int64_t Read(float* out, int64_t frames);
  // Why the last read stopped short ("" when libsndfile has no reason).
  std::string ReadError() const;

 private:
  SNDFILE* file_ = nullptr;
  SoundFileInfo info_;
};

// "16 Bit" for the 16-bit PCM WAV files the program has always read, and likewise for
// the others: "24 Bit", "32 Bit Float", "64 Bit Float", "24 Bit FLAC", "16 Bit AIFF",
// "Ogg Vorbis". Shown where the load question names the file's bits.
std::string SoundFile_FormatText(int format);

// The sample formats a loop can be saved as; the values are those of the preferences row.
enum LoopFileFormat { LOOP_FILE_PCM16 = 0, LOOP_FILE_PCM24 = 1, LOOP_FILE_FLOAT32 = 2 };

// Writes `frames` frames of `channels` interleaved samples as a WAV file of `format`
// (24-bit PCM, clipped at full scale, or 32-bit float, which keeps what lies beyond)
// into `file`, which must be open for writing at its start. Non-finite samples are
// written as silence. Null on success, else the message of the step that failed.
const char* SoundFile_WriteWav(std::FILE* file, LoopFileFormat format, const float* samples, uint64_t frames,
                               int channels, int sampleRate);

// A 32-bit float WAV file written block by block, for output of any length: it becomes
// an RF64 file only when it outgrows what a WAV header can count. Non-finite samples are
// written as silence. User-interface thread only.
class FloatWavWriter {
 public:
  FloatWavWriter() = default;
  ~FloatWavWriter();
  FloatWavWriter(const FloatWavWriter&) = delete;
  FloatWavWriter& operator=(const FloatWavWriter&) = delete;

  // Creates (or replaces) `path`. False with the reason in *reason.
  bool Open(const std::string& path, int channels, int sampleRate, std::string* reason);
  // False when the data could not be written (the reason in Error()).
  bool Write(const float* interleaved, int64_t frames);
  // Writes the final sizes and closes; false when that failed.
  bool Close();
  const std::string& Error() const { return error_; }

 private:
  SNDFILE* file_ = nullptr;
  int channels_ = 0;
  std::string error_;
};
