// The three configuration files: default files byte for byte, the rows' clamp and ignore
// rules, rows that act on the engine and the window, and the click sound paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/audio.h"
#include "persist/config_directory.h"
#include "persist/temp_dir.h"
#include "support/scripted_dialog.h"
#include "ui/config_files.h"
#include "audio_io/audio_device.h"
#include "ui/effects_panel.h"
#include "ui/preferences.h"

namespace {

const std::filesystem::path kFixtures =
    std::filesystem::path(__FILE__).parent_path().parent_path() / "persist" / "fixtures";

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
    Preferences_SetClickSoundLoader([](bool accent, const std::string& path) {
      g_loadedSounds.emplace_back(accent, path);
      return true;
    });
  }
  void TearDown() override {
    Preferences_SetWindowStateHook(nullptr);
    Preferences_SetStereoRecordHook(nullptr);
    Preferences_SetClickSoundLoader(nullptr);
    ConfigDirectory.clear();
    Audio_Shutdown();
  }
  void WritePreferencesRows(const std::string& rows) {
    WriteBytes(dir.File("Preferences.xml"),
               "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<preferences>\n" + rows +
                   "</preferences>\n");
  }
  std::string Fixture(const char* name) { return ReadBytes((kFixtures / name).string()); }

  TempDir dir;
  ScriptedDialog dialog;
};

TEST_F(ConfigFilesTest, DefaultsAreWrittenByteForByte) {
  ASSERT_TRUE(WriteSystemConfiguration());
  ASSERT_TRUE(WritePreferences());
  ASSERT_TRUE(WriteDeviceConfiguration());
  EXPECT_EQ(ReadBytes(dir.File("SysConfig.xml")), Fixture("SysConfig.xml"));
  EXPECT_EQ(ReadBytes(dir.File("Preferences.xml")), Fixture("Preferences.xml"));
  EXPECT_EQ(ReadBytes(dir.File("DeviceConfig.xml")), Fixture("DeviceConfig.xml"));
  EXPECT_EQ(std::filesystem::file_size(dir.File("Preferences.bak")), 0u);
}

TEST_F(ConfigFilesTest, DefaultFilesReadBackUnchanged) {
  for (const char* name : {"SysConfig.xml", "Preferences.xml", "DeviceConfig.xml"})
    std::filesystem::copy_file(kFixtures / name, dir.path / name);
  ReadSystemConfiguration();
  ReadPreferences();
  ReadDeviceConfiguration();
  EXPECT_TRUE(dialog.shown.empty());
  ASSERT_TRUE(WritePreferences());
  ASSERT_TRUE(WriteDeviceConfiguration());
  EXPECT_EQ(ReadBytes(dir.File("Preferences.xml")), Fixture("Preferences.xml"));
  EXPECT_EQ(ReadBytes(dir.File("Preferences.bak")), Fixture("Preferences.xml"));
  EXPECT_EQ(ReadBytes(dir.File("DeviceConfig.xml")), Fixture("DeviceConfig.xml"));
}

TEST_F(ConfigFilesTest, MissingFilesKeepEveryDefaultSilently) {
  App_Preferences().warn_quicksave = 0;
  ReadSystemConfiguration();
  ReadPreferences();
  ReadDeviceConfiguration();
  EXPECT_TRUE(dialog.shown.empty());
  EXPECT_EQ(App_Preferences().warn_quicksave, 0);
  EXPECT_STREQ(Audio_GetDeviceConfiguration()->inputDeviceName, "none");
}

TEST_F(ConfigFilesTest, DelayMaximumIsClamped) {
  WritePreferencesRows("<delay_max_milliseconds>100</delay_max_milliseconds>");
  ReadPreferences();
  EXPECT_EQ(App_Preferences().delay_max_milliseconds, 200);
  EffectsPanel panel;
  Preferences_AttachEffectsPanel(&panel);
  WritePreferencesRows("<delay_max_milliseconds>9999</delay_max_milliseconds>");
  ReadPreferences();
  Preferences_AttachEffectsPanel(nullptr);
  EXPECT_EQ(App_Preferences().delay_max_milliseconds, 5000);
  EXPECT_EQ(panel.delayMaxMilliseconds, 5000);
}

TEST_F(ConfigFilesTest, MidiSettingsOutOfRangeAreIgnored) {
  WritePreferencesRows(
      "<metronome_midi_accent_note>128</metronome_midi_accent_note>"
      "<metronome_midi_beat_note>-1</metronome_midi_beat_note>"
      "<metronome_midi_port>16</metronome_midi_port>"
      "<metronome_midi_channel>15</metronome_midi_channel>"
      "<send_midi_sync>5</send_midi_sync>");
  ReadPreferences();
  const MidiSendSettings& midi = App_Preferences().midi;
  EXPECT_EQ(midi.metronome_midi_accent_note, 63);
  EXPECT_EQ(midi.metronome_midi_beat_note, 64);
  EXPECT_EQ(midi.metronome_midi_port, 0);
  EXPECT_EQ(midi.metronome_midi_channel, 15);
  EXPECT_EQ(midi.send_midi_sync, 1);
}

