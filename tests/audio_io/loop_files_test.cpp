// Loop files: layout and round trips, refused and lying headers, the questions a load
// asks, saves that must not replace or lose a file, click samples.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <limits>
#include <tuple>

#include "audio_io/file_dialog.h"
#include "audio_io/loop_files.h"
#include "audio_io/wav_bytes.h"
#include "engine/audio.h"
#include "engine/buffers.h"
#include "support/scripted_dialog.h"

namespace fs = std::filesystem;

namespace {

// Records every file dialog and answers from a script (cancel when the script runs out).
struct ScriptedFileDialog : FileDialog {
  struct Shown { bool save; std::vector<FileFilter> filters; };
  ScriptedFileDialog() { FileDialog_Install(this); }
  ~ScriptedFileDialog() override { FileDialog_Install(nullptr); }
  std::string Open(void*, const std::string&, const std::vector<FileFilter>& f) override { return Answer(false, f); }
  std::string Save(void*, const std::string&, const std::vector<FileFilter>& f) override { return Answer(true, f); }
  std::string Answer(bool save, const std::vector<FileFilter>& filters) {
    shown.push_back({save, filters});
    const std::string answer = answers.empty() ? "" : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
  }
  std::deque<std::string> answers;
  std::vector<Shown> shown;
};

// `frames` frames of full-range, distinct samples.
WavLayout Layout(uint16_t channels, size_t frames) {
  WavLayout layout;
  layout.channels = channels;
  for (size_t i = 0; i < channels * frames; ++i) layout.samples.push_back(static_cast<int16_t>(i * 7919));
  return layout;
}

class LoopFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Audio_Init());
    static int serial = 0;
    dir = fs::temp_directory_path() / ("kestrine-loops-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fs::create_directories(dir);
    track = Audio_CreateLoop(1.0, 0.9, 2, 0);  // 48000 frames
  }
  void TearDown() override { Audio_Shutdown(), fs::remove_all(dir); }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  std::string Write(const std::string& name, const WavLayout& layout) {
    EXPECT_TRUE(WriteBytes(Path(name), WavBytes(layout)));
    return Path(name);
  }
  std::string Load(const std::string& path, int slot = -2) { return Audio_LoadLoop(slot == -2 ? track : slot, path.c_str(), 0, false, false, false); }
  std::string Save(const std::string& path, bool interactive = false) { return Audio_SaveLoop(track, path.c_str(), interactive); }
  LoopTrack& Track(int i) { return Audio_GetEngine()->tracks[i]; }

  ScriptedDialog messages;
  ScriptedFileDialog files;
  fs::path dir;
  int track = -1;
};

