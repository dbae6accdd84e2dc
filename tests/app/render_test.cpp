// Rendering a session offline: the same samples as Mix->Disk over the same time from the
// same start, tracks of different lengths that stay in step over a long render, and the
// command's exit codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/app_fixture.h"
#include "app/render.h"
#include "app/session/session_store.h"
#include "app/settings/preferences.h"
#include "audio_io/mix_disk_writer.h"
#include "audio_io/sound_file.h"
#include "audio_io/wav_bytes.h"
#include "persist/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The interleaved 16-bit samples of a WAV file with the 44-byte header.
std::vector<int16_t> Samples(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadByteVector(path);
  std::vector<int16_t> samples(bytes.size() > 44 ? (bytes.size() - 44) / 2 : 0);
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  return samples;
}

// The interleaved samples of any WAV file, at full scale 1.0, and its rate.
std::vector<float> FloatSamples(const std::string& path, int* rate = nullptr) {
  std::vector<float> samples;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return samples;
  {
    SoundFile sound;
    std::string reason;
    if (sound.Open(file, &reason)) {
      samples.resize(static_cast<size_t>(sound.Info().frames * sound.Info().channels));
      sound.Read(samples.data(), sound.Info().frames);
      if (rate) *rate = sound.Info().sampleRate;
    }
  }
  std::fclose(file);
  return samples;
}

// Sets element `name` of track `track` (0-based) in a saved session file's text, or of
// the session itself when `track` is negative.
void SetElement(const std::string& path, int track, const std::string& name, const std::string& value) {
  std::string text = ReadBytes(path);
  size_t from = 0;
  for (int t = 0; t <= track; ++t) from = text.find("<track>", from) + 1;
  const size_t open = text.find("<" + name + ">", track < 0 ? 0 : from);
  ASSERT_NE(open, std::string::npos) << name;
  const size_t start = open + name.size() + 2, end = text.find('<', start);
  text.replace(start, end - start, value);
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

class RenderTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    UseStore();
  }
  void UseStore() {
    store = std::make_unique<AppSessionStore>(App_SessionParts(app_.get()));
    app_->sessions = store.get();
  }
  // Strip i holds a loop of `frames` frames made by fill(n), audible; saved as dir/name.
  void Loop(int i, int frames, const std::function<float(int)>& fill) {
    ASSERT_TRUE(LoopStrip_Recreate(&app_->tracks, StripIndex{i}, frames / 48000.0, false, 2));
    LoopTrack& t = track(slot(i));
    ASSERT_EQ(t.length, frames);
    for (int n = 0; n < frames; ++n) t.pBuffer.load()[2 * n] = t.pBuffer.load()[2 * n + 1] = fill(n);
    strip(i).empty = false;
    LoopStrip_SetMute(&app_->tracks, StripIndex{i}, false);
  }
  std::string Save(const std::string& name) {
    const std::string base = dir + "/" + name;
    EXPECT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), base));
    return base + ".session";
  }
  std::unique_ptr<AppSessionStore> store;
};

TEST_F(RenderTest, WritesWhatMixToDiskWritesOverTheSameTime) {
  Loop(0, 48000, [](int n) { return static_cast<float>(n % 480) / 960.0f; });
  Loop(1, 30000, [](int n) { return n % 1000 < 500 ? 0.25f : -0.25f; });
  const std::string session = Save("Gig");

  // Live: the session opened, Mix->Disk armed, Play, ten seconds of callbacks.
  App_OpenSession(&app(), session);
  App_WaitForLoads(&app());
  fs::create_directory(dir + "/mix");
  App_Preferences().mixtodisk_directory = dir + "/mix";
  App_SetMixToDisk(&app(), true);
  App_Play(&app());
  for (int piece = 0; piece < 20; ++piece) {
    Run(24000);
    MixDiskWriter_Flush(MixDisk_Writer());
  }
  App_Stop(&app());
  const std::string live = dir + "/mix/Gig_Mix/Gig_00.wav";
  ASSERT_TRUE(fs::exists(live));

  Restart();
  UseStore();
  std::string error;
  ASSERT_TRUE(Render_Session(&app(), {session, dir + "/render.wav", 10.0}, &error)) << error;
  const std::vector<uint8_t> rendered = ReadByteVector(dir + "/render.wav");
  EXPECT_EQ(rendered.size(), 44u + 480000u * 4);
  EXPECT_TRUE(rendered == ReadByteVector(live)) << "the render differs from Mix->Disk";
}

