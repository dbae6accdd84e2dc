#include "audio_io/mix_disk_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "audio_io/wav_file.h"
#include "engine/audio.h"
#include "engine/message_dialog.h"

namespace {

MixDiskWriter* theWriter = nullptr;
std::string mixFilePath;

// Writes all of `bytes` at `offset`, each write completed before the next.
bool WriteAt(int fd, const void* data, size_t bytes, uint64_t offset) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    const ssize_t n = ::pwrite(fd, p, bytes, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    bytes -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

enum DrainResult { DRAINED, DRAIN_FAILED, SIZE_LIMIT };

// Writes buffer `b` to the file and hands it back to the callback as free. Only what
// still fits the header's 32-bit sizes is written.
DrainResult Drain(MixDiskWriter* w, int b) {
  const uint64_t bytes = static_cast<uint64_t>(w->count[b].load()) * 4;
  const uint64_t room = w->maxDataBytes - w->dataBytes;
  const uint64_t n = std::min(bytes, room);
  if (!WriteAt(w->file, w->buffer[b], n, w->writePosition)) return DRAIN_FAILED;
  w->writePosition += n;
  w->dataBytes += static_cast<uint32_t>(n);
  w->count[b].store(0);
  w->state[b].store(MIX_FREE, std::memory_order_release);
  return n < bytes || w->dataBytes == w->maxDataBytes ? SIZE_LIMIT : DRAINED;
}

void Stage(void* user, const float* output, unsigned long frames) {
  MixDiskWriter_Write(static_cast<MixDiskWriter*>(user), output, frames);
}

void Service() {
  if (!theWriter || theWriter->file < 0 || MixDiskWriter_Flush(theWriter)) return;
  // The writer is closed already: a tick during the message finds nothing to write.
  AudioEngine* e = Audio_GetEngine();
  MessageDialog_Show(e ? e->messageOwner : nullptr,
                     "Mix to disk stopped: writing " + mixFilePath + " failed.", "File Error");
  mixFilePath.clear();
}

}  // namespace

MixDiskWriter* MixDiskWriter_Create() {
  auto* w = new MixDiskWriter;
  w->maxDataBytes = WAV_MAX_DATA_BYTES;
  for (int b = 0; b < 2; ++b) {
    w->buffer[b] = static_cast<int16_t*>(std::malloc(MIX_BUFFER_BYTES));
    w->size[b] = w->buffer[b] ? MIX_BUFFER_BYTES : 0;
  }
  return w;
}

void MixDiskWriter_Destroy(MixDiskWriter* w) {
  if (!w) return;
  MixDiskWriter_Close(w, false);
  std::free(w->buffer[0]);
  std::free(w->buffer[1]);
  delete w;
}

bool MixDiskWriter_Open(MixDiskWriter* w, const char* path, uint32_t sampleRate, bool exclusive) {
  MixDiskWriter_Close(w, false);
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC), 0666);
  if (fd < 0) return false;
  uint8_t header[WAV_HEADER_BYTES];
  Wav_BuildHeader(header, 2, sampleRate, 0);
  if (!WriteAt(fd, header, 36, 0) || !WriteAt(fd, header + 36, 8, 36)) {
    ::close(fd);
    return false;
  }
  std::lock_guard<std::mutex> guard(w->lock);
  for (int b = 0; b < 2; ++b) {
    w->count[b].store(0);
    w->state[b].store(MIX_FREE);
  }
  w->file = fd;
  w->writePosition = WAV_HEADER_BYTES;
  w->dataBytes = 0;
  w->sampleRate = sampleRate;
  w->open.store(true, std::memory_order_release);
  return true;
}

void MixDiskWriter_Write(MixDiskWriter* w, const float* block, unsigned long frames) {
  if (!w || !w->open.load(std::memory_order_acquire)) return;
  // Only a close holds the lock for long; the block is dropped rather than waited for.
  if (!w->lock.try_lock()) return;
  std::lock_guard<std::mutex> guard(w->lock, std::adopt_lock);
  if (!w->open.load(std::memory_order_relaxed)) return;
  while (frames > 0) {
    int b = -1;
    for (int i = 0; i < 2 && b < 0; ++i)
      if (w->size[i] && w->state[i].load(std::memory_order_acquire) == MIX_PARTLY_FILLED) b = i;
    for (int i = 0; i < 2 && b < 0; ++i)
      if (w->size[i] && w->state[i].load(std::memory_order_acquire) == MIX_FREE) b = i;
    if (b < 0) return;  // both full: the timer has fallen behind by seconds; drop the rest
    w->state[b].store(MIX_FILLING, std::memory_order_relaxed);
    const uint32_t capacity = w->size[b] / 4;
    const uint32_t used = w->count[b].load(std::memory_order_relaxed);
    const uint32_t k = static_cast<uint32_t>(std::min<unsigned long>(frames, capacity - used));
    Wav_ToSamples(block, w->buffer[b] + 2 * static_cast<size_t>(used), 2 * static_cast<size_t>(k));
    w->count[b].store(used + k, std::memory_order_relaxed);
    w->state[b].store(used + k == capacity ? MIX_FULL : MIX_PARTLY_FILLED, std::memory_order_release);
    block += 2 * static_cast<size_t>(k);
    frames -= k;
  }
}

