// Loop files: save/load round trips, the written layout, refused formats, untrusted
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

WavLayout Layout(uint16_t channels, size_t frames) {
  WavLayout layout;
  layout.channels = channels;
  layout.samples = Ramp(channels * frames);
  return layout;
}

class LoopFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Audio_Init());
    static int serial = 0;
    dir = fs::temp_directory_path() /
          ("kestrine-loops-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fs::create_directories(dir);
    track = Audio_CreateLoop(1.0, 0.9, 2, 0);  // 48000 frames
    ASSERT_GE(track, 1);
  }
  void TearDown() override {
    Audio_Shutdown();
    fs::remove_all(dir);
  }

  std::string Path(const std::string& name) const { return (dir / name).string(); }
  std::string Write(const std::string& name, const WavLayout& layout) {
    EXPECT_TRUE(WriteBytes(Path(name), WavBytes(layout)));
    return Path(name);
  }
  std::string Load(const std::string& path, int slot = -2) {
    return Audio_LoadLoop(slot == -2 ? track : slot, path.c_str(), 0, false, false, false);
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

// The test's own WAV builder writes the canonical 44-byte layout: saved files must match it.
TEST_F(LoopFiles, SavedFilesHaveTheCanonicalLayoutAndSixChannelsSurvive) {
  const std::string silent = Path("silent.wav");
  ASSERT_EQ(Audio_SaveLoop(track, silent.c_str(), false), silent);
  WavLayout stereo;
  stereo.samples.assign(2 * 48000, 0);
  EXPECT_EQ(ReadBytes(silent), WavBytes(stereo));

  const WavLayout six = Layout(6, 1000);
  const std::string in = Write("six.wav", six);
  ASSERT_EQ(Load(in), in);
  EXPECT_EQ(Track(track).numChannels, 6u);
  EXPECT_EQ(Track(track).length, 1000);
  EXPECT_FLOAT_EQ(Track(track).pBuffer.load()[1], six.samples[1] / 32768.0f);
  const std::string out = Path("six-saved.wav");
  ASSERT_EQ(Audio_SaveLoop(track, out.c_str(), false), out);
  EXPECT_EQ(ReadBytes(out), ReadBytes(in));

  const std::string empty = Write("empty.wav", WavLayout{});  // zero frames load and save too
  ASSERT_EQ(Load(empty), empty);
  EXPECT_EQ(Track(track).length, 0);
  ASSERT_EQ(Audio_SaveLoop(track, out.c_str(), false), out);
  EXPECT_EQ(ReadBytes(out).size(), 44u);
}

TEST_F(LoopFiles, SamplesAtOrBeyondFullScaleSaturate) {
  const float in[] = {1.0f, -1.0f, 1.5f, -2.0f, 0.99999f, -0.5f, 1e30f, std::numeric_limits<float>::quiet_NaN()};
  const int16_t expected[] = {32767, -32768, 32767, -32768, 32767, -16384, 32767, 0};
  std::copy(std::begin(in), std::end(in), Track(track).pBuffer.load());
  const std::string path = Path("clip.wav");
  ASSERT_FALSE(Audio_SaveLoop(track, path.c_str(), false).empty());
  const std::vector<uint8_t> b = ReadBytes(path);
  for (size_t i = 0; i < std::size(expected); ++i)
    EXPECT_EQ(static_cast<int16_t>(GetU16(b, 44 + 2 * i)), expected[i]) << "sample " << i;
}

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Field recorders put JUNK and bext chunks before the format chunk; odd sizes are padded.
TEST_F(LoopFiles, ChunksAroundTheFormatChunkAreSkippedIncludingOddSizedOnes) {
  const std::vector<uint8_t> junk = Chunk("JUNK", std::vector<uint8_t>(28, 0));
  const std::vector<uint8_t> bext = Chunk("bext", std::vector<uint8_t>(603, 'b'));
  const std::vector<uint8_t> list = Chunk("LIST", std::vector<uint8_t>(27, 'x'));
  const struct {
    const char* name;
    std::vector<uint8_t> first;
    uint32_t formatSize;
    std::vector<uint8_t> beforeData;
  } cases[] = {
      {"list-and-fact-before-data", {}, 18, Join(list, Chunk("fact", {1, 0, 0, 0}))},
      {"junk-before-format", junk, 16, {}},
      {"junk-and-odd-bext-before-format", Join(junk, bext), 16, list},
      {"odd-format-chunk-after-bext", bext, 17, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WavLayout layout = Layout(2, 300);
    layout.chunksFirst = c.first;
    layout.formatSize = c.formatSize;
    layout.chunksBefore = c.beforeData;
    const std::string path = Write(std::string(c.name) + ".wav", layout);
    ASSERT_EQ(Load(path), path);
    EXPECT_EQ(Track(track).numChannels, 2u);
    EXPECT_EQ(Track(track).length, 300);
    EXPECT_FLOAT_EQ(Track(track).pBuffer.load()[599], layout.samples[599] / 32768.0f);
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LoopFiles, APartLastFrameIsDroppedSoTheBufferHoldsWholeFrames) {
  const struct { uint16_t channels; size_t samples; int64_t dataSize; int32_t frames; } cases[] = {
      {2, 5, -1, 2}, {6, 13, -1, 2}, {1, 4, 7, 3}};  // an odd data size: half a sample
  for (const auto& c : cases) {
    WavLayout layout = Layout(c.channels, 0);
    layout.samples = Ramp(c.samples);
    layout.dataSizeField = c.dataSize;
    const std::string path = Write("part" + std::to_string(c.channels) + ".wav", layout);
    ASSERT_EQ(Load(path), path);
    EXPECT_EQ(Track(track).length, c.frames) << c.channels;
    EXPECT_EQ(Track(track).bufferSize, static_cast<uint32_t>(c.frames * c.channels * 4)) << c.channels;
  }
}

struct BrokenFile {
  const char* name;
  std::vector<uint8_t> bytes;
  const char* text;
  const char* caption = "Audio_LoadLoop()";
};

std::vector<BrokenFile> BrokenFiles() {
  const WavLayout good = Layout(2, 32);
  auto with = [&](auto change) {
    WavLayout s = good;
    change(s);
    return WavBytes(s);
  };
  auto patched = [&](size_t at, uint32_t value, size_t size = 0) {
    std::vector<uint8_t> b = WavBytes(good);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
    if (size) b.resize(size);
    return b;
  };
  std::vector<uint8_t> cutChunkHeader = with([](WavLayout& s) { s.chunksBefore = Chunk("LIST", {1, 2}); });
  cutChunkHeader.resize(36 + 10 + 3);
  // A 30-byte JUNK chunk stating `junkSize`, first in a file cut at `cutAt` (0: whole).
  auto junkFirst = [&](uint32_t junkSize, size_t cutAt) {
    WavLayout s = good;
    s.chunksFirst = Chunk("JUNK", std::vector<uint8_t>(30, 0));
    for (int i = 0; i < 4; ++i) s.chunksFirst[4 + i] = static_cast<uint8_t>(junkSize >> (8 * i));
    std::vector<uint8_t> b = WavBytes(s);
    if (cutAt) b.resize(cutAt);
    return b;
  };
  return {
      {"cut-header", patched(0, 0x46464952, 20), "header read failed"},
      {"not-riff", patched(0, 0x58464952), "Not a wave file"},
      {"not-wave", patched(8, 0x58564157), "Not a wave file"},
      {"8-bit", with([](WavLayout& s) { s.bits = 8; }), "8 bit format not supported", "Error"},
      {"24-bit", with([](WavLayout& s) { s.bits = 24; }), "24 bit format not supported", "Error"},
      {"compressed", with([](WavLayout& s) { s.formatTag = 3; }), "Compressed wav format not supported", "Error"},
      {"zero-channels", with([](WavLayout& s) { s.channels = 0; }), "Not a wave file"},
      {"negative-channels", with([](WavLayout& s) { s.channels = 0xFFFF; }), "Not a wave file"},
      {"short-format-chunk", patched(16, 10), "header seek failed"},
      {"huge-format-chunk", patched(16, 0xFFFFFFF0u), "header seek failed"},
      {"ends-after-format", patched(0, 0x46464952, 36), "data header read failed"},
      {"huge-chunk-before-format", junkFirst(0xFFFFFFFFu, 0), "header read failed"},
      {"chunk-before-format-past-end", junkFirst(200, 0), "header read failed"},
      {"no-format-chunk", junkFirst(30, 12 + 38), "header read failed"},
      {"format-cut-after-chunk-before-it", junkFirst(30, 12 + 38 + 8 + 12), "header read failed"},
      {"huge-chunk", with([](WavLayout& s) {
         s.chunksBefore = Chunk("LIST", {1, 2});
         s.chunksBefore[4] = s.chunksBefore[5] = s.chunksBefore[6] = s.chunksBefore[7] = 0xFF;
       }),
       "Unable to find data chunk in wav file, or file seek failed."},
      {"cut-chunk-header", cutChunkHeader, "Wave chunk read failed."},
      {"data-beyond-file", with([](WavLayout& s) { s.dataSizeField = 0x7FFFFFFF; }), "data read failed"},
      {"data-one-past-file", with([](WavLayout& s) { s.dataSizeField = 129; }), "data read failed"},
      {"negative-data-size", with([](WavLayout& s) { s.dataSizeField = 0x80000000u; }), "data header read failed"},
      {"all-ones-data-size", with([](WavLayout& s) { s.dataSizeField = 0xFFFFFFFFu; }), "data header read failed"},
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
    EXPECT_TRUE(Load(path).empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, file.text);
    EXPECT_EQ(messages.shown[0].caption, file.caption);
    EXPECT_EQ(Track(track).pBuffer.load(), before);
    EXPECT_EQ(Track(track).length, 48000);
    EXPECT_EQ(Track(track).pNewBuffer.load(), nullptr);
  }
  if (corpus) {
    WriteBytes((fs::path(corpus) / "good-mono").string(), WavBytes(Layout(1, 100)));
    WavLayout listed = Layout(2, 20);
    listed.chunksBefore = Chunk("LIST", std::vector<uint8_t>(5, 'a'));
    WriteBytes((fs::path(corpus) / "good-list").string(), WavBytes(listed));
  }
}

TEST_F(LoopFiles, UserPickedFileIsConfirmedAndADifferentRateIsAskedAbout) {
  WavLayout layout = Layout(2, 22050);
  layout.sampleRate = 44100;
  const std::string path = Write("rate.wav", layout);
  files.answers = {path};
  messages.answers = {IDNO};
  EXPECT_TRUE(Audio_LoadLoop(track, nullptr, 0, true, true, false).empty());
  ASSERT_EQ(files.shown.size(), 1u);
  EXPECT_EQ(files.shown[0].filters[0].pattern, "*.wav");
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
  EXPECT_EQ(Audio_LoadLoop(track, path.c_str(), 0, true, false, false), path);
  EXPECT_EQ(Track(track).length, 22050);
  EXPECT_EQ(Audio_GetLastLoopPath(), path);
}

TEST_F(LoopFiles, MissingFileIsLocatedOnlyWhenAsked) {
  const std::string moved = Write("moved.wav", Layout(2, 100));
  const std::string missing = Path("gone/loop.wav");
  EXPECT_TRUE(Load(missing).empty());
  EXPECT_TRUE(files.shown.empty());

  files.answers = {moved};
  EXPECT_EQ(Audio_LoadLoop(track, missing.c_str(), 0, true, false, true), moved);
  ASSERT_EQ(files.shown.size(), 1u);
  EXPECT_EQ(files.shown[0].title, "Please locate file loop.wav");
  EXPECT_EQ(Track(track).length, 100);
  EXPECT_TRUE(Audio_LoadLoop(track, missing.c_str(), 0, false, false, true).empty());  // cancelled
  EXPECT_TRUE(messages.shown.empty());  // a located file is not confirmed, a cancel not reported

  files.answers = {missing};
  EXPECT_TRUE(Audio_LoadLoop(track, nullptr, 0, false, false, true).empty());
  EXPECT_TRUE(messages.Saw("Could not open file " + missing, "Error"));
}

TEST_F(LoopFiles, LoadRefusesBadSlotsAndReportsShortMemory) {
  const std::string path = Write("ok.wav", Layout(2, 100));
  for (int slot : {-1, 9, 7}) EXPECT_TRUE(Load(path, slot).empty()) << slot;  // 7: no loop there
  EXPECT_TRUE(messages.shown.empty());
  Audio_FailNextAllocations(1);
  EXPECT_TRUE(Load(path).empty());
  EXPECT_TRUE(messages.Saw("Insufficient Memory!", "Audio_LoadLoop()"));
  EXPECT_EQ(Track(track).length, 48000);
}

TEST_F(LoopFiles, SaveAsksBeforeOverwritingAndReportsWhatIsMissing) {
  const std::string path = Path("exists.wav");
  ASSERT_TRUE(WriteBytes(path, {1, 2, 3}));
  files.answers = {path, path};
  messages.answers = {IDNO};
  EXPECT_TRUE(Audio_SaveLoop(track, nullptr, true).empty());
  EXPECT_TRUE(files.shown[0].save);
  EXPECT_TRUE(messages.Saw(path + "\nThis file exists, overwrite?", "Overwrite File?"));
  EXPECT_EQ(ReadBytes(path).size(), 3u);
  EXPECT_EQ(Audio_SaveLoop(track, nullptr, true), path);  // Yes
  EXPECT_EQ(ReadBytes(path).size(), 192044u);
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::others_read, fs::perms::others_read)
      << "a saved loop is as readable as any new file";

  Audio_DeleteLoop(track);
  messages.shown.clear();
  EXPECT_TRUE(Audio_SaveLoop(track, path.c_str(), false).empty());
  EXPECT_TRUE(messages.shown.empty());  // quietly, unless asked
  EXPECT_TRUE(Audio_SaveLoop(track, path.c_str(), true).empty());
  EXPECT_TRUE(messages.Saw("No loop to save", "Error"));
  const std::string nowhere = Path("no-such-folder/x.wav");
  EXPECT_TRUE(Audio_SaveLoop(Audio_CreateLoop(0.1, 0.9, 1, 0), nowhere.c_str(), true).empty());
  EXPECT_TRUE(messages.Saw("Could not open file " + nowhere, "Error"));
}

TEST_F(LoopFiles, SaveThatFailsPartWayLeavesThePreviousFileIntact) {
  const std::string path = Path("keep.wav");
  ASSERT_TRUE(WriteBytes(path, {'o', 'l', 'd'}));
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
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
      << "no temporary file is left behind";
}

// A save replaces the file the user sees: through a link, keeping its permissions, and
// never one marked read-only.
TEST_F(LoopFiles, SaveGoesThroughLinksKeepsPermissionsAndRefusesReadOnlyFiles) {
  fs::create_directory(dir / "real");
  const std::string real = Path("real/loop.wav"), link = Path("link.wav");
  ASSERT_TRUE(WriteBytes(real, {1, 2, 3}));
  fs::permissions(real, fs::perms(0640));
  fs::create_symlink("real/loop.wav", link);
  fs::create_symlink("real/new.wav", Path("dangling.wav"));

  EXPECT_EQ(Audio_SaveLoop(track, link.c_str(), false), link);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadBytes(real).size(), 192044u);
  EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));
  const std::string dangling = Path("dangling.wav");
  EXPECT_EQ(Audio_SaveLoop(track, dangling.c_str(), false), dangling);  // creates what it names
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_EQ(ReadBytes(Path("real/new.wav")).size(), 192044u);

  ASSERT_TRUE(WriteBytes(real, {1, 2, 3}));
  fs::permissions(real, fs::perms(0444));
  for (const std::string& path : {real, link}) {
    EXPECT_TRUE(Audio_SaveLoop(track, path.c_str(), true).empty()) << path;
    EXPECT_TRUE(messages.Saw("Could not open file " + path, "Error")) << path;
  }
  EXPECT_TRUE(Audio_SaveLoop(track, real.c_str(), false).empty());
  EXPECT_EQ(ReadBytes(real), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(fs::status(real).permissions(), fs::perms(0444));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 2)
      << "no temporary file is left behind";
}

