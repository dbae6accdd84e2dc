// Loops from other programs: every sample format and kind of file the loader reads,
// written here by libsndfile and read back by the loader; damaged and oversized files;
// conversion to the stream's rate; saving as 24-bit PCM or float.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <vector>

#include "audio_io/file_dialog.h"
#include "audio_io/loop_files.h"
#include "audio_io/wav_bytes.h"
#include "engine/audio.h"
#include "engine/buffers.h"
#include "support/scripted_dialog.h"

namespace fs = std::filesystem;

namespace {

// A test signal: two sines per channel, a few samples pushed exactly to full scale and
// the negative limit, so rounding at both ends is seen.
std::vector<float> Signal(int channels, size_t frames) {
  std::vector<float> s(frames * static_cast<size_t>(channels));
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = 0.6f * std::sin(0.013f * static_cast<float>(i)) + 0.3f * std::sin(0.29f * static_cast<float>(i));
  s[0] = -1.0f, s[1] = 0.99999f;
  return s;
}

// Writes `samples` with libsndfile in `format`; false when this libsndfile cannot.
bool WriteSound(const std::string& path, int format, int channels, int rate, const std::vector<float>& samples) {
  SF_INFO info{};
  info.channels = channels, info.samplerate = rate, info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  const sf_count_t frames = static_cast<sf_count_t>(samples.size() / static_cast<size_t>(channels));
  const bool ok = sf_writef_float(f, samples.data(), frames) == frames;
  return sf_close(f) == 0 && ok;
}

// Reads a whole file with libsndfile, as another program would.
std::vector<float> ReadSound(const std::string& path, SF_INFO* info) {
  *info = {};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, info);
  if (!f) return {};
  std::vector<float> out(static_cast<size_t>(info->frames * info->channels));
  sf_readf_float(f, out.data(), info->frames);
  sf_close(f);
  return out;
}

// The frequency of a sine in `samples` (every `stride`-th sample, from `first`) at
// `rate`, from its first and last rising zero crossings.
double Frequency(const std::vector<float>& samples, double rate, size_t stride = 1, size_t first = 0) {
  std::vector<double> rising;
  float last = samples[first];
  for (size_t i = first + stride, n = 1; i < samples.size(); i += stride, ++n) {
    const float x = samples[i];
    if (last < 0 && x >= 0) rising.push_back(static_cast<double>(n - 1) + last / (last - x));
    last = x;
  }
  if (rising.size() < 4) return 0;
  return (rising.size() - 3) * rate / (rising[rising.size() - 2] - rising[1]);
}

class SoundFormats : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Audio_Init());
    static int serial = 0;
    dir = fs::temp_directory_path() / ("kestrine-formats-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fs::create_directories(dir);
    track = Audio_CreateLoop(1.0, 0.9, 2, 0);  // 48000 frames at 48 kHz
    Audio_SetLoopFileOptions({});
  }
  void TearDown() override { Audio_SetLoopFileOptions({}), Audio_Shutdown(), fs::remove_all(dir); }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  std::string Load(const std::string& path, bool warnSampleRate = false) {
    return Audio_LoadLoop(track, path.c_str(), 0, false, warnSampleRate, false);
  }
  std::vector<float> Loaded() {
    const LoopTrack& t = Audio_GetEngine()->tracks[track];
    return {t.pBuffer.load(), t.pBuffer.load() + static_cast<size_t>(t.length) * t.numChannels};
  }
  LoopTrack& Track() { return Audio_GetEngine()->tracks[track]; }

  ScriptedDialog messages;
  fs::path dir;
  int track = -1;
};

