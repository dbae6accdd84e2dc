// The three configuration files: default files byte for byte, the rows' clamp and ignore
// rules, rows that act on the engine and the window, and the click sound paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/model/effects_panel.h"
#include "app/settings/config_files.h"
#include "app/settings/preferences.h"
#include "audio_io/loop_files.h"
#include "audio_io/audio_device.h"
#include "engine/audio.h"
#include "engine/audio_layer.h"
#include "engine/undo.h"
#include "persist/config_directory.h"
#include "persist/temp_dir.h"
#include "support/scripted_dialog.h"

namespace {

const std::filesystem::path kFixtures =
    std::filesystem::path(KESTRINE_TEST_SOURCE_DIR) / "persist" / "fixtures";

int g_windowChanges = 0;
std::vector<int> g_stereoChannels;
std::vector<std::pair<bool, std::string>> g_loadedSounds;

class ConfigFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Audio_Init());
    ConfigDirectory = dir.path.string();
    ConfigFiles_InitDefaults();
    ConfigFiles_SetDeviceDefaults();
    g_windowChanges = 0;
    g_stereoChannels.clear();
    g_loadedSounds.clear();
    Preferences_SetWindowStateHook([] { ++g_windowChanges; });
    Preferences_SetStereoRecordHook([](int channels) { g_stereoChannels.push_back(channels); });
    Preferences_SetClickSoundLoader([](bool accent, const std::string& path) { return g_loadedSounds.emplace_back(accent, path), true; });
  }
  void TearDown() override {
    Preferences_SetWindowStateHook(nullptr);
    Preferences_SetStereoRecordHook(nullptr);
    Preferences_SetClickSoundLoader(nullptr);
    ConfigDirectory.clear();
    Audio_Shutdown();
  }
  // Writes `rows` as the content of the file's `root` element and has `read` read the file.
  void ReadRows(const std::string& file, const std::string& root, const std::string& rows, void (*read)()) {
    WriteBytes(dir.File(file), "<" + root + ">\n" + rows + "</" + root + ">\n");
    read();
  }
  void ReadPreferencesRows(const std::string& rows) { ReadRows("Preferences.xml", "preferences", rows, ReadPreferences); }
  bool Wrote(const char* file, const std::string& row) { return ReadBytes(dir.File(file)).find(row) != std::string::npos; }

  TempDir dir;
  ScriptedDialog dialog;
};

TEST_F(ConfigFilesTest, DefaultsAreWrittenByteForByteAndReadBackUnchanged) {
  auto readAll = [] { ReadSystemConfiguration(), ReadPreferences(), ReadDeviceConfiguration(); };
  auto writeAllAsTheFixtures = [&] {
    ASSERT_TRUE(WriteSystemConfiguration() && WritePreferences() && WriteDeviceConfiguration());
    for (const char* name : {"SysConfig.xml", "Preferences.xml", "DeviceConfig.xml"})
      EXPECT_EQ(ReadBytes(dir.File(name)), ReadBytes((kFixtures / name).string())) << name;
  };
  App_Preferences().warn_quicksave = 0;
  readAll();  // no files yet: every setting stays, silently
  EXPECT_EQ(App_Preferences().warn_quicksave, 0);
  App_Preferences().warn_quicksave = 1;
  writeAllAsTheFixtures();
  EXPECT_EQ(std::filesystem::file_size(dir.File("Preferences.bak")), 0u);
  readAll();
  writeAllAsTheFixtures();
  EXPECT_EQ(ReadBytes(dir.File("Preferences.bak")), ReadBytes((kFixtures / "Preferences.xml").string()));
  EXPECT_TRUE(dialog.shown.empty());
}