TEST_F(RenderTest, TracksOfDifferentLengthsStayInStepOverALongRender) {
  // A click at the start of a 0.5 s and of a 0.75 s loop. The second track lines up with
  // the first when play starts (the resync rule); from there both keep their period for
  // the whole render, not a frame of drift.
  Loop(0, 24000, [](int n) { return n == 0 ? 0.25f : 0.0f; });
  Loop(1, 36000, [](int n) { return n == 0 ? 0.5f : 0.0f; });
  const std::string session = Save("Clicks");
  Restart();
  UseStore();
  Preferences_ApplySeamCrossfade(0);  // single-sample clicks: no fade-in at the start
  std::string error;
  ASSERT_TRUE(Render_Session(&app(), {session, dir + "/long.wav", 0, 400}, &error)) << error;  // 400 x 0.75 s
  const std::vector<int16_t> samples = Samples(dir + "/long.wav");
  const size_t frames = samples.size() / 2;
  ASSERT_EQ(frames, 400u * 36000);
  const int16_t first = samples[0];
  size_t offset = 1;
  while (offset < 36000 && (samples[2 * offset] == 0 || offset % 24000 == 0)) ++offset;
  ASSERT_LT(offset, 36000u);
  const int16_t second = samples[2 * offset];
  ASSERT_GT(first, 0);
  ASSERT_GT(second, first);
  int wrong = 0;
  for (size_t frame = 0; frame < frames; ++frame) {
    const bool a = frame % 24000 == 0, b = frame >= offset && (frame - offset) % 36000 == 0;
    const int16_t v = samples[2 * frame];
    wrong += a && b ? v <= second : v != (a ? first : b ? second : 0);
  }
  EXPECT_EQ(wrong, 0) << "the second track starts at frame " << offset;
}

TEST_F(RenderTest, FloatSamplesAndASingleTrackComeFromTheSameMix) {
  Loop(0, 24000, [](int n) { return 0.5f * std::sin(n * 0.01f); });
  Loop(1, 12000, [](int n) { return n % 600 < 300 ? 0.2f : -0.2f; });
  const std::string session = Save("Two");
  std::string error;
  ASSERT_TRUE(Render_Session(&app(), {session, dir + "/pcm.wav", 1.0}, &error)) << error;
  Restart();
  UseStore();
  RenderRequest asFloat{session, dir + "/float.wav", 1.0};
  asFloat.floatSamples = true;
  ASSERT_TRUE(Render_Session(&app(), asFloat, &error)) << error;
  const std::vector<int16_t> pcm = Samples(dir + "/pcm.wav");
  const std::vector<float> floats = FloatSamples(dir + "/float.wav");
  ASSERT_EQ(floats.size(), pcm.size());
  ASSERT_EQ(floats.size(), 2u * 48000);
  size_t off = 0;
  for (size_t i = 0; i < pcm.size(); ++i) off += std::abs(floats[i] * 32767.0f - pcm[i]) > 1.0f;
  EXPECT_EQ(off, 0u) << "the float render is not the 16-bit render's mix";

  // Track 2 alone: a square wave and nothing of the sine of track 1 (after its fade-in).
  Restart();
  UseStore();
  RenderRequest alone{session, dir + "/two.wav", 0.5};
  alone.floatSamples = true;
  alone.track = 2;
  ASSERT_TRUE(Render_Session(&app(), alone, &error)) << error;
  const std::vector<float> two = FloatSamples(dir + "/two.wav");
  ASSERT_EQ(two.size(), 2u * 24000);
  int levels = 0;
  for (size_t frame = 2401; frame < two.size() / 2; ++frame) levels += two[2 * frame] != two[2 * frame - 2];
  EXPECT_LE(levels, 21600 / 300 + 1) << "something else than the square wave is in the mix";
  EXPECT_GT(levels, 21600 / 300 - 2);

  alone.track = 9;
  EXPECT_FALSE(Render_Session(&app(), alone, &error));
  EXPECT_EQ(error, "There is no track 9 to render.");
}

