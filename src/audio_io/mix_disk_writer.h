#pragma once
// Mix to disk: records the program's final stereo output into a 16-bit WAV file.
//
// The stream callback converts each output block into one of two preallocated staging
// buffers (MixDiskWriter_Write: no allocation, no I/O, try_lock only); the user-interface
// timer writes full buffers to the file (MixDiskWriter_Flush), and closing writes the
// rest and patches the two size fields of the header.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

struct AudioEngine;

// Buffer states: the hand-off between the callback and the user-interface thread.
enum MixBufferState : int { MIX_FREE = 1, MIX_FILLING = 2, MIX_PARTLY_FILLED = 3, MIX_FULL = 4 };

inline constexpr uint32_t MIX_BUFFER_BYTES = 384000;  // 96000 stereo 16-bit frames

struct MixDiskWriter {
  int16_t* buffer[2] = {nullptr, nullptr};
  uint32_t size[2] = {0, 0};                // bytes; 0 when the allocation failed
  std::atomic<uint32_t> count[2] = {0, 0};  // frames staged
  std::atomic<int> state[2] = {MIX_FREE, MIX_FREE};
  std::atomic<bool> open{false};  // a file takes samples
  int file = -1;                  // user-interface thread only
  uint64_t writePosition = 0;     // byte offset of the next write
  uint32_t sampleRate = 0;        // the rate in the open file's header
  uint32_t dataBytes = 0;         // sample bytes written so far
  // The recording stops before the header's 32-bit sizes would overflow (tests lower it).
  uint32_t maxDataBytes = 0;
  std::mutex lock;  // held while a buffer is filled or, at close, drained
};

MixDiskWriter* MixDiskWriter_Create();
void MixDiskWriter_Destroy(MixDiskWriter* writer);
// Closes any open file, then creates `path` with a header for `sampleRate`: replacing a
// file of that name, or, when `exclusive`, failing if anything of that name exists.
// False when the file cannot be created or written.
bool MixDiskWriter_Open(MixDiskWriter* writer, const char* path, uint32_t sampleRate,
                        bool exclusive = false);
// Audio thread: stages `frames` interleaved stereo frames; drops what does not fit.
void MixDiskWriter_Write(MixDiskWriter* writer, const float* block, unsigned long frames);
// Writes every full buffer. A failed write (false), or reaching the size limit, closes
// the file.
bool MixDiskWriter_Flush(MixDiskWriter* writer);
// Writes what is staged (unless closing after an error), patches the header, closes.
bool MixDiskWriter_Close(MixDiskWriter* writer, bool afterError);

// The program's one writer, attached to the engine: the callback hands it every output
// block and Audio_PollChanges flushes it. The audio layer attaches it at start-up.
void MixDisk_Attach(AudioEngine* engine);
void MixDisk_Detach(AudioEngine* engine);
MixDiskWriter* MixDisk_Writer();

// A stream was opened at `sampleRate`: a mix file whose header holds another rate is
// closed, since what follows could not be played back at its rate.
void MixDisk_StreamOpened(double sampleRate);

// Starts a new numbered mix file "<session>_NN.wav" (NN = 00..99, the first free) in the
// folder "<base>/<session>_Mix", base being `mixDirectory` when not empty, else the
// session's folder. The folder is created when missing. A name is taken only if nothing
// of that name exists (not even a dangling link). False when nothing was opened.
bool Audio_StartMixToDisk(const std::string& mixDirectory, const std::string& sessionDirectory,
                          const std::string& sessionName);
bool Audio_StopMixToDisk();
// A write that fails while recording ends the mix with a message (caption "File Error").
bool Audio_IsMixingToDisk();
// The file being written (empty when none).
const std::string& Audio_GetMixFilePath();
