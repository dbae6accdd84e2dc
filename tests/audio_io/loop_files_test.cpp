// Loop files: save/load round trips, the written header, refused formats, untrusted
// headers, the questions a load asks, locating a moved file, and failed saves.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "audio_io/loop_files.h"
#include "audio_io/scripted_file_dialog.h"
#include "audio_io/wav_bytes.h"
#include "engine/audio.h"
#include "engine/buffers.h"
#include "support/scripted_dialog.h"

namespace fs = std::filesystem;

namespace {

std::vector<int16_t> Ramp(size_t n) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<int16_t>(static_cast<int>(i * 7919 % 65536) - 32768);
  return v;
}

class LoopFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Audio_Init());
    static int serial = 0;
    dir = fs::temp_directory_path() /
          ("kestrine-loops-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fs::create_directories(dir);
    track = Audio_CreateLoop(1.0, 0.9, 2, 0);
    ASSERT_GE(track, 1);
  }
  void TearDown() override {
    Audio_Shutdown();
    fs::remove_all(dir);
  }

  std::string Path(const std::string& name) const { return (dir / name).string(); }
  std::string Write(const std::string& name, const WavSpec& spec) {
    EXPECT_TRUE(WriteBytes(Path(name), WavBytes(spec)));
    return Path(name);
  }
  LoopTrack& Track(int i) { return Audio_GetEngine()->tracks[i]; }

  ScriptedDialog messages;
  ScriptedFileDialog files;
  fs::path dir;
  int track = -1;
};