// Golden renders: three small sessions checked in with their loops and what they render
// to. KESTRINE_WRITE_GOLDEN=1 makes them anew (after a deliberate change of the sound).
class RenderGolden : public RenderTest {
 protected:
  static std::string Fixture(const std::string& name) {
    return std::string(KESTRINE_TEST_SOURCE_DIR) + "/app/fixtures/render/" + name;
  }
  // Saves session `name` with its loops in `folder` and applies `tweak` to its file.
  void Build(const std::string& folder, const std::string& name, const std::function<void(const std::string&)>& tweak) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    ASSERT_TRUE(SessionFile_Save(App_SessionParts(app_.get()), folder + "/" + name));
    tweak(folder + "/" + name + ".session");
    fs::remove(folder + "/" + name + ".bak");
  }
  void Check(const std::string& name, const std::function<void()>& loops, const std::function<void(const std::string&)>& tweak) {
    SCOPED_TRACE(name);
    const bool write = std::getenv("KESTRINE_WRITE_GOLDEN") != nullptr;
    const std::string folder = write ? Fixture(name) : dir + "/" + name;
    if (write) {
      loops();
      Build(folder, name, tweak);
    } else {
      fs::copy(Fixture(name), folder, fs::copy_options::recursive);
    }
    Restart();
    UseStore();
    const std::string out = write ? folder + "/golden.wav" : dir + "/" + name + ".wav";
    std::string error;
    ASSERT_TRUE(Render_Session(&app(), {folder + "/" + name + ".session", out, 0.75}, &error)) << error;
    if (write) return;
    const std::vector<int16_t> got = Samples(out), want = Samples(Fixture(name) + "/golden.wav");
    ASSERT_EQ(got.size(), want.size());
    ASSERT_EQ(got.size(), 2u * 36000);
    size_t off = 0, first = got.size();
    for (size_t i = 0; i < got.size(); ++i)
      if (std::abs(got[i] - want[i]) > 1 && off++ == 0) first = i;
    EXPECT_EQ(off, 0u) << "the render differs from the golden file, first at frame " << first / 2;
    EXPECT_GT(*std::max_element(got.begin(), got.end()), 1000) << "a silent render proves nothing";
  }
};

TEST_F(RenderGolden, ThreeSessionsRenderAsTheirGoldenFiles) {
  // Loops of different lengths, panned apart, one reversed.
  Check("two_loops",
        [&] {
          Loop(0, 14000, [](int n) { return static_cast<float>(n % 700) / 1400.0f - 0.25f; });
          Loop(1, 9000, [](int n) { return 0.4f * std::sin(n * 0.03f) * (1.0f - n / 9000.0f); });
        },
        [](const std::string& file) {
          SetElement(file, 0, "pan", "20");
          SetElement(file, 1, "pan", "110");
          SetElement(file, 1, "reverse", "1");
          SetElement(file, 1, "volume", "90");
        });
  // A burst through the filter with its LFO, the delay and the reverb.
  Check("effects",
        [&] { Loop(0, 12000, [](int n) { return n < 2400 ? 0.6f * std::sin(n * 0.07f) : 0.0f; }); },
        [](const std::string& file) {
          SetElement(file, -1, "filter_enable", "1");
          SetElement(file, -1, "filter_lfo_enable", "1");
          SetElement(file, -1, "filter_left_frequency", "70");
          SetElement(file, -1, "filter_right_frequency", "70");
          SetElement(file, -1, "filter_left_resonance", "60");
          SetElement(file, -1, "filter_right_resonance", "60");
          SetElement(file, -1, "reverb_enable", "1");
          SetElement(file, 0, "effects", "1");
          SetElement(file, 0, "effects_mix", "100");
        });
  // The mixer: a muted track, a half-speed one, a submix, the master level.
  Check("mixer",
        [&] {
          Loop(0, 8000, [](int n) { return n % 400 < 200 ? 0.3f : -0.3f; });
          Loop(1, 10000, [](int n) { return 0.5f * std::sin(n * 0.02f); });
          Loop(2, 6000, [](int n) { return 0.3f * std::sin(n * 0.11f); });
        },
        [](const std::string& file) {
          SetElement(file, 0, "mute", "1");
          SetElement(file, 1, "slow", "1");
          SetElement(file, 2, "submix", "1");
          SetElement(file, -1, "submix_b_volume", "0.600000");
          SetElement(file, -1, "master_volume", "0.800000");
        });
}

