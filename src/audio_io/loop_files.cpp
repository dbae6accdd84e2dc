#include "audio_io/loop_files.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "audio_io/file_dialog.h"
#include "audio_io/file_replace.h"
#include "audio_io/rate_converter.h"
#include "audio_io/sound_file.h"
#include "audio_io/wav_file.h"
#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/message_dialog.h"
#include "engine/undo.h"

namespace {

std::string lastPath;
LoopFileOptions options;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

const std::vector<FileFilter>& WavFilters() {
  static const std::vector<FileFilter> filters = {{"wav Files (*.wav)", "*.wav"},
                                                  {"All Files (*.*)", "*.*"}};
  return filters;
}

// Loading takes every kind of audio file the reader knows; saving writes WAV only.
const std::vector<FileFilter>& LoadFilters() {
  static const std::vector<FileFilter> filters = {
      {"Audio Files (*.wav *.aif *.aiff *.flac *.ogg)", "*.wav *.aif *.aiff *.flac *.ogg"},
      {"wav Files (*.wav)", "*.wav"},
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
struct LoadedAudio {
  float* buffer = nullptr;
  uint32_t bytes = 0;
  uint32_t frames = 0;
  uint32_t channels = 0;
};

// What the loader knows of a file once its header has been read, and where its frames
// come from: the program's own 16-bit PCM WAV reader (the samples exactly as they have
// always been loaded) or libsndfile for every other kind.
struct OpenLoopFile {
  std::FILE* file = nullptr;
  WavFormat wav;
  SoundFile sound;
  bool wav16 = false;
  uint64_t frames = 0;
  uint32_t channels = 0;
  uint32_t sampleRate = 0;
  std::string formatText;  // the bits as the load question names them
  double seconds = 0;

  bool Read(float* out, uint64_t count) {
    if (wav16) return Wav_ReadSamples(file, out, count * channels);
    return sound.Read(out, static_cast<int64_t>(count)) == static_cast<int64_t>(count);
  }
};

const char* const LOAD_CAPTION = "Audio_LoadLoop()";

// A failure libsndfile explains: the loader's text, the file and libsndfile's reason.
void ShowFileFailure(void* owner, const char* text, const std::string& path, const std::string& reason) {
  std::string message = std::string(text) + "\n" + path;
  if (!reason.empty()) message += "\n" + reason;
  MessageDialog_Show(owner, message, LOAD_CAPTION);
}

// What the own reader found wrong with a 16-bit WAV file, said after its name; null where
// the message says it all.
const char* WavCause(WavReadResult result, const WavFormat& wav) {
  switch (result) {
    case WAV_HEADER_READ: return "The file ends inside its header, or it has no format chunk.";
    case WAV_HEADER_SEEK: return "Its format chunk gives an impossible size.";
    case WAV_DATA_HEADER_READ:
      return wav.dataBytes < 0 ? "Its data chunk claims 2 GB or more, more than a WAV file can hold."
                               : "The file ends before its data.";
    case WAV_CHUNK_SEEK:
    case WAV_CHUNK_READ: return "The file ends before a data chunk.";
    case WAV_DATA_SHORT: return "The file ends before its data does.";
    default: return nullptr;
  }
}

// Reads the header: the program's own reader for the 16-bit PCM WAV files it has always
// read (with its messages for broken ones), libsndfile for every other sample format
// and kind of file.
bool OpenFile(void* owner, std::FILE* f, const std::string& path, OpenLoopFile* file) {
  file->file = f;
  WavFormat& wav = file->wav;
  // Only a RIFF WAVE file is the own reader's to judge; any other goes to libsndfile,
  // however short.
  char magic[12] = {};
  const bool riffWave = std::fread(magic, 1, sizeof magic, f) == sizeof magic &&
                        std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "WAVE", 4) == 0;
  std::rewind(f);
  const WavReadResult result = riffWave ? Wav_ReadHeader(f, &wav) : WAV_NOT_WAVE;
  if (result == WAV_OK) {
    file->wav16 = true;
    file->channels = static_cast<uint32_t>(wav.channels);
    file->frames = static_cast<uint64_t>(wav.dataBytes) / 2 / file->channels;
    file->sampleRate = wav.sampleRate;
    file->formatText = "16 Bit";
    file->seconds = static_cast<double>(wav.dataBytes) / (wav.bitsPerSample / 8) / wav.channels / wav.sampleRate;
    return true;
  }
  if (result != WAV_NOT_WAVE && result != WAV_BIT_FORMAT && result != WAV_COMPRESSED) {
    if (const char* cause = WavCause(result, wav))
      ShowFileFailure(owner, Wav_ResultText(result, wav).c_str(), path, cause);
    else
      MessageDialog_Show(owner, Wav_ResultText(result, wav), Wav_ResultCaption(result));
    return false;
  }
  std::string reason;
  bool unrecognised = false;
  if (!file->sound.Open(f, &reason, &unrecognised)) {
    if (unrecognised && result == WAV_NOT_WAVE)
      MessageDialog_Show(owner, Wav_ResultText(result, wav), Wav_ResultCaption(result));
    else
      ShowFileFailure(owner, "header read failed", path, reason);
    return false;
  }
  const SoundFileInfo& info = file->sound.Info();
  file->channels = static_cast<uint32_t>(info.channels);
  file->frames = static_cast<uint64_t>(info.frames);
  file->sampleRate = static_cast<uint32_t>(info.sampleRate);
  file->formatText = SoundFile_FormatText(info.format);
  file->seconds = static_cast<double>(info.frames) / info.sampleRate;
  return true;
}

// Reads every frame into `out` (`frames` frames at the file's rate), or converts them to
// `outFrames` frames at the stream's rate, block by block, so the file's own samples are
// never held whole beside the converted ones and a cancelled read stops within a block.
bool ReadFrames(OpenLoopFile* file, float* out, uint64_t outFrames, bool convert, double rate, std::string* reason,
                const std::atomic<bool>& cancel) {
  constexpr uint64_t BLOCK_FRAMES = 16 * 1024;
  if (!convert) {
    for (uint64_t done = 0; done < file->frames; done += BLOCK_FRAMES) {
      if (cancel.load(std::memory_order_relaxed)) return false;
      const uint64_t n = std::min(file->frames - done, BLOCK_FRAMES);
      if (!file->Read(out + done * file->channels, n)) return false;
    }
    return true;
  }
  RateConverter converter;
  if (!converter.Open(static_cast<int>(file->channels), file->sampleRate, rate, out, outFrames, reason)) return false;
  std::unique_ptr<float[]> block(new (std::nothrow) float[BLOCK_FRAMES * file->channels]);
  if (!block) return false;
  for (uint64_t left = file->frames; left > 0;) {
    if (cancel.load(std::memory_order_relaxed)) return false;
    const uint64_t n = std::min(left, BLOCK_FRAMES);
    if (!file->Read(block.get(), n)) return false;
    converter.Push(block.get(), n);
    left -= n;
  }
  converter.Finish();
  return true;
}

// A file whose header has been read and whose questions have been answered, with the
// buffer its samples go into: what the reading half of a load needs.
struct PreparedRead {
  OpenLoopFile file;
  std::string path;
  float* buffer = nullptr;  // from Audio_AllocBuffer; freed on the user-interface thread only
  uint64_t bytes = 0;
  uint64_t frames = 0;
  bool convert = false;
  double rate = 0;
};

// Reads and checks the header, asks what the flags ask and allocates the buffer. Shows
// its own messages; on failure nothing is left allocated.
bool PrepareRead(AudioEngine* e, std::FILE* f, const std::string& path, bool askToLoad, bool warnSampleRate,
                 PreparedRead* out) {
  void* owner = e->messageOwner;
  OpenLoopFile& file = out->file;
  out->path = path;
  if (!OpenFile(owner, f, path, &file)) return false;
  if (file.frames == 0) {
    MessageDialog_Show(owner, "The wav file holds no audio.", LOAD_CAPTION);
    return false;
  }
  const double rate = e->sampleRate;
  const bool differs = file.sampleRate != rate;
  const bool convert = differs && options.convertSampleRate;
  const uint64_t frames = convert ? RateConverter_OutputFrames(file.frames, file.sampleRate, rate) : file.frames;
  // Refused before anything is allocated: a lying header or a file of hours must not
  // take the machine's memory.
  const uint64_t bytes = frames * file.channels * sizeof(float);
  if (bytes > LOOP_FILE_MAX_BYTES || frames > static_cast<uint64_t>(INT32_MAX)) {
    char text[160];
    std::snprintf(text, sizeof text, "\n%.0f MB of audio (%.0f seconds) is more than a loop can hold (%.0f MB).",
                  static_cast<double>(bytes) / 1e6, file.seconds, static_cast<double>(LOOP_FILE_MAX_BYTES) / 1e6);
    MessageDialog_Show(owner, "File: " + path + text, LOAD_CAPTION);
    return false;
  }
  if (askToLoad) {
    std::vector<char> text(path.size() + file.formatText.size() + 256);
    std::snprintf(text.data(), text.size(),
                  "File: %s\n%d Hz, %s, %d Channel, %.2f Seconds\nLoad this file?\n"
                  "(This will erase the current loop.)",
                  path.c_str(), static_cast<int>(file.sampleRate), file.formatText.c_str(),
                  static_cast<int>(file.channels), file.seconds);
    if (MessageDialog_Show(owner, text.data(), "Load File?", MB_YESNO) != IDYES) return false;
  }
  if (differs && !convert && warnSampleRate &&
      MessageDialog_Show(owner,
                         "Sample rate of load file differs from current device setting.  Continue?",
                         "Sample Rate Differs", MB_YESNO) != IDYES)
    return false;

  out->buffer = Audio_AllocBuffer(bytes, false);
  if (!out->buffer) {
    MessageDialog_Show(owner, "Insufficient Memory!", LOAD_CAPTION);
    return false;
  }
  PreferLargePages(out->buffer, bytes);
  out->bytes = bytes;
  out->frames = frames;
  out->convert = convert;
  out->rate = rate;
  return true;
}

// The reading half: touches only `read` (no engine, no message), so it may run on any
// thread. The failure's reason is left for ReadFailure.
bool ReadPrepared(PreparedRead* read, std::string* reason, const std::atomic<bool>& cancel) {
  return ReadFrames(&read->file, read->buffer, read->frames, read->convert, read->rate, reason, cancel);
}

// What a read that failed says, on the user-interface thread.
void ReadFailure(void* owner, PreparedRead* read, const std::string& reason) {
  if (read->file.wav16 && reason.empty())
    ShowFileFailure(owner, "data read failed", read->path, "The file could not be read to the end of its data.");
  else
    ShowFileFailure(owner, "data read failed", read->path, reason.empty() ? read->file.sound.ReadError() : reason);
}

// Reads a whole file on the calling thread (click samples).
bool ReadLoopFile(AudioEngine* e, std::FILE* f, const std::string& path, bool askToLoad, bool warnSampleRate,
                  LoadedAudio* out) {
  PreparedRead read;
  if (!PrepareRead(e, f, path, askToLoad, warnSampleRate, &read)) return false;
  std::string reason;
  const std::atomic<bool> never{false};
  if (!ReadPrepared(&read, &reason, never)) {
    Audio_FreeBuffer(read.buffer);
    ReadFailure(e->messageOwner, &read, reason);
    return false;
  }
  out->buffer = read.buffer;
  out->channels = read.file.channels;
  out->bytes = static_cast<uint32_t>(read.bytes);
  out->frames = static_cast<uint32_t>(read.frames);
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

bool Audio_IsLoopFileExtension(const std::string& extension) {
  for (const char* known : {".wav", ".wave", ".aif", ".aiff", ".aifc", ".flac", ".ogg", ".oga"})
    if (extension == known) return true;
  return false;
}

void Audio_SetLoopFileOptions(const LoopFileOptions& set) { options = set; }
const LoopFileOptions& Audio_GetLoopFileOptions() { return options; }

struct LoopFileRead::State {
  int track = 0;
  uint8_t flag = 0;
  void* owner = nullptr;
  File f;
  PreparedRead read;
  std::function<void()> done;
  std::thread reader;
  std::atomic<bool> cancel{false};
  std::atomic<bool> stopped{false};
  bool ok = false;          // written by the reader before `stopped`
  std::string reason;       // likewise
  bool finished = false;

  void Run() {
    ok = ReadPrepared(&read, &reason, cancel);
    f.reset();
    stopped.store(true, std::memory_order_release);
    if (done) done();
  }
  void Join() {
    if (reader.joinable()) reader.join();
  }
};

namespace {

// Opens (or locates) the file and prepares its read, as Audio_LoadLoop always has.
std::unique_ptr<LoopFileRead::State> Prepare(int track, const char* path, uint8_t flag, bool confirm,
                                             bool warnSampleRate, bool locate, bool* notOpened) {
  if (notOpened) *notOpened = false;
  AudioEngine* e = Audio_GetEngine();
  if (!e || track < 0 || track >= NUM_TRACKS || !e->tracks[track].inUse) return nullptr;
  void* owner = e->messageOwner;
  const bool pathGiven = path && *path;
  std::string file = pathGiven ? path : FileDialog_Open(owner, "", LoadFilters());
  if (file.empty()) return nullptr;

  File f(std::fopen(file.c_str(), "rb"));
  if (!f) {
    if (notOpened) *notOpened = true;
    if (!locate) return nullptr;
    if (!pathGiven) {
      MessageDialog_Show(owner, Format("Could not open file %s", file), "Error");
      return nullptr;
    }
    const std::string name = std::filesystem::path(file).filename().string();
    file = FileDialog_Open(owner, Format("Please locate file %s", name), LoadFilters());
    if (file.empty()) return nullptr;
    f.reset(std::fopen(file.c_str(), "rb"));
    if (!f) return nullptr;
    if (notOpened) *notOpened = false;
  }
  auto state = std::make_unique<LoopFileRead::State>();
  if (!PrepareRead(e, f.get(), file, !pathGiven && confirm, warnSampleRate, &state->read)) return nullptr;
  state->track = track;
  state->flag = flag;
  state->owner = owner;
  state->f = std::move(f);
  return state;
}

}  // namespace

LoopFileRead::LoopFileRead(std::unique_ptr<State> state) : state_(std::move(state)) {}

LoopFileRead::~LoopFileRead() {
  Cancel();
  state_->Join();
  if (!state_->finished) Audio_FreeBuffer(state_->read.buffer);
}

int LoopFileRead::Track() const { return state_->track; }
const std::string& LoopFileRead::Path() const { return state_->read.path; }
bool LoopFileRead::Done() const { return state_->stopped.load(std::memory_order_acquire); }
void LoopFileRead::Cancel() { state_->cancel.store(true, std::memory_order_relaxed); }
bool LoopFileRead::Cancelled() const { return state_->cancel.load(std::memory_order_relaxed); }

std::string LoopFileRead::Finish() {
  State& s = *state_;
  if (s.finished) return {};
  s.Join();
  s.finished = true;
  float* buffer = std::exchange(s.read.buffer, nullptr);
  if (s.cancel.load(std::memory_order_relaxed) || !s.ok) {
    Audio_FreeBuffer(buffer);
    if (!s.cancel.load(std::memory_order_relaxed)) ReadFailure(s.owner, &s.read, s.reason);
    return {};
  }
  // A buffer still waiting from an earlier change must be taken first, or publishing
  // over it would lose it.
  if (!Audio_WaitForSwap(s.track)) {
    Audio_FreeBuffer(buffer);
    return {};
  }
  Audio_PublishBuffer(s.track, buffer, static_cast<uint32_t>(s.read.bytes), static_cast<uint32_t>(s.read.frames),
                      s.read.file.channels, false, s.flag);
  lastPath = s.read.path;
  return s.read.path;
}

std::unique_ptr<LoopFileRead> Audio_StartLoopRead(int track, const char* path, uint8_t flag, bool confirm,
                                                  bool warnSampleRate, bool locate, std::function<void()> done,
                                                  bool* notOpened) {
  std::unique_ptr<LoopFileRead::State> state = Prepare(track, path, flag, confirm, warnSampleRate, locate, notOpened);
  if (!state) return nullptr;
  LoopFileRead::State* s = state.get();
  s->done = std::move(done);
  auto read = std::make_unique<LoopFileRead>(std::move(state));
  try {
    s->reader = std::thread([s] { s->Run(); });
  } catch (const std::system_error&) {
    s->Run();  // no thread to be had: read here, as before
  }
  return read;
}

std::string Audio_LoadLoop(int track, const char* path, uint8_t flag, bool confirm,
                           bool warnSampleRate, bool locate) {
  std::unique_ptr<LoopFileRead::State> state = Prepare(track, path, flag, confirm, warnSampleRate, locate, nullptr);
  if (!state) return {};
  state->Run();  // on this thread: the caller waits for the whole file
  return LoopFileRead(std::move(state)).Finish();
}

struct LoopFileWrites::State {
  struct File {
    std::string path;
    const float* samples = nullptr;  // pinned until written; null: no loop
    uint64_t count = 0;              // samples
    uint32_t channels = 0;
    FileReplaceResult result = FileReplace_Done;
    const char* failure = nullptr;
    int cause = 0;
  };
  std::vector<File> files;
  LoopFileFormat format = LOOP_FILE_PCM16;
  uint32_t rate = 0;
  std::string syncFolder;
  std::function<bool()> afterAll;
  void* owner = nullptr;
  std::function<void()> done;
  std::thread writer;
  std::atomic<bool> stopped{false};
  int failed = -1;  // written by the writer before `stopped`

  void Run();
  bool Write(File& file) const;
  // The file that failed; null when everything was written or the step after them failed.
  const File* FailedFile() const {
    return failed < 0 || static_cast<size_t>(failed) >= files.size() ? nullptr : &files[static_cast<size_t>(failed)];
  }
};

namespace {

std::mutex holdLock;
std::condition_variable holdChanged;
bool holdWrites = false;

void WaitWhileHeld() {
  std::unique_lock<std::mutex> guard(holdLock);
  holdChanged.wait(guard, [] { return !holdWrites; });
}

}  // namespace

void Audio_HoldLoopWrites(bool hold) {
  {
    std::lock_guard<std::mutex> guard(holdLock);
    holdWrites = hold;
  }
  holdChanged.notify_all();
}

bool LoopFileWrites::State::Write(File& file) const {
  if (!file.samples) return false;
  const uint64_t count = file.count;
  const uint32_t channels = file.channels;
  const float* samples = file.samples;
  file.result = File_Replace(file.path, [&](std::FILE* f) {
    if (format == LOOP_FILE_PCM16) {
      file.failure = WriteLoop(f, samples, count, static_cast<uint16_t>(channels), rate);
    } else {
      // The data chunk's 32-bit size bounds what a WAV file holds at 3 or 4 bytes a sample.
      const uint64_t sampleBytes = format == LOOP_FILE_PCM24 ? 3 : 4;
      const uint64_t frameCount = std::min<uint64_t>(count / channels, WAV_MAX_DATA_BYTES / (sampleBytes * channels));
      file.failure =
          SoundFile_WriteWav(f, format, samples, frameCount, static_cast<int>(channels), static_cast<int>(rate));
    }
    return file.failure == nullptr;
  }, &file.cause);
  return file.result == FileReplace_Done;
}

void LoopFileWrites::State::Run() {
  for (size_t i = 0; i < files.size(); ++i) {
    WaitWhileHeld();
    const bool written = failed < 0 && Write(files[i]);
    if (!written && failed < 0) failed = static_cast<int>(i);
    Audio_UnpinBuffer(files[i].samples);  // what comes after a failure is let go unwritten
  }
  if (failed < 0 && !syncFolder.empty()) File_SyncFolder(syncFolder);
  if (failed < 0 && afterAll && !afterAll()) failed = static_cast<int>(files.size());
  stopped.store(true, std::memory_order_release);
  if (done) done();
}

LoopFileWrites::LoopFileWrites(std::unique_ptr<State> state) : state_(std::move(state)) {}

LoopFileWrites::~LoopFileWrites() { Wait(); }

bool LoopFileWrites::Done() const { return state_->stopped.load(std::memory_order_acquire); }

void LoopFileWrites::Wait() {
  if (state_->writer.joinable()) state_->writer.join();
}

int LoopFileWrites::Failed() const { return state_->failed; }

const std::string& LoopFileWrites::FailedPath() const {
  static const std::string none;
  const State::File* file = state_->FailedFile();
  return file ? file->path : none;
}

void LoopFileWrites::ShowFailure() const {
  const State::File* failed = state_->FailedFile();
  if (!failed) return;
  const State::File& file = *failed;
  if (!file.samples) {
    MessageDialog_Show(state_->owner, "No loop to save", "Error");
    return;
  }
  // The second line says which file and why: a full disk, a read-only folder.
  const std::string detail = file.path + ": " + std::strerror(file.cause);
  if (file.result == FileReplace_Unwritable)
    MessageDialog_Show(state_->owner, Format("Could not open file %s", file.path) + "\n" + detail, "Error");
  else
    MessageDialog_Show(state_->owner, std::string(file.failure ? file.failure : "file data write failed") + "\n" + detail,
                       "Audio_SaveLoop()");
}

std::unique_ptr<LoopFileWrites> Audio_StartLoopWrites(std::vector<LoopFileWrite> files, std::string syncFolder,
                                                      std::function<bool()> afterAll, std::function<void()> done) {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return nullptr;
  auto state = std::make_unique<LoopFileWrites::State>();
  state->format = options.saveFormat;
  state->rate = static_cast<uint32_t>(e->sampleRate.load());
  state->syncFolder = std::move(syncFolder);
  state->afterAll = std::move(afterAll);
  state->owner = e->messageOwner;
  state->done = std::move(done);
  for (LoopFileWrite& wanted : files) {
    LoopFileWrites::State::File file;
    file.path = std::move(wanted.path);
    if (wanted.track >= 0 && wanted.track < NUM_TRACKS) {
      LoopTrack& t = e->tracks[wanted.track];
      // A settled buffer: a swap waiting now would replace it under the writer.
      Audio_WaitForSwap(wanted.track);
      if (t.pBuffer) {
        file.samples = t.pBuffer;
        file.channels = t.numChannels;
        const uint64_t frames = static_cast<uint32_t>(std::max<int32_t>(t.length, 0));
        file.count = std::min<uint64_t>(frames * file.channels, t.bufferSize / sizeof(float));
        file.count = std::min<uint64_t>(file.count, WAV_MAX_DATA_BYTES / 2);
        Audio_PinBuffer(file.samples);
      }
    }
    state->files.push_back(std::move(file));
  }
  LoopFileWrites::State* running = state.get();
  running->writer = std::thread([running] { running->Run(); });
  return std::make_unique<LoopFileWrites>(std::move(state));
}

std::string Audio_ChooseLoopSavePath(int track, const char* path, bool interactive) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || track < 0 || track >= NUM_TRACKS) return {};
  void* owner = e->messageOwner;
  Audio_WaitForSwap(track);
  if (!e->tracks[track].pBuffer) {
    if (interactive) MessageDialog_Show(owner, "No loop to save", "Error");
    return {};
  }
  std::string file = path && *path ? path : FileDialog_Save(owner, "", WavFilters());
  if (file.empty()) return {};
  std::error_code ec;
  if (interactive && std::filesystem::exists(file, ec) &&
      MessageDialog_Show(owner, Format("%s\nThis file exists, overwrite?", file), "Overwrite File?",
                         MB_YESNO) != IDYES)
    return {};
  return file;
}

std::string Audio_SaveLoop(int track, const char* path, bool interactive) {
  const std::string file = Audio_ChooseLoopSavePath(track, path, interactive);
  if (file.empty()) return {};
  std::unique_ptr<LoopFileWrites> writes = Audio_StartLoopWrites({{track, file}}, {}, nullptr, nullptr);
  writes->Wait();
  if (writes->Failed() >= 0) {
    if (interactive) writes->ShowFailure();
    return {};
  }
  lastPath = file;
  return file;
}

int Audio_ConvertLoops(double fromRate, double toRate) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || fromRate <= 0 || toRate <= 0 || fromRate == toRate) return 0;
  int converted = 0;
  for (int track = 0; track < NUM_TRACKS; ++track) {
    LoopTrack& t = e->tracks[track];
    if (track == e->metronomeTrack || !t.inUse || !Audio_WaitForSwap(track) || !t.pBuffer) continue;
    const uint32_t channels = t.numChannels;
    const uint64_t frames = std::min<uint64_t>(static_cast<uint64_t>(std::max<int32_t>(t.length, 0)),
                                               t.bufferSize / (sizeof(float) * channels));
    if (frames == 0) continue;
    const uint64_t outFrames = RateConverter_OutputFrames(frames, fromRate, toRate);
    const uint64_t bytes = outFrames * channels * sizeof(float);
    float* buffer = bytes <= LOOP_FILE_MAX_BYTES ? Audio_AllocBuffer(bytes, false) : nullptr;
    std::string reason = "Insufficient Memory!";
    if (!buffer || !RateConverter_Convert(t.pBuffer, frames, static_cast<int>(channels), fromRate, toRate, buffer,
                                          &reason)) {
      Audio_FreeBuffer(buffer);
      MessageDialog_Show(e->messageOwner, reason, "Audio_ConvertLoops()");
      continue;
    }
    Audio_PublishBuffer(track, buffer, static_cast<uint32_t>(bytes), static_cast<uint32_t>(outFrames), channels,
                        false, 1);
    Audio_WaitForSwap(track);
    ++converted;
  }
  // The undo levels may hold audio at the old rate: start the history afresh.
  if (converted > 0 && e->undoEnabled) {
    Audio_DisableUndo();
    Audio_EnableUndo();
  }
  return converted;
}

bool Audio_LoadClickSample(ClickSample which, const char* path, double measureSeconds, int beats) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !path || !*path) return false;
  File f(std::fopen(path, "rb"));
  if (!f) return false;
  LoadedAudio wav;
  if (!ReadLoopFile(e, f.get(), path, false, false, &wav)) return false;
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