TEST_F(LoopFiles, MonoAndStereoLoopsRoundTripWithin16BitQuantisation) {
  for (int channels : {1, 2}) {
    const int source = Audio_CreateLoop(0.5, 0.9, channels, 0);
    const int target = Audio_CreateLoop(0.1, 0.9, 2, 0);
    ASSERT_GE(target, 0);
    LoopTrack& s = Track(source);
    const size_t n = static_cast<size_t>(s.length) * channels;
    for (size_t i = 0; i < n; ++i) s.pBuffer.load()[i] = std::sin(0.001 * i) * 0.9f;
    const std::string path = Path("round" + std::to_string(channels) + ".wav");
    EXPECT_EQ(Audio_SaveLoop(source, path.c_str(), false), path);
    EXPECT_EQ(Audio_LoadLoop(target, path.c_str(), 1, true, true, false), path);
    LoopTrack& t = Track(target);
    ASSERT_EQ(t.numChannels, static_cast<uint32_t>(channels));
    ASSERT_EQ(t.length, s.length);
    EXPECT_EQ(t.resync, 1);  // the caller's flag byte
    float worst = 0;
    for (size_t i = 0; i < n; ++i) worst = std::max(worst, std::fabs(t.pBuffer.load()[i] - s.pBuffer.load()[i]));
    EXPECT_LT(worst, 1.0f / 32768.0f) << channels << " channel(s)";
    Audio_DeleteLoop(source);
    Audio_DeleteLoop(target);
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LoopFiles, SixChannelFileLoadsAsSixChannelBufferAndSavesBackUnchanged) {
  WavSpec spec;
  spec.channels = 6;
  spec.samples = Ramp(6 * 1000);
  const std::string in = Write("six.wav", spec);
  ASSERT_EQ(Audio_LoadLoop(track, in.c_str(), 0, false, true, false), in);
  EXPECT_EQ(Track(track).numChannels, 6u);
  EXPECT_EQ(Track(track).length, 1000);
  EXPECT_EQ(Track(track).bufferSize, 6u * 1000 * 4);
  EXPECT_FLOAT_EQ(Track(track).pBuffer.load()[1], spec.samples[1] / 32768.0f);
  const std::string out = Path("six-saved.wav");
  ASSERT_EQ(Audio_SaveLoop(track, out.c_str(), false), out);
  EXPECT_EQ(ReadBytes(out), ReadBytes(in));
}

TEST_F(LoopFiles, WrittenHeaderHasEveryFieldOfTheLayout) {
  // A 1.0 s stereo loop at 48 kHz: 48000 frames.
  ASSERT_EQ(Track(track).length, 48000);
  const std::string path = Path("header.wav");
  ASSERT_EQ(Audio_SaveLoop(track, path.c_str(), false), path);
  const std::vector<uint8_t> b = ReadBytes(path);
  ASSERT_EQ(b.size(), 192044u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(GetU32(b, 4), 192036u);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(GetU32(b, 16), 16u);
  EXPECT_EQ(GetU16(b, 20), 1u);
  EXPECT_EQ(GetU16(b, 22), 2u);
  EXPECT_EQ(GetU32(b, 24), 48000u);
  EXPECT_EQ(GetU32(b, 28), 192000u);
  EXPECT_EQ(GetU16(b, 32), 4u);
  EXPECT_EQ(GetU16(b, 34), 16u);
  EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
  EXPECT_EQ(GetU32(b, 40), 192000u);
}

TEST_F(LoopFiles, SamplesAtOrBeyondFullScaleSaturate) {
  float* buffer = Track(track).pBuffer;
  const float in[] = {1.0f, -1.0f, 1.5f, -2.0f, 0.99999f, -0.5f, 1e30f, std::numeric_limits<float>::quiet_NaN()};
  const int16_t expected[] = {32767, -32768, 32767, -32768, 32767, -16384, 32767, 0};
  std::copy(std::begin(in), std::end(in), buffer);
  const std::string path = Path("clip.wav");
  ASSERT_FALSE(Audio_SaveLoop(track, path.c_str(), false).empty());
  const std::vector<uint8_t> b = ReadBytes(path);
  for (size_t i = 0; i < std::size(expected); ++i)
    EXPECT_EQ(static_cast<int16_t>(GetU16(b, 44 + 2 * i)), expected[i]) << "sample " << i;
}

TEST_F(LoopFiles, ChunksBeforeDataAreSkippedIncludingOddSizedOnes) {
  WavSpec spec;
  spec.formatSize = 18;  // an extended format chunk
  const std::vector<uint8_t> list = Chunk("LIST", std::vector<uint8_t>(27, 'x'));
  const std::vector<uint8_t> fact = Chunk("fact", {1, 0, 0, 0});
  spec.chunksBefore = list;
  spec.chunksBefore.insert(spec.chunksBefore.end(), fact.begin(), fact.end());
  spec.samples = Ramp(2 * 300);
  const std::string path = Write("list.wav", spec);
  ASSERT_EQ(Audio_LoadLoop(track, path.c_str(), 0, false, false, false), path);
  EXPECT_EQ(Track(track).length, 300);
  EXPECT_FLOAT_EQ(Track(track).pBuffer.load()[599], spec.samples[599] / 32768.0f);
  EXPECT_TRUE(messages.shown.empty());
}

struct BrokenFile {
  const char* name;
  std::vector<uint8_t> bytes;
  const char* text;
  const char* caption;
};

std::vector<BrokenFile> BrokenFiles() {
  WavSpec good;
  good.samples = Ramp(64);
  auto with = [&](auto change) {
    WavSpec s = good;
    change(s);
    return WavBytes(s);
  };
  auto patched = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> b = WavBytes(good);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
    return b;
  };
  std::vector<uint8_t> cutHeader = WavBytes(good);
  cutHeader.resize(20);
  std::vector<uint8_t> notRiff = WavBytes(good);
  notRiff[0] = 'R', notRiff[1] = 'I', notRiff[2] = 'F', notRiff[3] = 'X';
  std::vector<uint8_t> notWave = WavBytes(good);
  notWave[11] = 'X';
  std::vector<uint8_t> endsAfterFormat = WavBytes(good);
  endsAfterFormat.resize(36);
  std::vector<uint8_t> cutChunkHeader = with([](WavSpec& s) { s.chunksBefore = Chunk("LIST", {1, 2}); });
  cutChunkHeader.resize(36 + 10 + 3);
  const char* loader = "Audio_LoadLoop()";
  return {
      {"cut-header", cutHeader, "header read failed", loader},
      {"not-riff", notRiff, "Not a wave file", loader},
      {"not-wave", notWave, "Not a wave file", loader},
      {"8-bit", with([](WavSpec& s) { s.bits = 8; }), "8 bit format not supported", "Error"},
      {"24-bit", with([](WavSpec& s) { s.bits = 24; }), "24 bit format not supported", "Error"},
      {"compressed", with([](WavSpec& s) { s.formatTag = 3; }), "Compressed wav format not supported", "Error"},
      {"zero-channels", with([](WavSpec& s) { s.channels = 0; }), "Not a wave file", loader},
      {"negative-channels", with([](WavSpec& s) { s.channels = 0xFFFF; }), "Not a wave file", loader},
      {"short-format-chunk", patched(16, 10), "header seek failed", loader},
      {"huge-format-chunk", patched(16, 0xFFFFFFF0u), "header seek failed", loader},
      {"ends-after-format", endsAfterFormat, "data header read failed", loader},
      {"huge-chunk", with([](WavSpec& s) {
         s.chunksBefore = Chunk("LIST", {1, 2});
         s.chunksBefore[4] = s.chunksBefore[5] = s.chunksBefore[6] = s.chunksBefore[7] = 0xFF;
       }),
       "Unable to find data chunk in wav file, or file seek failed.", loader},
      {"cut-chunk-header", cutChunkHeader, "Wave chunk read failed.", loader},
      {"data-beyond-file", with([](WavSpec& s) { s.dataSizeField = 0x7FFFFFFF; }), "data read failed", loader},
      {"data-one-past-file", with([](WavSpec& s) { s.dataSizeField = 129; }), "data read failed", loader},
      {"negative-data-size", with([](WavSpec& s) { s.dataSizeField = 0x80000000u; }), "data header read failed", loader},
      {"all-ones-data-size", with([](WavSpec& s) { s.dataSizeField = 0xFFFFFFFFu; }), "data header read failed", loader},
  };
}

TEST_F(LoopFiles, BrokenAndLyingFilesAreRefusedWithTheirMessageAndLeaveTheTrackAlone) {
  // With KESTRINE_WAV_CORPUS set, the files also seed the WAV reader's fuzz corpus.
  const char* corpus = std::getenv("KESTRINE_WAV_CORPUS");
  const float* before = Track(track).pBuffer;
  for (const BrokenFile& file : BrokenFiles()) {
    SCOPED_TRACE(file.name);
    const std::string path = Path(std::string(file.name) + ".wav");
    ASSERT_TRUE(WriteBytes(path, file.bytes));
    if (corpus) WriteBytes((fs::path(corpus) / (std::string("broken-") + file.name)).string(), file.bytes);
    messages.shown.clear();
    Audio_FailNextAllocations(0);
    EXPECT_TRUE(Audio_LoadLoop(track, path.c_str(), 0, false, false, false).empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, file.text);
    EXPECT_EQ(messages.shown[0].caption, file.caption);
    EXPECT_EQ(Track(track).pBuffer.load(), before);
    EXPECT_EQ(Track(track).length, 48000);
    EXPECT_EQ(Track(track).pNewBuffer.load(), nullptr);
  }
  if (corpus) {
    WavSpec mono;
    mono.channels = 1;
    mono.samples = Ramp(100);
    WriteBytes((fs::path(corpus) / "good-mono").string(), WavBytes(mono));
    WavSpec listed;
    listed.chunksBefore = Chunk("LIST", std::vector<uint8_t>(5, 'a'));
    listed.samples = Ramp(40);
    WriteBytes((fs::path(corpus) / "good-list").string(), WavBytes(listed));
  }
}

TEST_F(LoopFiles, UserPickedFileIsConfirmedAndADifferentRateIsAskedAbout) {
  WavSpec spec;
  spec.sampleRate = 44100;
  spec.samples = Ramp(2 * 22050);
  const std::string path = Write("rate.wav", spec);

  files.answers = {path};
  messages.answers = {IDNO};
  EXPECT_TRUE(Audio_LoadLoop(track, nullptr, 0, true, true, false).empty());
  ASSERT_EQ(files.shown.size(), 1u);
  EXPECT_FALSE(files.shown[0].save);
  ASSERT_EQ(files.shown[0].filters.size(), 2u);
  EXPECT_EQ(files.shown[0].filters[0].description, "wav Files (*.wav)");
  EXPECT_EQ(files.shown[0].filters[0].pattern, "*.wav");
  EXPECT_EQ(files.shown[0].filters[1].description, "All Files (*.*)");
  EXPECT_EQ(files.shown[0].filters[1].pattern, "*.*");
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "File: " + path +
                                        "\n44100 Hz, 16 Bit, 2 Channel, 0.50 Seconds\nLoad this file?\n"
                                        "(This will erase the current loop.)");
  EXPECT_EQ(messages.shown[0].caption, "Load File?");
  EXPECT_EQ(messages.shown[0].kind, MB_YESNO);
  EXPECT_EQ(Track(track).length, 48000);

  // A given path is not confirmed; the rate question can still refuse.
  messages.shown.clear();
  messages.answers = {IDNO};
  EXPECT_TRUE(Audio_LoadLoop(track, path.c_str(), 0, true, true, false).empty());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(messages.Saw("Sample rate of load file differs from current device setting.  Continue?",
                           "Sample Rate Differs"));

  // Without the warning it loads as it is, not resampled.
  messages.shown.clear();
  EXPECT_EQ(Audio_LoadLoop(track, path.c_str(), 0, true, false, false), path);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(Track(track).length, 22050);
  EXPECT_EQ(Audio_GetLastLoopPath(), path);
}