// Saves write the canonical 44-byte layout, saturating beyond full scale. Loads skip other chunks (field
// recorders put JUNK and bext before the format chunk; odd sizes are padded) and drop a part last frame.
TEST_F(LoopFiles, SavesTheCanonicalLayoutAndLoadsPastOtherChunksKeepingWholeFrames) {
  const float in[] = {1.0f, -1.0f, 1.5f, -2.0f, 0.99999f, -0.5f, 1e30f, std::numeric_limits<float>::quiet_NaN()};
  std::copy(std::begin(in), std::end(in), Track(track).pBuffer.load());
  WavLayout expected;
  expected.samples = {32767, -32768, 32767, -32768, 32767, -16384, 32767, 0};  // NaN: silence
  expected.samples.resize(2 * 48000);
  const std::string out = Path("out.wav");
  ASSERT_EQ(Save(out), out);
  EXPECT_EQ(ReadByteVector(out), WavBytes(expected));

  const std::vector<uint8_t> junk = Chunk("JUNK", std::vector<uint8_t>(28, 0)), bext = Chunk("bext", std::vector<uint8_t>(603, 'b'));
  const std::vector<uint8_t> list = Chunk("LIST", std::vector<uint8_t>(27, 'x'));
  auto with = [](uint16_t channels, size_t samples, std::vector<uint8_t> first = {}, uint32_t formatSize = 16,
                 std::vector<uint8_t> beforeData = {}, int64_t dataSize = -1) {
    WavLayout s = Layout(channels, 0);
    s.samples = Layout(1, samples).samples;
    s.chunksFirst = first, s.formatSize = formatSize, s.chunksBefore = beforeData, s.dataSizeField = dataSize;
    return s;
  };
  const struct { const char* name; WavLayout layout; int32_t frames; } cases[] = {
      {"mono", with(1, 1000), 1000}, {"six-channel", with(6, 6000), 1000},
      {"list-and-fact-before-data", with(2, 600, {}, 18, Join(list, Chunk("fact", {1, 0, 0, 0}))), 300},
      {"junk-before-format", with(2, 600, junk), 300},
      {"junk-and-odd-bext-before-format", with(2, 600, Join(junk, bext), 16, list), 300},
      {"odd-format-chunk-after-bext", with(2, 600, bext, 17), 300},
      {"stereo-part-frame", with(2, 5), 2}, {"six-channel-part-frame", with(6, 13), 2},
      {"odd-data-size", with(1, 4, {}, 16, {}, 7), 3},  // half a sample
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write("in.wav", c.layout);
    ASSERT_EQ(Audio_LoadLoop(track, path.c_str(), 1, false, false, false), path);  // flag byte 1: resync
    const LoopTrack& t = Track(track);
    const uint32_t channels = c.layout.channels;
    EXPECT_EQ(std::tuple(t.numChannels, t.length, t.bufferSize, t.resync), std::tuple(channels, c.frames, c.frames * channels * 4, 1));
    ASSERT_EQ(Save(out), out);
    EXPECT_EQ(ReadByteVector(out), WavBytes(with(channels, c.frames * channels)));
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LoopFiles, BrokenAndLyingFilesAreRefusedWithTheirMessageAndLeaveTheTrackAlone) {
  const WavLayout good = Layout(2, 32);
  auto with = [&](auto change) { WavLayout s = good; return change(s), WavBytes(s); };
  // The bytes with the 32-bit value at `at` replaced, cut to `size` bytes (0: whole).
  auto patched = [](std::vector<uint8_t> b, size_t at, uint32_t value, size_t size = 0) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
    return b.resize(size ? size : b.size()), b;
  };
  const std::vector<uint8_t> bytes = WavBytes(good);
  const std::vector<uint8_t> junkFirst = with([](WavLayout& s) { s.chunksFirst = Chunk("JUNK", std::vector<uint8_t>(30, 0)); });
  const std::vector<uint8_t> listed = with([](WavLayout& s) { s.chunksBefore = Chunk("LIST", {1, 2}); });
  const struct { const char* name; std::vector<uint8_t> bytes; const char *text, *caption = "Audio_LoadLoop()"; } cases[] = {
      {"cut-header", patched(bytes, 0, 0x46464952, 20), "header read failed"},
      {"not-audio", std::vector<uint8_t>(64, 'x'), "Not a wave file"},
      {"big-endian-riff-of-little-endian-fields", patched(bytes, 0, 0x58464952), "header read failed"},
      {"not-wave", patched(bytes, 8, 0x58564157), "Not a wave file"},
      {"zero-channels", with([](WavLayout& s) { s.channels = 0; }), "header read failed"},
      {"short-format-chunk", patched(bytes, 16, 10), "header seek failed"},
      {"huge-format-chunk", patched(bytes, 16, 0xFFFFFFF0u), "header seek failed"},
      {"ends-after-format", patched(bytes, 0, 0x46464952, 36), "data header read failed"},
      // A 30-byte JUNK chunk first whose size lies, or a file cut inside or after it.
      {"huge-chunk-before-format", patched(junkFirst, 16, 0xFFFFFFFFu), "header read failed"},
      {"chunk-before-format-past-end", patched(junkFirst, 16, 200), "header read failed"},
      {"no-format-chunk", patched(junkFirst, 16, 30, 12 + 38), "header read failed"},
      {"format-cut-after-chunk-before-it", patched(junkFirst, 16, 30, 12 + 38 + 8 + 12), "header read failed"},
      {"huge-chunk", patched(listed, 40, 0xFFFFFFFFu), "Unable to find data chunk in wav file, or file seek failed."},
      {"cut-chunk-header", patched(listed, 0, 0x46464952, 36 + 10 + 3), "Wave chunk read failed."},
      {"data-one-past-file", with([](WavLayout& s) { s.dataSizeField = 129; }), "data read failed"},
      {"negative-data-size", with([](WavLayout& s) { s.dataSizeField = 0x80000000u; }), "data header read failed"},
      {"cut-inside-data", with([](WavLayout& s) { s.dataSizeField = 128; s.samples.resize(40); }), "data read failed"},
      {"no-audio", with([](WavLayout& s) { s.samples.clear(); }), "The wav file holds no audio."},
      {"less-than-a-frame", with([](WavLayout& s) { s.channels = 6, s.samples.resize(5); }), "The wav file holds no audio."},
  };
  const float* before = Track(track).pBuffer;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteBytes(Path("broken.wav"), c.bytes));
    messages.shown.clear();
    EXPECT_TRUE(Load(Path("broken.wav")).empty());
    EXPECT_EQ(messages.shown.size(), 1u);
    // A broken file is named, with what is wrong with it, after the text (ours or
    // libsndfile's reason); only a file that is no audio at all is refused in one line.
    const std::string explained = std::string(c.text) + "\n" + Path("broken.wav") + "\n";
    const bool oneLine = std::string(c.text) == "Not a wave file" || std::string(c.text).starts_with("The wav file");
    EXPECT_TRUE(oneLine ? messages.Saw(c.text, c.caption)
                        : messages.shown.size() == 1 && messages.shown[0].text.starts_with(explained) &&
                              messages.shown[0].text.size() > explained.size() && messages.shown[0].caption == c.caption)
        << (messages.shown.empty() ? "" : messages.shown[0].text);
    EXPECT_TRUE(Track(track).pBuffer.load() == before && Track(track).length == 48000 && !Track(track).pNewBuffer.load());
  }
}