TEST(RenderCommand, PlaysTheLoopsAtTheRateTheyWereSavedAt) {
  // A loop saved at 44.1 kHz: the render runs at that rate, so a click every 4410
  // frames stays every 4410 frames (at 48 kHz it would sound sharp and the file say so).
  char pattern[] = "/tmp/kestrine_render_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string source = std::string(KESTRINE_TEST_SOURCE_DIR) + "/app/fixtures/render/two_loops";
  fs::copy(source, dir, fs::copy_options::recursive);
  std::vector<float> loop(2 * 44100, 0.0f);
  for (int n = 0; n < 44100; n += 4410) loop[2 * n] = loop[2 * n + 1] = 0.5f;
  const std::vector<float> silence(loop.size(), 0.0f);
  int loops = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.path().extension() != ".wav" || entry.path().filename() == "golden.wav") continue;
    std::FILE* file = std::fopen(entry.path().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const float* samples = entry.path().filename() == "Track 1.wav" ? loop.data() : silence.data();
    EXPECT_EQ(SoundFile_WriteWav(file, LOOP_FILE_FLOAT32, samples, 44100, 2, 44100), nullptr);
    std::fclose(file);
    ++loops;
  }
  ASSERT_EQ(loops, 2);
  for (int track : {0, 1})
    for (const char* element : {"edit_end", "track_empty_time"}) SetElement(dir + "/two_loops.session", track, element, "1.000000");
  RenderRequest request{dir + "/two_loops.session", dir + "/out.wav", 0.5};
  request.floatSamples = true;
  ASSERT_EQ(App_RenderCommand(request), 0);
  int rate = 0;
  const std::vector<float> out = FloatSamples(dir + "/out.wav", &rate);
  EXPECT_EQ(rate, 44100);
  ASSERT_EQ(out.size(), 2u * 22050);
  std::vector<size_t> clicks;
  for (size_t frame = 0; frame < out.size() / 2; ++frame)
    if (std::abs(out[2 * frame]) > 0.1f) clicks.push_back(frame);
  ASSERT_GE(clicks.size(), 4u);
  for (size_t i = 1; i < clicks.size(); ++i) EXPECT_EQ((clicks[i] - clicks[0]) % 4410, 0u) << clicks[i];
  fs::remove_all(dir);
}

TEST(RenderCommand, AMissingOrDamagedSessionEndsWithExitCodeOne) {
  char pattern[] = "/tmp/kestrine_render_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  { std::ofstream(dir + "/Bad.session") << "<session><loop_time>"; }
  testing::internal::CaptureStderr();
  EXPECT_EQ(App_RenderCommand({dir + "/None.session", dir + "/out.wav", 1.0}), 1);
  EXPECT_EQ(App_RenderCommand({dir + "/Bad.session", dir + "/out.wav", 1.0}), 1);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("Couldn't open session file.\n" + dir + "/None.session"), std::string::npos) << said;
  EXPECT_FALSE(fs::exists(dir + "/out.wav"));
  fs::remove_all(dir);
}