TEST_F(LoopFiles, ClickSamplesAreTakenOverAtOnceAndRebuildTheClickLoop) {
  AudioEngine* e = Audio_GetEngine();
  WavLayout beat = Layout(1, 0);
  beat.samples.assign(300, 1000);
  const WavLayout accent = Layout(1, 500);
  ASSERT_TRUE(Audio_LoadClickSample(ClickBeat, Write("beat.wav", beat).c_str(), 2.0, 4));
  e->accentSample.position = 42;
  ASSERT_TRUE(Audio_LoadClickSample(ClickAccent, Write("accent.wav", accent).c_str(), 2.0, 4));
  EXPECT_EQ(e->accentSample.length, 500);
  EXPECT_EQ(e->accentSample.position, 0);

  // The forced rebuild: one 2 s measure of 4 beats built from the two samples.
  ASSERT_TRUE(Audio_WaitForSwap(e->metronomeTrack));
  const LoopTrack& clicks = Track(e->metronomeTrack);
  ASSERT_EQ(clicks.length, 96000);
  EXPECT_FLOAT_EQ(clicks.pBuffer.load()[3], accent.samples[3] / 32768.0f);
  EXPECT_FLOAT_EQ(clicks.pBuffer.load()[24000 + 3], 1000 / 32768.0f);
  EXPECT_EQ(clicks.pBuffer.load()[24000 + 300], 0.0f);

  const float* kept = e->accentSample.pBuffer;  // a refused file keeps the old sample
  WavLayout eight = accent;
  eight.bits = 8;
  EXPECT_FALSE(Audio_LoadClickSample(ClickAccent, Write("bad.wav", eight).c_str(), 2.0, 4));
  EXPECT_TRUE(messages.Saw("8 bit format not supported", "Error"));
  EXPECT_EQ(e->accentSample.pBuffer.load(), kept);
}

}  // namespace