TEST_F(LoopFiles, MissingFileIsLocatedOnlyWhenAsked) {
  WavSpec spec;
  spec.samples = Ramp(2 * 100);
  const std::string moved = Write("moved.wav", spec);
  const std::string missing = Path("gone/loop.wav");

  EXPECT_TRUE(Audio_LoadLoop(track, missing.c_str(), 0, false, false, false).empty());
  EXPECT_TRUE(files.shown.empty());
  EXPECT_TRUE(messages.shown.empty());

  files.answers = {moved};
  EXPECT_EQ(Audio_LoadLoop(track, missing.c_str(), 0, true, false, true), moved);
  ASSERT_EQ(files.shown.size(), 1u);
  EXPECT_EQ(files.shown[0].title, "Please locate file loop.wav");
  EXPECT_EQ(Track(track).length, 100);
  EXPECT_TRUE(messages.shown.empty());  // a located file is not confirmed

  EXPECT_TRUE(Audio_LoadLoop(track, missing.c_str(), 0, false, false, true).empty());  // cancelled
  EXPECT_TRUE(messages.shown.empty());

  files.answers = {missing};
  EXPECT_TRUE(Audio_LoadLoop(track, nullptr, 0, false, false, true).empty());
  EXPECT_TRUE(messages.Saw("Could not open file " + missing, "Error"));
}

