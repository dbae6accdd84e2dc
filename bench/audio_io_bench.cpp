// Loop file throughput: loading and saving a 240 s stereo 16-bit WAV (46 MB), next to
// `sox FILE -n` reading the same file and `sox FILE COPY` copying it, each as a whole
// process; loading the same 240 s as 24-bit WAV, as FLAC and as a 44.1 kHz file
// converted to the 48 kHz stream, each beside sox doing the same; and the callback's
// cost of staging one 256-frame block for mix to disk.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "audio_io/loop_files.h"
#include "audio_io/mix_disk_writer.h"
#include "audio_io/wav_file.h"
#include "engine/audio.h"

namespace {

namespace fs = std::filesystem;

constexpr int SECONDS = 240;
constexpr int RATE = 48000;
constexpr uint64_t FILE_BYTES = WAV_HEADER_BYTES + uint64_t{SECONDS} * RATE * 2 * 2;

const fs::path& Folder() {
  static const fs::path folder = [] {
    fs::path p = fs::temp_directory_path() / ("kestrine-bench-" + std::to_string(::getpid()));
    fs::create_directories(p);
    std::atexit([] { fs::remove_all(fs::temp_directory_path() / ("kestrine-bench-" + std::to_string(::getpid()))); });
    return p;
  }();
  return folder;
}

// The engine with one 240 s stereo loop holding a sine, saved once as the test file.
int BenchTrack() {
  static int track = -1;
  if (track >= 0) return track;
  Audio_Init();
  track = Audio_CreateLoop(SECONDS, 0.9, 2, 0);
  LoopTrack& t = Audio_GetEngine()->tracks[track];
  float* b = t.pBuffer;
  const size_t n = static_cast<size_t>(t.length) * 2;
  for (size_t i = 0; i < n; ++i) b[i] = 0.5f * std::sin(0.01f * static_cast<float>(i % 6283));
  Audio_SaveLoop(track, (Folder() / "loop.wav").c_str(), false);
  return track;
}

const std::string& LoopFile() {
  static const std::string path = (BenchTrack(), (Folder() / "loop.wav").string());
  return path;
}

void BM_LoadLoop240sStereo(benchmark::State& state) {
  const int track = BenchTrack();
  const std::string& path = LoopFile();
  for (auto _ : state) {
    if (Audio_LoadLoop(track, path.c_str(), 0, false, false, false).empty())
      state.SkipWithError("load failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FILE_BYTES));
}
BENCHMARK(BM_LoadLoop240sStereo)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveLoop240sStereo(benchmark::State& state) {
  const int track = BenchTrack();
  const std::string out = (Folder() / "saved.wav").string();
  for (auto _ : state) {
    if (Audio_SaveLoop(track, out.c_str(), false).empty()) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FILE_BYTES));
}
BENCHMARK(BM_SaveLoop240sStereo)->Unit(benchmark::kMillisecond)->UseRealTime();

// The 240 s sine of the loop file in another format or at another rate, written once.
const std::string& OtherFile(const char* name, int format, int rate) {
  static std::map<std::string, std::string> files;
  std::string& path = files[name];
  if (!path.empty()) return path;
  path = (Folder() / name).string();
  SF_INFO info{};
  info.channels = 2, info.samplerate = rate, info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  std::vector<float> block(2 * 4096);
  for (int64_t frame = 0; f && frame < int64_t{SECONDS} * rate; frame += 4096) {
    for (size_t i = 0; i < block.size(); ++i)
      block[i] = 0.5f * std::sin(0.01f * static_cast<float>((static_cast<size_t>(frame) * 2 + i) % 6283));
    sf_writef_float(f, block.data(), 4096);
  }
  if (f) sf_close(f);
  return path;
}
const std::string& Wav24File() { return OtherFile("loop24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, RATE); }
const std::string& FlacFile() { return OtherFile("loop.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, RATE); }
const std::string& Wav44k1File() { return OtherFile("loop44k1.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100); }

void LoadOther(benchmark::State& state, const std::string& path, bool convert) {
  const int track = BenchTrack();
  Audio_SetLoopFileOptions({.convertSampleRate = convert});
  for (auto _ : state) {
    if (Audio_LoadLoop(track, path.c_str(), 0, false, false, false).empty()) state.SkipWithError("load failed");
  }
  Audio_SetLoopFileOptions({});
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(path)));
}
void BM_LoadLoop240sStereo24BitWav(benchmark::State& state) { LoadOther(state, Wav24File(), false); }
BENCHMARK(BM_LoadLoop240sStereo24BitWav)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_LoadLoop240sStereoFlac(benchmark::State& state) { LoadOther(state, FlacFile(), false); }
BENCHMARK(BM_LoadLoop240sStereoFlac)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_LoadLoop240sStereo44k1To48k(benchmark::State& state) { LoadOther(state, Wav44k1File(), true); }
BENCHMARK(BM_LoadLoop240sStereo44k1To48k)->Unit(benchmark::kMillisecond)->UseRealTime();

// sox doing the same as whole processes: decoding to nothing, converting at high quality.
void Sox(benchmark::State& state, const std::string& arguments, const std::string& path) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) {
    state.SkipWithError("sox is not installed");
    return;
  }
  const std::string command = "sox " + arguments + " 2>/dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("sox failed (no format handler?)");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(path)));
}
void BM_SoxRead240sStereo24BitWav(benchmark::State& state) { Sox(state, "'" + Wav24File() + "' -n", Wav24File()); }
BENCHMARK(BM_SoxRead240sStereo24BitWav)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_SoxRead240sStereoFlac(benchmark::State& state) { Sox(state, "'" + FlacFile() + "' -n", FlacFile()); }
BENCHMARK(BM_SoxRead240sStereoFlac)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_SoxConvert240sStereo44k1To48k(benchmark::State& state) {
  Sox(state, "'" + Wav44k1File() + "' -t f32 /dev/null rate -h 48000", Wav44k1File());
}
BENCHMARK(BM_SoxConvert240sStereo44k1To48k)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reference: sox decoding the same file to nothing, timed as a whole process.
void BM_SoxRead240sStereo(benchmark::State& state) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) {
    state.SkipWithError("sox is not installed");
    return;
  }
  const std::string command = "sox '" + LoopFile() + "' -n";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("sox failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FILE_BYTES));
}
BENCHMARK(BM_SoxRead240sStereo)->Unit(benchmark::kMillisecond)->UseRealTime();

// sox reading the file and writing it again as 16-bit WAV: the reference for a load and
// a save together.
void BM_SoxCopy240sStereo(benchmark::State& state) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) {
    state.SkipWithError("sox is not installed");
    return;
  }
  const std::string command = "sox '" + LoopFile() + "' -b 16 '" + (Folder() / "sox-copy.wav").string() + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("sox failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FILE_BYTES));
}
BENCHMARK(BM_SoxCopy240sStereo)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the callback pays per buffer while mixing to disk. The staging buffers are
// emptied between batches without writing them, to keep the disk out of the figure.
void BM_MixStage256Frames(benchmark::State& state) {
  BenchTrack();
  MixDiskWriter* w = MixDiskWriter_Create();
  const std::string out = (Folder() / "mix.wav").string();
  MixDiskWriter_Open(w, out.c_str(), RATE);
  std::vector<float> block(512);
  for (size_t i = 0; i < block.size(); ++i) block[i] = 0.25f * std::sin(0.05f * static_cast<float>(i));
  int64_t n = 0;
  for (auto _ : state) {
    MixDiskWriter_Write(w, block.data(), 256);
    if (++n % 300 == 0) {
      state.PauseTiming();
      for (int b = 0; b < 2; ++b) {
        w->count[b] = 0;
        w->state[b] = MIX_FREE;
      }
      state.ResumeTiming();
    }
  }
  MixDiskWriter_Destroy(w);
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_MixStage256Frames);

}  // namespace
