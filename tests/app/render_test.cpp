// Rendering a session offline: the same samples as Mix->Disk over the same time from the
// same start, tracks of different lengths that stay in step over a long render, and the
// command's exit codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/app_fixture.h"
#include "app/render.h"
#include "app/session/session_store.h"
#include "app/settings/preferences.h"
#include "audio_io/mix_disk_writer.h"
#include "audio_io/wav_bytes.h"

namespace fs = std::filesystem;

namespace {

// The interleaved 16-bit samples of a WAV file with the 44-byte header.
std::vector<int16_t> Samples(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadByteVector(path);
  std::vector<int16_t> samples(bytes.size() > 44 ? (bytes.size() - 44) / 2 : 0);
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  return samples;
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