TEST_F(ConfigFilesTest, MonitorLevelsAreClampedAndReachTheEngine) {
  WritePreferencesRows(
      "<latent_input>1</latent_input>"
      "<latent_input_volume>300</latent_input_volume>"
      "<latent_input_pan>-4</latent_input_pan>"
      "<latent_input_effects_mix>127</latent_input_effects_mix>"
      "<filter_before_delay>2</filter_before_delay>"
      "<continuous_metronome>0</continuous_metronome>");
  ReadPreferences();
  const AudioEngine* engine = Audio_GetEngine();
  EXPECT_EQ(engine->latentInput, 1);
  EXPECT_DOUBLE_EQ(engine->latentVolume, 1.0);
  EXPECT_DOUBLE_EQ(engine->latentPan, 0.0);
  EXPECT_DOUBLE_EQ(engine->latentEffectsMix, 1.0);
  EXPECT_EQ(engine->filterBeforeDelay, 1);
  EXPECT_EQ(engine->continuousMetronome, 0);
  ASSERT_TRUE(WritePreferences());
  const std::string written = ReadBytes(dir.File("Preferences.xml"));
  EXPECT_NE(written.find("<latent_input_volume>127</latent_input_volume>"), std::string::npos);
  EXPECT_NE(written.find("<latent_input_pan>0</latent_input_pan>"), std::string::npos);
  EXPECT_NE(written.find("<filter_before_delay>1</filter_before_delay>"), std::string::npos);
}

TEST_F(ConfigFilesTest, StoredRowsKeepTheirIntegerAndSwitchRowsKeepOnOff) {
  WritePreferencesRows("<warn_quicksave>5</warn_quicksave><crossfade_ab>5</crossfade_ab>");
  ReadPreferences();
  EXPECT_EQ(App_Preferences().warn_quicksave, 5);
  EXPECT_EQ(App_Preferences().crossfade_ab, 1);
}

TEST_F(ConfigFilesTest, UndoRowSwitchesTheEngineAndTellsTheWindow) {
  WritePreferencesRows("<undo>0</undo>");
  ReadPreferences();
  EXPECT_EQ(Audio_GetEngine()->undoEnabled, 0u);
  EXPECT_EQ(App_Preferences().undo, 0);
  EXPECT_EQ(g_windowChanges, 1);
  WritePreferencesRows("<undo>1</undo>");
  ReadPreferences();
  EXPECT_EQ(Audio_GetEngine()->undoEnabled, 1u);
}

TEST_F(ConfigFilesTest, StereoRecordChangeRecreatesTheRecordingLoop) {
  WritePreferencesRows("<stereo_record>1</stereo_record>");
  ReadPreferences();
  EXPECT_TRUE(g_stereoChannels.empty());
  WritePreferencesRows("<stereo_record>0</stereo_record>");
  ReadPreferences();
  EXPECT_EQ(g_stereoChannels, std::vector<int>{1});
}

TEST_F(ConfigFilesTest, ClickSoundsResolveAgainstTheConfigDirectory) {
  const std::string absolute = (dir.path / "Sounds" / "click.wav").string();
  WritePreferencesRows("<metronome_accent>" + absolute + "</metronome_accent>"
                       "<metronome_beat>beats/b.wav</metronome_beat>");
  ReadPreferences();
  EXPECT_EQ(App_Preferences().metronome_accent, "Sounds/click.wav");
  EXPECT_EQ(App_Preferences().metronome_beat, "beats/b.wav");
  ASSERT_EQ(g_loadedSounds.size(), 2u);
  EXPECT_EQ(g_loadedSounds[0], std::make_pair(true, absolute));
  EXPECT_EQ(g_loadedSounds[1], std::make_pair(false, (dir.path / "beats/b.wav").string()));
  ASSERT_TRUE(WritePreferences());
  EXPECT_NE(ReadBytes(dir.File("Preferences.xml"))
                .find("<metronome_accent>Sounds/click.wav</metronome_accent>"),
            std::string::npos);
}

// A mono 16-bit WAV file of `frames` frames of silence.
void WriteClick(const std::string& path, uint32_t frames) {
  const uint32_t data = frames * 2;
  std::string wav = "RIFF";
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) wav += static_cast<char>(v >> (8 * i)); };
  auto u16 = [&](uint16_t v) { wav += static_cast<char>(v & 0xFF), wav += static_cast<char>(v >> 8); };
  u32(36 + data);
  wav += "WAVEfmt ";
  u32(16), u16(1), u16(1), u32(48000), u32(96000), u16(2), u16(16);
  wav += "data";
  u32(data);
  wav.append(data, '\0');
  WriteBytes(path, wav);
}

