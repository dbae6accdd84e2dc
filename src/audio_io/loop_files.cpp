#include "audio_io/loop_files.h"

#include <sys/mman.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <vector>

#include "audio_io/file_dialog.h"
#include "audio_io/file_replace.h"
#include "audio_io/wav_file.h"
#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/message_dialog.h"

namespace {

std::string lastPath;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

const std::vector<FileFilter>& WavFilters() {
  static const std::vector<FileFilter> filters = {{"wav Files (*.wav)", "*.wav"},
                                                  {"All Files (*.*)", "*.*"}};
  return filters;
}

std::string Format(const char* format, const std::string& text) {
  std::vector<char> out(text.size() + 256);
  std::snprintf(out.data(), out.size(), format, text.c_str());
  return out.data();
}

// A long loop's buffer is touched page by page as it fills; on large pages that costs a
// few hundred page faults instead of tens of thousands (a third of a load's time).
void PreferLargePages(void* buffer, uint64_t bytes) {
  const uintptr_t page = 4096;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(buffer) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(buffer) + bytes) & ~(page - 1);
  if (end > begin + (2u << 20)) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Samples read from a file, in a buffer from Audio_AllocBuffer owned by the caller.
struct LoadedWav {
  float* buffer = nullptr;
  uint32_t bytes = 0;
  uint32_t frames = 0;
  uint32_t channels = 0;
};

// Reads and checks the header, asks what the flags ask, then reads every sample. Shows
// its own messages; on failure nothing is left allocated.
bool ReadWav(AudioEngine* e, std::FILE* f, const std::string& path, bool askToLoad,
             bool warnSampleRate, LoadedWav* out) {
  void* owner = e->messageOwner;
  WavFormat format;
  const WavReadResult result = Wav_ReadHeader(f, &format);
  if (result != WAV_OK) {
    MessageDialog_Show(owner, Wav_ResultText(result, format), Wav_ResultCaption(result));
    return false;
  }
  if (askToLoad) {
    const double seconds = static_cast<double>(format.dataBytes) / (format.bitsPerSample / 8) /
                           format.channels / format.sampleRate;
    std::vector<char> text(path.size() + 256);
    std::snprintf(text.data(), text.size(),
                  "File: %s\n%d Hz, %d Bit, %d Channel, %.2f Seconds\nLoad this file?\n"
                  "(This will erase the current loop.)",
                  path.c_str(), static_cast<int>(format.sampleRate), format.bitsPerSample,
                  format.channels, seconds);
    if (MessageDialog_Show(owner, text.data(), "Load File?", MB_YESNO) != IDYES) return false;
  }
  if (format.sampleRate != e->sampleRate && warnSampleRate &&
      MessageDialog_Show(owner,
                         "Sample rate of load file differs from current device setting.  Continue?",
                         "Sample Rate Differs", MB_YESNO) != IDYES)
    return false;

  const uint64_t bytes = static_cast<uint64_t>(format.dataBytes) * 2;
  float* buffer = Audio_AllocBuffer(bytes, false);
  if (!buffer) {
    MessageDialog_Show(owner, "Insufficient Memory!", "Audio_LoadLoop()");
    return false;
  }
  PreferLargePages(buffer, bytes);
  if (!Wav_ReadSamples(f, buffer, static_cast<size_t>(format.dataBytes) / 2)) {
    Audio_FreeBuffer(buffer);
    MessageDialog_Show(owner, "data read failed", "Audio_LoadLoop()");
    return false;
  }
  out->buffer = buffer;
  out->channels = static_cast<uint32_t>(format.channels);
  // A last frame the file holds only part of is dropped: every buffer is whole frames.
  out->bytes = static_cast<uint32_t>(Audio_WholeFrameBytes(bytes, out->channels));
  out->frames = out->bytes / (out->channels * 4);
  return true;
}

// Writes the header and the samples of a loop into `f`; the message on failure.
const char* WriteLoop(std::FILE* f, const float* samples, size_t count, uint16_t channels,
                      uint32_t sampleRate) {
  uint8_t header[WAV_HEADER_BYTES];
  Wav_BuildHeader(header, channels, sampleRate, static_cast<uint32_t>(count * 2));
  if (std::fwrite(header, 1, 36, f) != 36) return "file header write failed";
  if (std::fwrite(header + 36, 1, 8, f) != 8) return "file data header write failed";
  constexpr size_t BLOCK = 64 * 1024;
  std::unique_ptr<int16_t[]> block(new (std::nothrow) int16_t[BLOCK]);
  if (!block) return "file data write failed";
  while (count > 0) {
    const size_t n = count < BLOCK ? count : BLOCK;
    Wav_ToSamples(samples, block.get(), n);
    if (std::fwrite(block.get(), sizeof(int16_t), n, f) != n) return "file data write failed";
    samples += n;
    count -= n;
  }
  return nullptr;
}

}  // namespace