TEST_F(LoopFiles, LoadAsksWhatItShouldAndRefusesBadSlots) {
  WavLayout layout = Layout(2, 22050);
  layout.sampleRate = 44100;
  const std::string path = Write("rate.wav", layout);
  files.answers = {path};
  messages.answers = {IDNO};
  EXPECT_TRUE(Audio_LoadLoop(track, nullptr, 0, true, true, false).empty());  // a picked file is confirmed
  EXPECT_EQ(files.shown.at(0).filters[0].pattern, "*.wav *.aif *.aiff *.flac *.ogg");
  EXPECT_TRUE(messages.Saw("File: " + path + "\n44100 Hz, 16 Bit, 2 Channel, 0.50 Seconds\nLoad this file?\n"
                           "(This will erase the current loop.)", "Load File?"));
  messages.answers = {IDNO};  // a given path is not confirmed; the rate question can still refuse
  EXPECT_TRUE(Audio_LoadLoop(track, path.c_str(), 0, true, true, false).empty());
  EXPECT_TRUE(messages.shown.size() == 2 && Track(track).length == 48000);
  EXPECT_TRUE(messages.Saw("Sample rate of load file differs from current device setting.  Continue?", "Sample Rate Differs"));
  // Without the question it loads as it is, not resampled.
  EXPECT_EQ(Audio_LoadLoop(track, path.c_str(), 0, true, false, false), path);
  EXPECT_TRUE(Track(track).length == 22050 && Audio_GetLastLoopPath() == path);
  files.answers = {Path("missing.wav")};
  EXPECT_TRUE(Audio_LoadLoop(track, nullptr, 0, false, false, true).empty());
  EXPECT_TRUE(messages.Saw("Could not open file " + Path("missing.wav"), "Error"));
  for (int slot : {-1, 9, 7}) EXPECT_TRUE(Load(path, slot).empty()) << slot;  // 7: no loop there
  Audio_FailNextAllocations(1);
  EXPECT_TRUE(Load(path).empty() && messages.Saw("Insufficient Memory!", "Audio_LoadLoop()"));
  EXPECT_EQ(messages.shown.size(), 4u);
}