TEST_F(ConfigFilesTest, PreferenceRowsAreClampedOrIgnoredAndReachTheEngine) {
  EffectsPanel panel;
  Preferences_AttachEffectsPanel(&panel);
  const Preferences& p = App_Preferences();
  const AudioEngine* e = Audio_GetEngine();
  const struct { const char* row; const char* text; std::function<double()> got; double want; } cases[] = {
      {"delay_max_milliseconds", "9999", [&] { return panel.delayMaxMilliseconds; }, 5000},
      {"delay_max_milliseconds", "100", [&] { return p.delay_max_milliseconds; }, 200},
      {"metronome_midi_accent_note", "128", [&] { return p.midi.metronome_midi_accent_note; }, 63},  // ignored
      {"metronome_midi_port", "16", [&] { return p.midi.metronome_midi_port; }, 0},
      {"metronome_midi_channel", "15", [&] { return p.midi.metronome_midi_channel; }, 15},
      {"send_midi_sync", "5", [&] { return p.midi.send_midi_sync; }, 1},  // a switch keeps on/off...
      {"warn_quicksave", "5", [&] { return p.warn_quicksave; }, 5},  // ...a stored row its integer
      {"latent_input", "1", [&] { return e->latentInput; }, 1},
      {"latent_input_volume", "300", [&] { return e->latentVolume; }, 1.0},
      {"latent_input_pan", "-4", [&] { return e->latentPan; }, 0.0},
      {"latent_input_effects_mix", "127", [&] { return e->latentEffectsMix; }, 1.0},
      {"filter_before_delay", "2", [&] { return e->filterBeforeDelay; }, 1},
      {"continuous_metronome", "0", [&] { return e->continuousMetronome; }, 0},
      {"convert_sample_rate", "3", [&] { return Audio_GetLoopFileOptions().convertSampleRate; }, 1},
      {"loop_file_format", "2", [&] { return Audio_GetLoopFileOptions().saveFormat; }, LOOP_FILE_FLOAT32},
      {"loop_file_format", "3", [&] { return p.loop_file_format; }, 2},  // no such format: ignored
      {"osc_port", "9000", [&] { return p.osc_port; }, 9000},
      {"osc_port", "70000", [&] { return p.osc_port; }, 9000},  // not a port: ignored
      {"osc_all_interfaces", "7", [&] { return p.osc_all_interfaces; }, 1},
      {"midi_feedback_port", "3", [&] { return p.midi_feedback_port; }, 3},
      {"midi_feedback_port", "16", [&] { return p.midi_feedback_port; }, 3},  // no such output: ignored
      {"midi_feedback_port", "-1", [&] { return p.midi_feedback_port; }, -1},
      {"undo_memory_mb", "64", [&] { return Audio_GetUndoMemory(); }, 64},
      {"undo_memory_mb", "-1", [&] { return p.undo_memory_mb; }, 64},  // no such budget: ignored
      {"seam_crossfade_ms", "12", [&] { return Audio_GetSeamCrossfade(); }, 12},
      {"seam_crossfade_ms", "400", [&] { return p.seam_crossfade_ms; }, 50},
      {"seam_crossfade_ms", "-1", [&] { return Audio_GetSeamCrossfade(); }, 0},
      {"sync_source", "1", [&] { return p.sync_source; }, 1},
      {"sync_source", "4", [&] { return p.sync_source; }, 1},  // no such source: ignored
      {"sync_start_on", "1", [&] { return p.sync_start_on; }, 1},
      {"sync_start_on", "-1", [&] { return p.sync_start_on; }, 1},
  };
  for (const auto& c : cases) {
    ReadPreferencesRows(std::string("<") + c.row + ">" + c.text + "</" + c.row + ">");
    EXPECT_DOUBLE_EQ(c.got(), c.want) << c.row << " " << c.text;
  }
  Preferences_AttachEffectsPanel(nullptr);
  ASSERT_TRUE(WritePreferences());
  EXPECT_TRUE(Wrote("Preferences.xml", "<latent_input_volume>127</latent_input_volume>"));
  EXPECT_TRUE(Wrote("Preferences.xml", "<latent_input_pan>0</latent_input_pan>"));
}

TEST_F(ConfigFilesTest, UndoAndStereoRecordRowsActOnTheEngineAndTheWindow) {
  ReadPreferencesRows("<undo>0</undo><stereo_record>1</stereo_record>");
  EXPECT_EQ(Audio_GetEngine()->undoEnabled, 0u);
  EXPECT_EQ(g_windowChanges, 1);
  EXPECT_TRUE(g_stereoChannels.empty());  // unchanged: the recording loop stays
  ReadPreferencesRows("<undo>1</undo><stereo_record>0</stereo_record>");
  EXPECT_EQ(Audio_GetEngine()->undoEnabled, 1u);
  EXPECT_EQ(g_stereoChannels, std::vector<int>{1});
}

TEST_F(ConfigFilesTest, ClickSoundsResolveAgainstTheConfigDirectory) {
  const std::string absolute = (dir.path / "Sounds" / "click.wav").string();
  ReadPreferencesRows("<metronome_accent>" + absolute + "</metronome_accent>"
                      "<metronome_beat>beats/b.wav</metronome_beat>");
  EXPECT_EQ(App_Preferences().metronome_accent, "Sounds/click.wav");
  EXPECT_EQ(App_Preferences().metronome_beat, "beats/b.wav");
  EXPECT_EQ(g_loadedSounds, (std::vector<std::pair<bool, std::string>>{
                                {true, absolute}, {false, (dir.path / "beats/b.wav").string()}}));
  ASSERT_TRUE(WritePreferences());
  EXPECT_TRUE(Wrote("Preferences.xml", "<metronome_accent>Sounds/click.wav</metronome_accent>"));
}

