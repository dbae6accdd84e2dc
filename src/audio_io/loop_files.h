#pragma once
// Loop files: loading an audio file (16-bit PCM WAV as always, and every kind
// SoundFile reads) into a loop track or into a metronome click record, and saving a loop
// track as a WAV file. User-interface thread only.
#include <cstdint>
#include <string>

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

// Saves slot `track` as a WAV file in the options' sample format at `path` (null or empty: ask with the
// file-save dialog). `interactive` asks before overwriting and reports failures. The
// file is replaced whole (File_Replace): a failed save leaves the previous file as it
// was, a link is saved through, a read-only file is refused and an overwritten file keeps
// its permissions. Returns the path written, or an empty text.
std::string Audio_SaveLoop(int track, const char* path, bool interactive);

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
