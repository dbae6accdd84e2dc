#pragma once
// Loop files: loading an audio file (16-bit PCM WAV as always, and every kind
// SoundFile reads) into a loop track or into a metronome click record, and saving a loop
// track as a WAV file. User-interface thread only, but for LoopFileRead's reader.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio_io/sound_file.h"
#include "engine/metronome.h"

// The most bytes of audio one loaded file may take in memory: the largest buffer a loop
// holds. A file that would need more is refused, with its size, before anything is
// allocated.
inline constexpr uint64_t LOOP_FILE_MAX_BYTES = UINT32_MAX;

// How files are loaded and saved, as the preferences say.
struct LoopFileOptions {
  // A file at another rate than the stream's is converted to the stream's rate (and the
  // rate question is not asked); off, it is loaded as it is.
  bool convertSampleRate = false;
  LoopFileFormat saveFormat = LOOP_FILE_PCM16;
};
void Audio_SetLoopFileOptions(const LoopFileOptions& options);
const LoopFileOptions& Audio_GetLoopFileOptions();

// Loads the file at `path` (null or empty: ask with the file-open dialog) into slot
// `track`. `flag` becomes the track's resync request at the swap; `confirm` asks before
// replacing the loop when the user picked the file; `warnSampleRate` asks when the file's
// rate differs from the stream's; `locate` lets the user find a file that is not where
// the path says. Returns the path loaded, or an empty text (the track is then untouched).
std::string Audio_LoadLoop(int track, const char* path, uint8_t flag, bool confirm,
                           bool warnSampleRate, bool locate);

// A loop file whose samples are being read on a thread of its own, so that the window
// keeps running through a long file. Audio_StartLoopRead does on the user-interface
// thread what comes before the samples (opening the file, the header, the questions, the
// buffer); Finish, back on that thread, shows what went wrong or hands the buffer to the
// engine, exactly as Audio_LoadLoop would have. Every member but Done is for the
// user-interface thread only.
class LoopFileRead {
 public:
  struct State;
  explicit LoopFileRead(std::unique_ptr<State> state);
  // Stops the reader (as Cancel) and waits for it; a buffer not handed over is freed.
  ~LoopFileRead();
  LoopFileRead(const LoopFileRead&) = delete;
  LoopFileRead& operator=(const LoopFileRead&) = delete;

  int Track() const;
  // The file being read (the located one when the user found it elsewhere).
  const std::string& Path() const;
  // The reader has stopped: Finish no longer waits. Any thread.
  bool Done() const;
  // The reader stops at its next block; Finish then shows nothing and leaves the track
  // as it was.
  void Cancel();
  bool Cancelled() const;
  // Waits for the reader (not at all once Done), then publishes the buffer to the track
  // or shows why the read failed. Returns the path loaded, or an empty text. Once only.
  std::string Finish();

 private:
  std::unique_ptr<State> state_;
};

// The first half of Audio_LoadLoop, with its arguments and messages; the samples are then
// read on a thread of its own, which calls `done` (on that thread) when it stops. Null
// when nothing is being read: declined, refused with a message, or not opened; then
// *notOpened tells whether the file could not be opened at all (when given).
std::unique_ptr<LoopFileRead> Audio_StartLoopRead(int track, const char* path, uint8_t flag, bool confirm,
                                                  bool warnSampleRate, bool locate, std::function<void()> done,
                                                  bool* notOpened = nullptr);

// Saves slot `track` as a WAV file in the options' sample format at `path` (null or empty: ask with the
// file-save dialog). `interactive` asks before overwriting and reports failures. The
// file is replaced whole (File_Replace): a failed save leaves the previous file as it
// was, a link is saved through, a read-only file is refused and an overwritten file keeps
// its permissions. Returns the path written, or an empty text.
// Waits for the file to be written (Audio_StartLoopWrites does not).
std::string Audio_SaveLoop(int track, const char* path, bool interactive);
// The first half of Audio_SaveLoop: the file to write slot `track` to, chosen and
// confirmed as it does; empty when there is nothing to save or the user declined.
std::string Audio_ChooseLoopSavePath(int track, const char* path, bool interactive);

// Loop files being written on a thread of their own, one after the other, so that the
// window keeps running through a long save. What is written is each track's loop as it
// stood when the writes started: its buffer is pinned until written, so a new take, an
// undo or an erase meanwhile changes the track but not the file (an erase waits for the
// file). Every member but Done is for the user-interface thread only.
class LoopFileWrites {
 public:
  struct State;
  explicit LoopFileWrites(std::unique_ptr<State> state);
  // Waits for the writer; the buffers are let go.
  ~LoopFileWrites();
  LoopFileWrites(const LoopFileWrites&) = delete;
  LoopFileWrites& operator=(const LoopFileWrites&) = delete;

  // The writer has stopped: Wait no longer waits. Any thread.
  bool Done() const;
  void Wait();
  // Once done: the position of the first file that was not written (the writer stops
  // there and writes no more), the number of files when the step after them failed, or
  // -1 when everything was written.
  int Failed() const;
  // Once done: the path of that file; empty when every file was written.
  const std::string& FailedPath() const;
  // Once done: says why that file was not written, as a save of one loop does.
  void ShowFailure() const;

 private:
  std::unique_ptr<State> state_;
};

struct LoopFileWrite {
  int track = 0;     // the slot
  std::string path;  // where its WAV file goes
};
// Starts writing `files` in order, in the options' sample format at the stream's rate,
// then flushes the folder entries of `syncFolder` (when not empty) to the disk, then runs
// `afterAll` (when given; false when it failed) on the writing thread: what must follow
// the files, such as the file that names them. A track without a loop fails its file
// ("No loop to save"). `done` is called on the writing thread when it stops. Null only
// without an engine.
std::unique_ptr<LoopFileWrites> Audio_StartLoopWrites(std::vector<LoopFileWrite> files, std::string syncFolder,
                                                      std::function<bool()> afterAll, std::function<void()> done);
// Only while a test holds it: the writer waits before each file, so that a test can act
// while a save is under way. Any thread.
void Audio_HoldLoopWrites(bool hold);

// Loads a click sound into the engine's beat or accent click record (taken over at once:
// the callback never reads these) and rebuilds the click loop, a measure of
// `measureSeconds` with `beats` beats, from it. A file that cannot be opened fails
// silently; an unreadable one with the loader's message. The metronome keeps mono or
// stereo clicks only.
bool Audio_LoadClickSample(ClickSample which, const char* path, double measureSeconds, int beats);

// Converts every loop held by the engine (not the click loop) from `fromRate` to
// `toRate`, keeping each loop's length in seconds, after the stream's rate changed. A
// loop that cannot be converted (memory short) stays as it was, with a message. The undo
// history is started afresh: it held audio at the old rate. Returns the loops converted.
int Audio_ConvertLoops(double fromRate, double toRate);

// True for the extensions of the audio files a loop loads from (".wav", ".flac", ...;
// given in lower case with the dot), the files a drop on a track takes.
bool Audio_IsLoopFileExtension(const std::string& extension);

// The file last loaded or saved.
const std::string& Audio_GetLastLoopPath();