TEST_F(SoundFormats, EveryFormatLoadsWithItsSamplesChannelsAndQuestionText) {
  // Exact: every integer sample s of n bits is s / 2^(n-1), every float as it is.
  // Lossy Vorbis is held to what libsndfile itself decodes.
  const double lsb24 = 1.0 / (1 << 23);
  const struct { const char* name; int format; int channels; double tolerance; const char* bits; } cases[] = {
      {"wav-16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 0, "16 Bit"},
      {"wav-24-mono", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 0, "24 Bit"},
      {"wav-24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 0, "24 Bit"},
      {"wav-32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, lsb24, "32 Bit"},
      {"wav-float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 0, "32 Bit Float"},
      {"wav-double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 2, 0, "64 Bit Float"},
      {"extensible-16", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2, 0, "16 Bit"},
      {"extensible-24", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 2, 0, "24 Bit"},
      {"extensible-float-mono", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 1, 0, "32 Bit Float"},
      {"aiff-16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 0, "16 Bit AIFF"},
      {"aiff-24", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, 0, "24 Bit AIFF"},
      {"flac-16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 0, "16 Bit FLAC"},
      {"flac-24", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 0, "24 Bit FLAC"},
      {"ogg-vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 0, "Ogg Vorbis"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(c.name);
    const int subtype = c.format & SF_FORMAT_SUBMASK;
    const std::vector<float> signal = Signal(c.channels, 4410);
    std::vector<double> expected(signal.begin(), signal.end());
    if (subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_24 || subtype == SF_FORMAT_PCM_32) {
      // Integer samples as libsndfile takes them: the top bits of 32.
      const int bits = subtype == SF_FORMAT_PCM_16 ? 16 : subtype == SF_FORMAT_PCM_24 ? 24 : 32;
      std::vector<int> ints(signal.size());
      for (size_t i = 0; i < ints.size(); ++i) {
        const int64_t top = int64_t{1} << (bits - 1);
        const int64_t v = std::clamp<int64_t>(std::llround(signal[i] * static_cast<double>(top)), -top, top - 1);
        ints[i] = static_cast<int>(v * (int64_t{1} << (32 - bits)));
        expected[i] = static_cast<double>(ints[i]) / 2147483648.0;
      }
      SF_INFO info{};
      info.channels = c.channels, info.samplerate = 44100, info.format = c.format;
      SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
      ASSERT_TRUE(f);
      EXPECT_EQ(sf_writef_int(f, ints.data(), 4410), 4410);
      sf_close(f);
    } else {
      ASSERT_TRUE(WriteSound(path, c.format, c.channels, 44100, signal));
      SF_INFO info;
      if (subtype == SF_FORMAT_VORBIS) {
        const std::vector<float> decoded = ReadSound(path, &info);
        expected.assign(decoded.begin(), decoded.end());
      }
    }
    messages.shown.clear();
    ASSERT_EQ(Load(path), path);
    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
    EXPECT_EQ(Track().numChannels, static_cast<uint32_t>(c.channels));
    EXPECT_EQ(Track().length, 4410);
    const std::vector<float> got = Loaded();
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], expected[i], c.tolerance) << i;
    // The load question names the real format.
    struct Picker : FileDialog {
      std::string path;
      std::string Open(void*, const std::string&, const std::vector<FileFilter>&) override { return path; }
      std::string Save(void*, const std::string&, const std::vector<FileFilter>&) override { return ""; }
    } picker;
    picker.path = path;
    FileDialog_Install(&picker);
    messages.answers = {IDNO};
    EXPECT_TRUE(Audio_LoadLoop(track, nullptr, 0, true, false, false).empty());
    FileDialog_Install(nullptr);
    char line[128];
    std::snprintf(line, sizeof line, "\n44100 Hz, %s, %d Channel, 0.10 Seconds\n", c.bits, c.channels);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find(line), std::string::npos) << messages.shown[0].text;
  }
}

// Damaged files say which file and why; a file too big for a loop is refused with its
// size before anything is allocated; non-finite float samples load as silence.
TEST_F(SoundFormats, DamagedHugeAndPoisonedFilesAreHandledBeforeTheyReachTheTrack) {
  const std::string flac = Path("good.flac");
  ASSERT_TRUE(WriteSound(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 48000, Signal(2, 48000)));
  const std::vector<uint8_t> bytes = ReadByteVector(flac);
  const std::string aiff = Path("good.aiff");
  ASSERT_TRUE(WriteSound(aiff, SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2, 48000, Signal(2, 100)));
  auto cut = [](std::vector<uint8_t> b, size_t size) { return b.resize(size), b; };
  // The FLAC stream information's 36-bit sample count (bytes 21 to 25) claiming four hours.
  std::vector<uint8_t> fourHours = bytes;
  const uint64_t claimed = 4ull * 3600 * 48000;
  fourHours[21] = static_cast<uint8_t>((fourHours[21] & 0xF0) | (claimed >> 32));
  for (int i = 0; i < 4; ++i) fourHours[22 + i] = static_cast<uint8_t>(claimed >> (24 - 8 * i));

  const struct { const char* name; std::vector<uint8_t> bytes; std::string starts; } cases[] = {
      {"flac-cut-in-header", cut(bytes, 30), "header read failed\n"},
      {"flac-cut-in-half", cut(bytes, bytes.size() / 2), "data read failed\n"},
      {"aiff-cut-in-format", cut(ReadByteVector(aiff), 30), "header read failed\n"},
      {"four-hour-flac", fourHours, "File: "},
  };
  float* before = Track().pBuffer;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(c.name);
    ASSERT_TRUE(WriteBytes(path, c.bytes));
    messages.shown.clear();
    // An allocation before the size refusal would show "Insufficient Memory!" instead.
    Audio_FailNextAllocations(c.starts == "File: " ? 1 : 0);
    EXPECT_TRUE(Load(path).empty());
    Audio_FailNextAllocations(0);
    ASSERT_EQ(messages.shown.size(), 1u);
    const ShownMessage& m = messages.shown[0];
    EXPECT_TRUE(m.text.starts_with(c.starts + (c.starts == "File: " ? "" : path + "\n"))) << m.text;
    EXPECT_EQ(m.caption, "Audio_LoadLoop()");
    EXPECT_TRUE(Track().pBuffer.load() == before && !Track().pNewBuffer.load());
  }
  EXPECT_NE(messages.shown[0].text.find("(14400 seconds)"), std::string::npos) << messages.shown[0].text;

  std::vector<float> poisoned = Signal(1, 64);
  poisoned[3] = std::numeric_limits<float>::quiet_NaN(), poisoned[4] = -std::numeric_limits<float>::infinity();
  ASSERT_TRUE(WriteSound(Path("nan.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, poisoned));
  ASSERT_EQ(Load(Path("nan.wav")), Path("nan.wav"));
  const std::vector<float> got = Loaded();
  EXPECT_TRUE(got[2] == poisoned[2] && got[3] == 0.0f && got[4] == 0.0f && got[5] == poisoned[5]);
}

// A 1 kHz sine at 44.1 kHz on a 48 kHz stream, with conversion on: no rate question,
// the length in seconds kept, the pitch kept, and nothing but the sine in the result.
TEST_F(SoundFormats, ConvertedLoopsKeepTheirLengthAndPitchWithoutAliasing) {
  const int inRate = 44100, seconds = 3;
  std::vector<float> sine(static_cast<size_t>(inRate * seconds));
  for (size_t i = 0; i < sine.size(); ++i) sine[i] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 1000.0 * i / inRate));
  for (const int format : {SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_WAV | SF_FORMAT_PCM_16}) {
    SCOPED_TRACE(format);
    ASSERT_TRUE(WriteSound(Path("sine.wav"), format, 1, inRate, sine));
    Audio_SetLoopFileOptions({.convertSampleRate = true});
    messages.shown.clear();
    ASSERT_EQ(Load(Path("sine.wav"), true), Path("sine.wav"));
    EXPECT_TRUE(messages.shown.empty()) << "converted: no rate question";
    EXPECT_EQ(Track().length, 48000 * seconds);
    const std::vector<float> out = Loaded();

    EXPECT_NEAR(Frequency(out, 48000.0), 1000.0, 1.0);

    // Aliasing and noise: what is left after the best-fitting 1 kHz sine, away from the
    // filter's settling at both ends.
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    const size_t from = 4800, to = out.size() - 4800;
    for (size_t i = from; i < to; ++i) {
      const double w = 2 * std::numbers::pi * 1000.0 * i / 48000.0, s = std::sin(w), c = std::cos(w);
      ss += s * s, sc += s * c, cc += c * c, xs += out[i] * s, xc += out[i] * c;
    }
    const double det = ss * cc - sc * sc, a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    double signal = 0, residual = 0;
    for (size_t i = from; i < to; ++i) {
      const double w = 2 * std::numbers::pi * 1000.0 * i / 48000.0, fit = a * std::sin(w) + b * std::cos(w);
      signal += fit * fit, residual += (out[i] - fit) * (out[i] - fit);
    }
    const double floorDb = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 ? -85.0 : -90.0;  // 16 bits: its own noise
    EXPECT_LT(10 * std::log10(residual / signal), floorDb);
  }
  Audio_SetLoopFileOptions({});
  messages.answers = {IDNO};  // off: the rate question as always, and the file as it is
  EXPECT_TRUE(Load(Path("sine.wav"), true).empty());
  EXPECT_TRUE(messages.Saw("Sample rate of load file differs from current device setting.  Continue?", "Sample Rate Differs"));
  EXPECT_EQ(Load(Path("sine.wav")), Path("sine.wav"));
  EXPECT_EQ(Track().length, inRate * seconds);
}

// A change of the stream's rate converts every loop but the click loop, keeping its
// length in seconds and its pitch.
TEST_F(SoundFormats, LoopsFollowANewStreamRate) {
  AudioEngine* e = Audio_GetEngine();
  float* b = Track().pBuffer;
  for (int i = 0; i < 48000; ++i) b[2 * i] = b[2 * i + 1] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 1000.0 * i / 48000));
  const int mono = Audio_CreateLoop(0.5, 0.9, 1, 0);
  ASSERT_GE(mono, 0);
  const float* click = e->metronomeTrack >= 0 ? e->tracks[e->metronomeTrack].pBuffer.load() : nullptr;
  EXPECT_EQ(Audio_ConvertLoops(48000.0, 96000.0), 2);
  EXPECT_EQ(Track().length, 96000);
  EXPECT_EQ(e->tracks[mono].length, 48000);
  if (click) {
    EXPECT_EQ(e->tracks[e->metronomeTrack].pBuffer.load(), click);
  }
  const std::vector<float> out = Loaded();
  EXPECT_NEAR(Frequency(out, 96000.0, 2, 0), 1000.0, 1.0);
  EXPECT_NEAR(Frequency(out, 96000.0, 2, 1), 1000.0, 1.0);
  EXPECT_EQ(Audio_ConvertLoops(96000.0, 96000.0), 0);
}

// 24-bit and float saves are what other programs read back; a float save keeps an
// overdub 1.5 x beyond full scale, where 24 bits saturate.
TEST_F(SoundFormats, SavesIn24BitAndFloatKeepWhatTheirFormatCan) {
  const std::vector<float> signal = Signal(2, 48000);
  const struct { LoopFileFormat format; int sfFormat; double tolerance; } cases[] = {
      {LOOP_FILE_PCM24, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1.0 / (1 << 23)},
      {LOOP_FILE_FLOAT32, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    float* b = Track().pBuffer;
    std::copy(signal.begin(), signal.end(), b);
    b[2] = 1.5f, b[3] = -1.5f, b[4] = std::numeric_limits<float>::quiet_NaN();
    Audio_SetLoopFileOptions({.saveFormat = c.format});
    const std::string path = Path("saved.wav");
    ASSERT_EQ(Audio_SaveLoop(track, path.c_str(), false), path);
    SF_INFO info;
    const std::vector<float> read = ReadSound(path, &info);
    EXPECT_EQ(info.format, c.sfFormat);
    EXPECT_TRUE(info.channels == 2 && info.samplerate == 48000 && info.frames == 48000);
    const bool keepsBeyondFullScale = c.format == LOOP_FILE_FLOAT32;
    EXPECT_NEAR(read[2], keepsBeyondFullScale ? 1.5 : 1.0, c.tolerance);
    EXPECT_NEAR(read[3], keepsBeyondFullScale ? -1.5 : -1.0, c.tolerance);
    EXPECT_EQ(read[4], 0.0f) << "NaN saved as silence";
    for (size_t i = 5; i < read.size(); ++i) ASSERT_NEAR(read[i], signal[i], c.tolerance) << i;
    // And the loader reads its own saves back to the same samples.
    ASSERT_EQ(Load(path), path);
    EXPECT_EQ(Loaded(), read);
  }
}

}  // namespace