// A save replaces the file the user sees: after asking, through a link, keeping its
// permissions, never one marked read-only, and never half written.
TEST_F(LoopFiles, SaveReplacesOnlyWhatItMayAndLeavesNoHalfWrittenFile) {
  fs::create_directory(dir / "real");
  const std::string real = Path("real/loop.wav"), link = Path("link.wav"), dangling = Path("dangling.wav");
  ASSERT_TRUE(WriteBytes(real, {1, 2, 3}));
  fs::permissions(real, fs::perms(0640));
  fs::create_symlink("real/loop.wav", link);
  fs::create_symlink("real/new.wav", dangling);
  files.answers = {link, link};
  messages.answers = {IDNO};
  EXPECT_TRUE(Audio_SaveLoop(track, nullptr, true).empty() && files.shown.at(0).save);
  EXPECT_TRUE(messages.Saw(link + "\nThis file exists, overwrite?", "Overwrite File?"));
  EXPECT_EQ(ReadByteVector(real).size(), 3u);
  EXPECT_EQ(Audio_SaveLoop(track, nullptr, true), link);  // Yes
  EXPECT_TRUE(fs::is_symlink(link) && ReadByteVector(real).size() == 192044u && fs::status(real).permissions() == fs::perms(0640));
  EXPECT_EQ(Save(dangling), dangling);  // creates what it names, as readable as any new file
  EXPECT_TRUE(fs::is_symlink(dangling) && (fs::status(dangling).permissions() & fs::perms::others_read) != fs::perms::none);

  ASSERT_TRUE(WriteBytes(real, {1, 2, 3}));
  std::string result = "not run";  // the write fails after 64 KiB, as on a full disk
  WithFileSizeLimit(65536, [&] { result = Save(real, true); });
  // The message names the file and the system's reason on a line of its own.
  EXPECT_TRUE(result.empty() &&
              messages.Saw("file data write failed\n" + real + ": " + std::strerror(EFBIG), "Audio_SaveLoop()"));
  fs::permissions(real, fs::perms(0444));
  for (const std::string& path : {real, link})
    EXPECT_TRUE(Save(path, true).empty() &&
                messages.Saw("Could not open file " + path + "\n" + path + ": " + std::strerror(EACCES), "Error"))
        << path;
  const std::string folderInstead = Path("real");  // a folder where the file should be
  EXPECT_TRUE(Save(folderInstead, true).empty() &&
              messages.Saw("Could not open file " + folderInstead + "\n" + folderInstead + ": " + std::strerror(EISDIR),
                           "Error"));
  EXPECT_TRUE(ReadByteVector(real) == (std::vector<uint8_t>{1, 2, 3}) && fs::status(real).permissions() == fs::perms(0444));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 2)
      << "no temporary file is left behind";

  Audio_DeleteLoop(track);
  messages.shown.clear();
  EXPECT_TRUE(Save(real).empty() && messages.shown.empty());  // quietly, unless asked
  EXPECT_TRUE(Save(real, true).empty() && messages.Saw("No loop to save", "Error"));
}

// A click sample rebuilds the click loop at once; a file of more than two channels is refused.
TEST_F(LoopFiles, ClickSamplesRebuildTheClickLoopAndOnlyMonoOrStereoIsTaken) {
  AudioEngine* e = Audio_GetEngine();
  const WavLayout accent = Layout(1, 500);
  ASSERT_TRUE(Audio_LoadClickSample(ClickBeat, Write("beat.wav", Layout(2, 300)).c_str(), 2.0, 4));
  ASSERT_TRUE(Audio_LoadClickSample(ClickAccent, Write("accent.wav", accent).c_str(), 2.0, 4));
  ASSERT_TRUE(Audio_WaitForSwap(e->metronomeTrack));  // the click loop begins with the accent
  EXPECT_FLOAT_EQ(Track(e->metronomeTrack).pBuffer.load()[499], accent.samples[499] / 32768.0f);
  const float* kept = e->accentSample.pBuffer;
  const std::string quad = Write("quad.wav", Layout(4, 200));
  EXPECT_FALSE(Audio_LoadClickSample(ClickAccent, quad.c_str(), 2.0, 4));
  EXPECT_TRUE(messages.Saw("Click samples must be mono or stereo:\n" + quad + " has 4 channels.",
                           "Audio_LoadClickSample()"));
  EXPECT_EQ(e->accentSample.pBuffer.load(), kept);
}

}  // namespace

