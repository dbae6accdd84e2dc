#include "app/app_fixture.h"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/settings/preferences.h"
#include "app/startup.h"
#include "audio_io/mix_disk_writer.h"
#include "audio_io/wav_bytes.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"
#include "engine/audio_layer.h"
#include "persist/config_directory.h"

void AppTest::SetUp() {
  EngineTest::SetUp();
  char pattern[] = "/tmp/kestrine_app_XXXXXX";
  dir = mkdtemp(pattern);
  midiIn = midi.AddDevice("Pads", true, false);
  midi.AddDevice("Clock", false, true);
  BringUp();
}

void AppTest::TearDown() {
  TakeDown();
  EngineTest::TearDown();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

void AppTest::BringUp() {
  AudioLayer_Install(nullptr);  // no device layer left from a test that started the program
  ConfigDirectory = dir;
  Preferences_ResetDefaults();
  MixDisk_Attach(Audio_GetEngine());
  app_ = std::make_unique<App>();
  app_->window = &window;
  app_->dialogs = &dialogs;
  app_->sessions = &sessions;
  app_->loopEdit = &loopEdit;
  ASSERT_TRUE(App_InitApplicationData(app_.get()));
  MidiPorts_UseBackend(&midi);
  ASSERT_TRUE(OpenMidiPorts());
  MidiHooks_Install();
}

void AppTest::TakeDown() {
  MidiHooks_Remove();
  CloseMidiPorts();
  MidiPorts_UseBackend(nullptr);
  ControlCommands().Clear();
  Triggers().ClearAll();
  if (Audio_IsMixingToDisk()) Audio_StopMixToDisk();
  MixDisk_Detach(Audio_GetEngine());
  App_Detach(app_.get());
  app_.reset();
  ConfigDirectory.clear();
}

void AppTest::Restart() {
  TakeDown();
  EngineTest::TearDown();
  EngineTest::SetUp();
  framesRun = 0;
  sessions.calls.clear();
  loopEdit.calls.clear();
  BringUp();
}

std::string AppTest::MakeWav(const std::string& name, int frames, int16_t value) {
  WavLayout layout;
  layout.samples.assign(static_cast<size_t>(frames) * 2, value);
  const std::string path = dir + "/" + name;
  EXPECT_TRUE(WriteBytes(path, WavBytes(layout)));
  return path;
}

float AppTest::LoopPeak(int s) {
  const LoopTrack& t = track(slot(s));
  float peak = 0.0f;
  for (int i = 0; i < t.length * static_cast<int>(t.numChannels); ++i) peak = std::max(peak, std::fabs(t.pBuffer.load()[i]));
  return peak;
}