bool MixDiskWriter_Flush(MixDiskWriter* w) {
  if (!w || w->file < 0) return true;
  for (int b = 0; b < 2; ++b) {
    if (w->state[b].load(std::memory_order_acquire) != MIX_FULL) continue;
    const DrainResult result = Drain(w, b);
    if (result == DRAIN_FAILED) {
      MixDiskWriter_Close(w, true);
      return false;
    }
    if (result == SIZE_LIMIT) return MixDiskWriter_Close(w, false);
  }
  return true;
}

bool MixDiskWriter_Close(MixDiskWriter* w, bool afterError) {
  if (!w || w->file < 0) return true;
  bool ok = true;
  {
    // Holding the lock keeps the callback out of the partly filled buffers while they
    // are written, and no block is staged once `open` is down.
    std::lock_guard<std::mutex> guard(w->lock);
    w->open.store(false, std::memory_order_relaxed);
    if (!afterError) {
      bool stop = false;
      for (int wanted : {MIX_FULL, MIX_PARTLY_FILLED}) {
        for (int b = 0; b < 2 && !stop; ++b) {
          if (w->state[b].load() != wanted) continue;
          const DrainResult result = Drain(w, b);
          if (result == DRAIN_FAILED) ok = false;
          stop = result != DRAINED;
        }
      }
    }
    // Whatever is left belongs to this file, never to the next one.
    for (int b = 0; b < 2; ++b) {
      w->count[b].store(0);
      w->state[b].store(MIX_FREE);
    }
  }
  const uint32_t riffSize = w->dataBytes + 36;
  uint8_t patch[4];
  for (int i = 0; i < 4; ++i) patch[i] = static_cast<uint8_t>(riffSize >> (8 * i));
  if (!WriteAt(w->file, patch, 4, 4)) ok = false;
  for (int i = 0; i < 4; ++i) patch[i] = static_cast<uint8_t>(w->dataBytes >> (8 * i));
  if (!WriteAt(w->file, patch, 4, 40)) ok = false;
  // A write that failed part way may have left bytes the header does not count.
  if (::ftruncate(w->file, static_cast<off_t>(WAV_HEADER_BYTES + w->dataBytes)) != 0) ok = false;
  if (::close(w->file) != 0) ok = false;
  w->file = -1;
  w->dataBytes = 0;
  w->writePosition = 0;
  return ok;
}

void MixDisk_Attach(AudioEngine* e) {
  if (theWriter || !e) return;
  theWriter = MixDiskWriter_Create();
  e->mixOutputUser = theWriter;
  e->mixOutput = Stage;
  Audio_SetMixDiskService(Service);
}

void MixDisk_Detach(AudioEngine* e) {
  if (!theWriter) return;
  Audio_SetMixDiskService(nullptr);
  if (e) {
    e->mixOutput = nullptr;
    e->mixOutputUser = nullptr;
  }
  MixDiskWriter_Destroy(theWriter);
  theWriter = nullptr;
  mixFilePath.clear();
}

MixDiskWriter* MixDisk_Writer() { return theWriter; }

bool Audio_StartMixToDisk(const std::string& mixDirectory, const std::string& sessionDirectory,
                          const std::string& sessionName) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !theWriter) return false;
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::path(mixDirectory.empty() ? sessionDirectory : mixDirectory) / (sessionName + "_Mix");
  std::error_code ec;
  fs::create_directories(folder, ec);
  const auto rate = static_cast<uint32_t>(e->sampleRate.load());
  for (int n = 0; n < 100; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "_%.2d.wav", n);
    const fs::path file = folder / (sessionName + name);
    if (MixDiskWriter_Open(theWriter, file.c_str(), rate, true)) {
      mixFilePath = file.string();
      return true;
    }
    // Taken (perhaps just now, or by a link): try the next number. Anything else fails.
    if (fs::symlink_status(file, ec).type() == fs::file_type::not_found) return false;
  }
  return false;
}

void MixDisk_StreamOpened(double sampleRate) {
  if (theWriter && theWriter->file >= 0 && theWriter->sampleRate != static_cast<uint32_t>(sampleRate))
    Audio_StopMixToDisk();
}

bool Audio_StopMixToDisk() {
  mixFilePath.clear();
  return MixDiskWriter_Close(theWriter, false);
}

bool Audio_IsMixingToDisk() { return theWriter && theWriter->file >= 0; }

const std::string& Audio_GetMixFilePath() {
  if (!Audio_IsMixingToDisk()) mixFilePath.clear();
  return mixFilePath;
}