TEST_F(LoopFiles, LoadRefusesBadSlotsAndReportsShortMemory) {
  WavSpec spec;
  spec.samples = Ramp(2 * 100);
  const std::string path = Write("ok.wav", spec);
  EXPECT_TRUE(Audio_LoadLoop(-1, path.c_str(), 0, false, false, false).empty());
  EXPECT_TRUE(Audio_LoadLoop(9, path.c_str(), 0, false, false, false).empty());
  EXPECT_TRUE(Audio_LoadLoop(7, path.c_str(), 0, false, false, false).empty());  // no loop there
  EXPECT_TRUE(messages.shown.empty());

  Audio_FailNextAllocations(1);
  EXPECT_TRUE(Audio_LoadLoop(track, path.c_str(), 0, false, false, false).empty());
  EXPECT_TRUE(messages.Saw("Insufficient Memory!", "Audio_LoadLoop()"));
  EXPECT_EQ(Track(track).length, 48000);
}

TEST_F(LoopFiles, SaveAsksBeforeOverwritingAndReportsWhatIsMissing) {
  const std::string path = Path("exists.wav");
  ASSERT_TRUE(WriteBytes(path, {1, 2, 3}));
  files.answers = {path};
  messages.answers = {IDNO};
  EXPECT_TRUE(Audio_SaveLoop(track, nullptr, true).empty());
  ASSERT_EQ(files.shown.size(), 1u);
  EXPECT_TRUE(files.shown[0].save);
  EXPECT_TRUE(messages.Saw(path + "\nThis file exists, overwrite?", "Overwrite File?"));
  EXPECT_EQ(ReadBytes(path).size(), 3u);

  files.answers = {path};
  EXPECT_EQ(Audio_SaveLoop(track, nullptr, true), path);  // Yes
  EXPECT_EQ(ReadBytes(path).size(), 192044u);
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::others_read, fs::perms::others_read)
      << "a saved loop is as readable as any new file";

  EXPECT_TRUE(Audio_SaveLoop(track, nullptr, true).empty());  // dialog cancelled
  EXPECT_TRUE(Audio_SaveLoop(9, path.c_str(), true).empty());
  Audio_DeleteLoop(track);
  messages.shown.clear();
  EXPECT_TRUE(Audio_SaveLoop(track, path.c_str(), true).empty());
  EXPECT_TRUE(messages.Saw("No loop to save", "Error"));
  messages.shown.clear();
  EXPECT_TRUE(Audio_SaveLoop(track, path.c_str(), false).empty());
  EXPECT_TRUE(messages.shown.empty());

  const int other = Audio_CreateLoop(0.1, 0.9, 1, 0);
  const std::string nowhere = Path("no-such-folder/x.wav");
  EXPECT_TRUE(Audio_SaveLoop(other, nowhere.c_str(), true).empty());
  EXPECT_TRUE(messages.Saw("Could not open file " + nowhere, "Error"));
}