TEST_F(ConfigFilesTest, ClickSoundIsLoadedIntoTheMetronome) {
  Preferences_SetClickSoundLoader(nullptr);
  WriteClick(dir.File("click.wav"), 240);
  WritePreferencesRows("<metronome_accent>click.wav</metronome_accent>");
  ReadPreferences();
  EXPECT_EQ(Audio_GetEngine()->accentSample.length, 240);
  EXPECT_EQ(App_Preferences().metronome_accent, "click.wav");
}

TEST_F(ConfigFilesTest, OverlongClickSoundPathsAreIgnored) {
  WritePreferencesRows("<metronome_beat>" + std::string(260, 'x') + "</metronome_beat>"
                       "<metronome_accent></metronome_accent>");
  ReadPreferences();
  EXPECT_EQ(App_Preferences().metronome_beat, "beat.wav");
  EXPECT_EQ(App_Preferences().metronome_accent, "");
  EXPECT_TRUE(g_loadedSounds.empty());
}

TEST_F(ConfigFilesTest, SkinAndTitleBar) {
  WriteBytes(dir.File("SysConfig.xml"),
             "<system_configuration><skin>Dark &amp; R\xC3\xA9tro</skin>"
             "<show_title>0</show_title></system_configuration>");
  ReadSystemConfiguration();
  EXPECT_EQ(App_SystemConfiguration().skin, "Dark & R\xC3\xA9tro");
  EXPECT_EQ(App_SystemConfiguration().show_title, 0);
  EXPECT_EQ(g_windowChanges, 1);
  ASSERT_TRUE(WriteSystemConfiguration());
  EXPECT_NE(ReadBytes(dir.File("SysConfig.xml")).find("<skin>Dark &amp; R&#233;tro</skin>"),
            std::string::npos);
  App_SystemConfiguration().skin.clear();
  ReadSystemConfiguration();
  EXPECT_EQ(App_SystemConfiguration().skin, "Dark & R\xC3\xA9tro");

  WriteBytes(dir.File("SysConfig.xml"), "<system_configuration><skin>" + std::string(256, 's') +
                                            "</skin></system_configuration>");
  ReadSystemConfiguration();
  EXPECT_EQ(App_SystemConfiguration().skin, "Dark & R\xC3\xA9tro");
}

TEST_F(ConfigFilesTest, LatencyIsReadInMillisecondsAndWrittenFromTheStream) {
  WriteBytes(dir.File("DeviceConfig.xml"),
             "<device_configuration><latency>10.5</latency>"
             "<device_sample_rate>44100</device_sample_rate>"
             "<input_device_name>A device name well over thirty-one characters</input_device_name>"
             "<use_asio_preferrred_latency>0</use_asio_preferrred_latency>"
             "<input_channel>2</input_channel>"
             "<driver_type>8</driver_type></device_configuration>");
  ReadDeviceConfiguration();
  const DeviceConfiguration& wanted = *Audio_GetDeviceConfiguration();
  EXPECT_DOUBLE_EQ(wanted.latency, 0.0105);
  EXPECT_DOUBLE_EQ(wanted.sampleRate, 44100.0);
  EXPECT_STREQ(wanted.inputDeviceName, "A device name well over thirty-");
  EXPECT_STREQ(wanted.outputDeviceName, "none");
  EXPECT_EQ(wanted.useAsioPreferredLatency, 0);
  EXPECT_EQ(Audio_GetInputChannel(), 2);
  EXPECT_EQ(Audio_GetHostApiType(), -1);

  // The stream, once opened with the wanted values, is what the file records.
  Audio_GetEngine()->latency = wanted.latency;
  Audio_GetEngine()->sampleRate = wanted.sampleRate;
  ASSERT_TRUE(WriteDeviceConfiguration());
  const std::string written = ReadBytes(dir.File("DeviceConfig.xml"));
  EXPECT_NE(written.find("<latency>10.500000</latency>"), std::string::npos);
  EXPECT_NE(written.find("<device_sample_rate>44100.000000</device_sample_rate>"),
            std::string::npos);
  EXPECT_NE(written.find("<use_asio_preferrred_latency>0</use_asio_preferrred_latency>"),
            std::string::npos);
}

TEST_F(ConfigFilesTest, ParseErrorKeepsTheRowsBeforeIt) {
  WriteBytes(dir.File("Preferences.xml"),
             "<preferences><peakhold>0</peakhold><warn_quicksave>0</warn");
  ReadPreferences();
  EXPECT_EQ(App_Preferences().peakhold, 0);
  EXPECT_EQ(App_Preferences().warn_quicksave, 1);
  EXPECT_TRUE(dialog.Saw("Error parsing preferences file.", "XML error"));
  WriteBytes(dir.File("DeviceConfig.xml"), "");
  ReadDeviceConfiguration();
  EXPECT_TRUE(dialog.Saw("bad file size in device configuration file.", "File error"));
}

TEST_F(ConfigFilesTest, WriteFailureNamesTheFile) {
  std::filesystem::create_directory(dir.File("Preferences.xml.tmp"));
  EXPECT_FALSE(WritePreferences());
  EXPECT_TRUE(dialog.Saw("Unable to open preferences XML file for writing.", "File Error"));
}

}  // namespace