namespace {

// Waits for a reader started by Audio_StartLoopRead (a test has nothing else to do).
void WaitUntilRead(const LoopFileRead& read) {
  for (int i = 0; i < 10000 && !read.Done(); ++i) ::usleep(1000);
  ASSERT_TRUE(read.Done());
}

}  // namespace

// A read off the thread: the questions and the header's messages come at the start, the
// reader shows nothing and touches no track, and only Finish, back on the caller's
// thread, reports a failure or hands the buffer over; a cancelled read says nothing.
TEST_F(LoopFiles, AReadOffTheThreadReportsAndHandsOverOnlyWhenFinished) {
  const float* before = Track(track).pBuffer;
  const std::string good = Write("good.wav", Layout(2, 24000));
  std::atomic<int> woken{0};
  std::unique_ptr<LoopFileRead> read =
      Audio_StartLoopRead(track, good.c_str(), 0, false, false, false, [&] { ++woken; });
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Path(), good);
  WaitUntilRead(*read);
  EXPECT_EQ(woken.load(), 1);
  EXPECT_TRUE(Track(track).pBuffer.load() == before && !Track(track).pNewBuffer.load());
  EXPECT_EQ(read->Finish(), good);
  EXPECT_EQ(Track(track).length, 24000);
  EXPECT_EQ(Audio_GetLastLoopPath(), good);

  // Cut inside its data after its header was read (while the load asked whether to load
  // the file the user chose): the read begins, and the failure is said once, by Finish,
  // with the file's name.
  struct CuttingDialog : ScriptedDialog {
    int Show(void* owner, const std::string& text, const std::string& caption, int kind,
             const std::string& checkBox, MessageCheckAction action) override {
      if (caption == "Load File?") {
        EXPECT_EQ(::truncate(path.c_str(), 44 + 1000 * 2), 0);
      }
      return ScriptedDialog::Show(owner, text, caption, kind, checkBox, action);
    }
    std::string path;
  } cutting;
  cutting.path = Write("cut.wav", Layout(2, 24000));
  before = Track(track).pBuffer;
  files.answers = {cutting.path};
  read = Audio_StartLoopRead(track, "", 0, true, false, false, nullptr);
  ASSERT_TRUE(read);
  WaitUntilRead(*read);
  ASSERT_EQ(cutting.shown.size(), 1u);  // the question only
  EXPECT_TRUE(read->Finish().empty());
  ASSERT_EQ(cutting.shown.size(), 2u);
  EXPECT_TRUE(cutting.shown[1].text.starts_with("data read failed\n" + cutting.path + "\n")) << cutting.shown[1].text;
  EXPECT_TRUE(Track(track).pBuffer.load() == before && Track(track).length == 24000);
  MessageDialog_Install(&messages);

  // Cancelled, finished or not: nothing said, the track as it was, the buffer freed.
  messages.shown.clear();
  read = Audio_StartLoopRead(track, good.c_str(), 0, false, false, false, nullptr);
  read->Cancel();
  EXPECT_TRUE(read->Finish().empty());
  read = Audio_StartLoopRead(track, good.c_str(), 0, false, false, false, nullptr);
  read.reset();  // dropped unfinished (the program closing)
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(Track(track).pBuffer.load() == before);

  // A file that cannot be opened is told apart from one refused for what it holds.
  bool notOpened = false;
  EXPECT_FALSE(Audio_StartLoopRead(track, Path("gone.wav").c_str(), 0, false, false, false, nullptr, &notOpened));
  EXPECT_TRUE(notOpened);
  ASSERT_TRUE(WriteBytes(Path("junk.wav"), std::vector<uint8_t>(20, 'R')));
  EXPECT_FALSE(Audio_StartLoopRead(track, Path("junk.wav").c_str(), 0, false, false, false, nullptr, &notOpened));
  EXPECT_FALSE(notOpened);
}