TEST_F(LoopFiles, SaveThatFailsPartWayLeavesThePreviousFileIntact) {
  const std::string path = Path("keep.wav");
  const std::vector<uint8_t> previous = {'o', 'l', 'd'};
  ASSERT_TRUE(WriteBytes(path, previous));
  // The file size limit makes the write fail after 64 KiB, as a full disk would.
  struct sigaction ignore {}, saved {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &saved);
  rlimit limit{}, old{};
  getrlimit(RLIMIT_FSIZE, &old);
  limit.rlim_cur = 65536;
  limit.rlim_max = old.rlim_max;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const std::string result = Audio_SaveLoop(track, path.c_str(), true);
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &saved, nullptr);

  EXPECT_TRUE(result.empty());
  EXPECT_TRUE(messages.Saw("file data write failed", "Audio_SaveLoop()"));
  EXPECT_EQ(ReadBytes(path), previous);
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 1u) << "no temporary file is left behind";
}

TEST_F(LoopFiles, ZeroFrameLoopSavesAHeaderOnlyFileThatLoadsBack) {
  WavSpec spec;
  const std::string empty = Write("empty.wav", spec);
  ASSERT_EQ(Audio_LoadLoop(track, empty.c_str(), 0, false, false, false), empty);
  EXPECT_EQ(Track(track).length, 0);
  const std::string path = Path("empty-saved.wav");
  ASSERT_EQ(Audio_SaveLoop(track, path.c_str(), false), path);
  EXPECT_EQ(ReadBytes(path).size(), 44u);
}

TEST_F(LoopFiles, ClickSamplesAreTakenOverAtOnceAndRebuildTheClickLoop) {
  AudioEngine* e = Audio_GetEngine();
  WavSpec beat, accent;
  beat.channels = accent.channels = 1;
  beat.samples = std::vector<int16_t>(300, 1000);
  accent.samples = Ramp(500);
  const std::string beatPath = Write("beat.wav", beat);
  const std::string accentPath = Write("accent.wav", accent);
  ASSERT_TRUE(Audio_LoadClickSample(ClickBeat, beatPath.c_str(), 2.0, 4));
  e->accentSample.position = 42;
  ASSERT_TRUE(Audio_LoadClickSample(ClickAccent, accentPath.c_str(), 2.0, 4));
  EXPECT_EQ(e->accentSample.length, 500);
  EXPECT_EQ(e->accentSample.numChannels, 1u);
  EXPECT_EQ(e->accentSample.position, 0);
  EXPECT_FLOAT_EQ(e->accentSample.pBuffer.load()[3], accent.samples[3] / 32768.0f);

  // The forced rebuild: one 2 s measure of 4 beats built from the two samples.
  ASSERT_TRUE(Audio_WaitForSwap(e->metronomeTrack));
  const LoopTrack& clicks = Track(e->metronomeTrack);
  ASSERT_EQ(clicks.length, 96000);
  EXPECT_FLOAT_EQ(clicks.pBuffer.load()[3], accent.samples[3] / 32768.0f);
  EXPECT_FLOAT_EQ(clicks.pBuffer.load()[24000 + 3], 1000 / 32768.0f);
  EXPECT_EQ(clicks.pBuffer.load()[24000 + 300], 0.0f);

  const float* kept = e->accentSample.pBuffer;
  EXPECT_FALSE(Audio_LoadClickSample(ClickAccent, Path("missing.wav").c_str(), 2.0, 4));
  EXPECT_TRUE(messages.shown.empty());
  WavSpec eight = accent;
  eight.bits = 8;
  const std::string bad = Write("bad.wav", eight);
  EXPECT_FALSE(Audio_LoadClickSample(ClickAccent, bad.c_str(), 2.0, 4));
  EXPECT_TRUE(messages.Saw("8 bit format not supported", "Error"));
  EXPECT_EQ(e->accentSample.pBuffer.load(), kept);
}

}  // namespace