TEST_F(ConfigFilesTest, LatencyIsReadInMillisecondsAndWrittenFromTheStream) {
  ReadRows("DeviceConfig.xml", "device_configuration",
           "<latency>10.5</latency><device_sample_rate>44100</device_sample_rate><input_channel>2</input_channel>"
           "<input_device_name>A device name well over thirty-one characters</input_device_name>",
           ReadDeviceConfiguration);
  const DeviceConfiguration& wanted = *Audio_GetDeviceConfiguration();
  EXPECT_DOUBLE_EQ(wanted.latency, 0.0105);
  EXPECT_DOUBLE_EQ(wanted.sampleRate, 44100.0);
  EXPECT_STREQ(wanted.inputDeviceName, "A device name well over thirty-");
  EXPECT_EQ(Audio_GetInputChannel(), 2);

  // The stream, once opened with the wanted values, is what the file records.
  Audio_GetEngine()->latency = wanted.latency;
  Audio_GetEngine()->sampleRate = wanted.sampleRate;
  ASSERT_TRUE(WriteDeviceConfiguration());
  EXPECT_TRUE(Wrote("DeviceConfig.xml", "<latency>10.500000</latency>"));
  EXPECT_TRUE(Wrote("DeviceConfig.xml", "<device_sample_rate>44100.000000</device_sample_rate>"));
}

// The PortAudio layer in place of the engine's deviceless default, for one test.
struct WithPortAudio {
  WithPortAudio() { Audio_Shutdown(), AudioIo_Install(), Audio_Init(); }
  ~WithPortAudio() { Audio_Shutdown(), AudioLayer_Install(nullptr), Audio_Init(); }
};

// A driver type the audio layer offers is selected; one it does not offer (3, ASIO, never
// exists here) changes nothing, and the file records the selected one.
TEST_F(ConfigFilesTest, DriverTypeSelectsAnOfferedHostApiAndAnUnknownOneChangesNothing) {
  WithPortAudio portAudio;
  const struct { int before, read, after; } cases[] = {
      {-1, 3, -1}, {-1, 8, 8}, {8, 3, 8}, {8, 99, 8}, {8, -1, 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before * 1000 + c.read);
    Audio_SetHostApi(c.before);
    ASSERT_EQ(Audio_GetHostApiType(), c.before) << "PortAudio is built with ALSA here";
    ReadRows("DeviceConfig.xml", "device_configuration", "<driver_type>" + std::to_string(c.read) + "</driver_type>",
             ReadDeviceConfiguration);
    EXPECT_EQ(Audio_GetHostApiType(), c.after);
    ASSERT_TRUE(WriteDeviceConfiguration());
    EXPECT_TRUE(Wrote("DeviceConfig.xml", "<driver_type>" + std::to_string(c.after) + "</driver_type>"));
  }
  EXPECT_TRUE(dialog.shown.empty());
}

}  // namespace

namespace {

// The measured round trip: a file written before it loads as never measured; a
// measurement is written and read back to the frame; a negative value means
// never measured.
TEST_F(ConfigFilesTest, MeasuredLatencyLoadsFromOldFilesAsNeverMeasuredAndRoundTrips) {
  EXPECT_EQ(Audio_GetDeviceConfiguration()->measuredLatencyFrames, -1);
  ReadRows("DeviceConfig.xml", "device_configuration", "<latency>10.5</latency>", ReadDeviceConfiguration);
  EXPECT_EQ(Audio_GetDeviceConfiguration()->measuredLatencyFrames, -1);
  ASSERT_TRUE(WriteDeviceConfiguration());
  EXPECT_TRUE(Wrote("DeviceConfig.xml", "<measured_latency_frames>-1</measured_latency_frames>"));

  ReadRows("DeviceConfig.xml", "device_configuration", "<measured_latency_frames>1512</measured_latency_frames>",
           ReadDeviceConfiguration);
  EXPECT_EQ(Audio_GetDeviceConfiguration()->measuredLatencyFrames, 1512);
  ASSERT_TRUE(WriteDeviceConfiguration());
  EXPECT_TRUE(Wrote("DeviceConfig.xml", "<measured_latency_frames>1512</measured_latency_frames>"));
  for (const char* bad : {"-5", "-2147483648"}) {
    Audio_GetDeviceConfiguration()->measuredLatencyFrames = 1512;
    ReadRows("DeviceConfig.xml", "device_configuration",
             std::string("<measured_latency_frames>") + bad + "</measured_latency_frames>", ReadDeviceConfiguration);
    EXPECT_EQ(Audio_GetDeviceConfiguration()->measuredLatencyFrames, -1) << bad;
  }
  EXPECT_TRUE(dialog.shown.empty());
}

}  // namespace
