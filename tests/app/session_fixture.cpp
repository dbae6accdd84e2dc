#include "app/session_fixture.h"

#include <cmath>
#include <filesystem>

#include "app/preferences.h"
#include "app/startup.h"
#include "control/trigger_set.h"
#include "persist/config_directory.h"

namespace session_test {

void SessionTest::SetUp() {
  EngineTest::SetUp();
  BringUp();
}

void SessionTest::TearDown() {
  TakeDown();
  EngineTest::TearDown();
}

void SessionTest::BringUp() {
  ConfigDirectory = dir.path.string();
  app = std::make_unique<App>();
  app->window = &window;
  ASSERT_TRUE(App_InitApplicationData(app.get()));
  store = std::make_unique<AppSessionStore>(app.get());
  app->sessions = store.get();
  ProgressDialog_Install(&progress);
}

void SessionTest::TakeDown() {
  ProgressDialog_Install(nullptr);
  Triggers().ClearAll();
  App_Detach(app.get());
  store.reset();
  app.reset();
  ConfigDirectory.clear();
  Preferences_ResetDefaults();
}

void SessionTest::Restart() {
  TakeDown();
  EngineTest::TearDown();
  EngineTest::SetUp();
  BringUp();
}

float SessionTest::Sample(int track, int n) {
  return static_cast<float>((n * (track + 3) + track * 977) % 2001 - 1000) / 2000.0f;
}

void SessionTest::FillTrack(int i, double seconds, int channels) {
  ASSERT_TRUE(LoopStrip_Recreate(app.get(), StripIndex{i}, seconds, false, channels));
  LoopTrack& t = track(app->strips[i].slot);
  const int count = t.length * channels;
  for (int n = 0; n < count; ++n) t.pBuffer.load()[n] = Sample(i, n);
  app->strips[i].empty = false;
}

void SessionTest::ExpectAudio(int i, double seconds, int channels) {
  const LoopTrack& t = track(app->strips[i].slot);
  ASSERT_EQ(t.length, static_cast<int32_t>(seconds * 48000.0)) << "track " << i + 1;
  ASSERT_EQ(static_cast<int>(t.numChannels), channels) << "track " << i + 1;
  const float* samples = t.pBuffer;
  int wrong = 0;
  for (int n = 0; n < t.length * channels; ++n)
    if (std::fabs(samples[n] - Sample(i, n)) > 1.0f / 16384.0f) ++wrong;
  EXPECT_EQ(wrong, 0) << "track " << i + 1;
}

void SessionTest::Name(int i, const std::string& name) {
  app->fields[static_cast<int>(PanelField::TrackName1) + i] = name;
}

bool SessionTest::Exists(const std::string& relative) const {
  std::error_code ec;
  return std::filesystem::exists(dir.path / relative, ec);
}

}  // namespace session_test