const std::string& Audio_GetLastLoopPath() { return lastPath; }

std::string Audio_LoadLoop(int track, const char* path, uint8_t flag, bool confirm,
                           bool warnSampleRate, bool locate) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || track < 0 || track >= NUM_TRACKS || !e->tracks[track].inUse) return {};
  void* owner = e->messageOwner;
  const bool pathGiven = path && *path;
  std::string file = pathGiven ? path : FileDialog_Open(owner, "", WavFilters());
  if (file.empty()) return {};

  File f(std::fopen(file.c_str(), "rb"));
  if (!f) {
    if (!locate) return {};
    if (!pathGiven) {
      MessageDialog_Show(owner, Format("Could not open file %s", file), "Error");
      return {};
    }
    const std::string name = std::filesystem::path(file).filename().string();
    file = FileDialog_Open(owner, Format("Please locate file %s", name), WavFilters());
    if (file.empty()) return {};
    f.reset(std::fopen(file.c_str(), "rb"));
    if (!f) return {};
  }

  LoadedWav wav;
  if (!ReadWav(e, f.get(), file, !pathGiven && confirm, warnSampleRate, &wav)) return {};
  f.reset();
  // A buffer still waiting from an earlier change must be taken first, or publishing
  // over it would lose it.
  if (!Audio_WaitForSwap(track)) {
    Audio_FreeBuffer(wav.buffer);
    return {};
  }
  Audio_PublishBuffer(track, wav.buffer, wav.bytes, wav.frames, wav.channels, false, flag);
  lastPath = file;
  return file;
}

std::string Audio_SaveLoop(int track, const char* path, bool interactive) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || track < 0 || track >= NUM_TRACKS) return {};
  void* owner = e->messageOwner;
  LoopTrack& t = e->tracks[track];
  // Copy a settled buffer: a swap waiting now would change it under us.
  Audio_WaitForSwap(track);
  const float* samples = t.pBuffer;
  if (!samples) {
    if (interactive) MessageDialog_Show(owner, "No loop to save", "Error");
    return {};
  }
  std::string file = path && *path ? path : FileDialog_Save(owner, "", WavFilters());
  if (file.empty()) return {};

  const uint32_t channels = t.numChannels;
  const uint64_t frames = static_cast<uint32_t>(std::max<int32_t>(t.length, 0));
  uint64_t count = frames * channels;
  count = std::min<uint64_t>(count, t.bufferSize / sizeof(float));
  count = std::min<uint64_t>(count, WAV_MAX_DATA_BYTES / 2);

  std::error_code ec;
  if (interactive && std::filesystem::exists(file, ec) &&
      MessageDialog_Show(owner, Format("%s\nThis file exists, overwrite?", file), "Overwrite File?",
                         MB_YESNO) != IDYES)
    return {};

  const char* failure = nullptr;
  const FileReplaceResult result = File_Replace(file, [&](std::FILE* f) {
    failure = WriteLoop(f, samples, count, static_cast<uint16_t>(channels),
                        static_cast<uint32_t>(e->sampleRate.load()));
    return failure == nullptr;
  });
  if (result != FileReplace_Done) {
    if (interactive) {
      if (result == FileReplace_Unwritable)
        MessageDialog_Show(owner, Format("Could not open file %s", file), "Error");
      else
        MessageDialog_Show(owner, failure ? failure : "file data write failed", "Audio_SaveLoop()");
    }
    return {};
  }
  lastPath = file;
  return file;
}

bool Audio_LoadClickSample(ClickSample which, const char* path, double measureSeconds, int beats) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !path || !*path) return false;
  File f(std::fopen(path, "rb"));
  if (!f) return false;
  LoadedWav wav;
  if (!ReadWav(e, f.get(), path, false, false, &wav)) return false;
  if (wav.channels > 2) {
    Audio_FreeBuffer(wav.buffer);
    const std::string text = std::string("Click samples must be mono or stereo:\n") + path +
                             " has " + std::to_string(wav.channels) + " channels.";
    MessageDialog_Show(e->messageOwner, text, "Audio_LoadClickSample()");
    return false;
  }
  if (!Audio_SetClickSample(which, wav.buffer, wav.bytes, wav.frames, wav.channels)) return false;
  lastPath = path;
  Audio_SetMetronomeTime(measureSeconds, beats, true);
  return true;
}
