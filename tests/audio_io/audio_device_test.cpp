// The audio layer without a usable device: start-up defaults, host API selection by
// type, the messages of a device that cannot be opened, and transport operations that
// find no stream to start.
#include <gtest/gtest.h>

#include <string>

#include "audio_io/audio_device.h"
#include "engine/audio.h"
#include "support/scripted_dialog.h"

namespace {

class AudioDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    AudioIo_Install();
    ASSERT_TRUE(Audio_Init());
  }
  void TearDown() override { Audio_Shutdown(); }

  ScriptedDialog messages;
};

TEST_F(AudioDevice, StartsWithTheDefaultDeviceSettingsAndNoHostApi) {
  AudioEngine* e = Audio_GetEngine();
  EXPECT_EQ(e->sampleRate, 48000.0);
  EXPECT_EQ(e->latency, 0.08);
  EXPECT_EQ(e->latencyFrames, 3);
  EXPECT_NE(e->mixOutput.load(), nullptr) << "the mix writer is attached";
  EXPECT_STREQ(Audio_GetDeviceConfiguration()->inputDeviceName, "none");
  DeviceConfiguration_SetInputName(std::string(40, 'n').c_str());
  EXPECT_EQ(std::string(Audio_GetDeviceConfiguration()->inputDeviceName), std::string(31, 'n'));
  EXPECT_EQ(Audio_GetHostApiType(), -1);

  EXPECT_FALSE(Audio_OpenConfiguredDevice());
  EXPECT_TRUE(messages.shown.empty()) << "the caller reports a configured device that is missing";
  EXPECT_FALSE(Audio_OpenDevice(48000.0, 2, 0.08, 0, 0));
  EXPECT_TRUE(messages.Saw("Please go to Options->Select Audio Devices\nand choose an audio device.",
                           "Select an Audio Device"));
}

TEST_F(AudioDevice, LongDeviceNamesAreCutOnACharacterBoundary) {
  // 29 ASCII bytes, then "é" and "ü" (2 bytes each): the 31-byte cut falls between them.
  const std::string name = std::string(29, 'a') + "\xC3\xA9\xC3\xBC" + " USB";
  DeviceConfiguration_SetOutputName(name.c_str());
  const std::string stored = Audio_GetDeviceConfiguration()->outputDeviceName;
  EXPECT_EQ(stored, name.substr(0, 31));
  EXPECT_EQ(DeviceName_CutLength(name.c_str()), 31u);
  const std::string shifted = "b" + name;  // now the cut would split "é"
  DeviceConfiguration_SetOutputName(shifted.c_str());
  EXPECT_EQ(std::string(Audio_GetDeviceConfiguration()->outputDeviceName), shifted.substr(0, 30));
  // The device's own name, cut the same way, equals what was stored: it is found again.
  EXPECT_EQ(DeviceName_CutLength(shifted.c_str()), 30u);
  const std::string threeBytes = std::string(30, 'c') + "\xE2\x82\xAC";  // "€" across the cut
  EXPECT_EQ(DeviceName_CutLength(threeBytes.c_str()), 30u);
  EXPECT_EQ(DeviceName_CutLength("system"), 6u);
}

TEST_F(AudioDevice, HostApiIsSelectedByTypeAndAsioNeverExists) {
  EXPECT_FALSE(Audio_SetHostApi(3));
  ASSERT_TRUE(Audio_SetHostApi(8)) << "PortAudio is built with ALSA here";
  EXPECT_EQ(Audio_GetHostApiType(), 8);
  EXPECT_FALSE(Audio_SetHostApi(3));
  EXPECT_EQ(Audio_GetHostApiType(), -1) << "an absent type leaves no driver selected";
}

TEST_F(AudioDevice, UnknownDevicesAreReportedAndLeaveTheDeviceFieldsAsTheyWere) {
  ASSERT_TRUE(Audio_SetHostApi(8));
  AudioEngine* e = Audio_GetEngine();
  const int input = e->inputDevice, output = e->outputDevice;
  EXPECT_FALSE(Audio_OpenDevice(48000.0, 2, 0.08, 9999, 9999));
  EXPECT_TRUE(messages.Saw("Portaudio could not get info for the input device.", "Audio_OpenDevice()"));
  messages.shown.clear();
  EXPECT_FALSE(Audio_OpenStream(44100.0, 2, 0.02, 9999, 9999));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].caption, "PortAudio Error");
  EXPECT_EQ(e->sampleRate, 48000.0);
  EXPECT_EQ(e->latencyFrames, 3);
  EXPECT_EQ(e->inputDevice, input);
  EXPECT_EQ(e->outputDevice, output);
  EXPECT_EQ(e->stream, nullptr);
}

TEST_F(AudioDevice, OpeningOverAnOpenStreamOrWithOtherThanTwoChannelsIsAProgrammingError) {
  AudioEngine* e = Audio_GetEngine();
  int fakeStream = 0;
  e->stream = &fakeStream;
  EXPECT_FALSE(Audio_OpenStream(48000.0, 2, 0.08, 0, 0));
  e->stream = nullptr;
  EXPECT_FALSE(Audio_OpenStream(48000.0, 1, 0.08, 0, 0));
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0].caption, "Assert Failed");
  EXPECT_EQ(messages.shown[0].text.rfind("Stream Still Open\n File: audio\nLine: ", 0), 0u);
  EXPECT_EQ(messages.shown[1].text.rfind("numChannels out of range\n File: audio\nLine: ", 0), 0u);
}

TEST_F(AudioDevice, TransportWithoutAStreamReportsThatItCannotStart) {
  const int track = Audio_CreateLoop(1.0, 0.9, 2, 0);
  Audio_PlayLooping();
  EXPECT_TRUE(messages.Saw("Unable to start stream!", "Audio_PlayLooping()"));
  EXPECT_FALSE(Audio_RecordLooping(track));
  EXPECT_TRUE(messages.Saw("Unable to start stream!", "Audio_RecordLooping()"));
  EXPECT_EQ(Audio_GetTransportState(), Stopped);
}

}  // namespace
