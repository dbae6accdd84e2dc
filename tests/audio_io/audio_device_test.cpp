// The audio layer without a usable device: device names, host API selection, failed opens and starts.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "audio_io/audio_device.h"
#include "engine/audio.h"
#include "support/scripted_dialog.h"

namespace {

class AudioDevice : public ::testing::Test {
 protected:
  void SetUp() override { AudioIo_Install(); ASSERT_TRUE(Audio_Init()); }
  void TearDown() override { Audio_Shutdown(); }
  ScriptedDialog messages;
};

// Names are stored in 31 bytes, cut on a UTF-8 boundary, so a device's own name cut alike finds it again.
TEST_F(AudioDevice, LongDeviceNamesAreCutOnACharacterBoundary) {
  const std::string name = std::string(29, 'a') + "\xC3\xA9\xC3\xBC" + " USB";  // the cut falls after "é"
  const struct { std::string name; size_t cut; } cases[] = {
      {name, 31}, {"b" + name, 30}, {std::string(30, 'c') + "\xE2\x82\xAC", 30}, {"system", 6}, {std::string(40, 'n'), 31}};
  for (const auto& c : cases) {
    DeviceConfiguration_SetInputName(c.name.c_str()), DeviceConfiguration_SetOutputName(c.name.c_str());
    EXPECT_EQ(DeviceName_CutLength(c.name.c_str()), c.cut) << c.name;
    EXPECT_EQ(Audio_GetDeviceConfiguration()->inputDeviceName + ("|" + std::string(Audio_GetDeviceConfiguration()->outputDeviceName)),
              c.name.substr(0, c.cut) + "|" + c.name.substr(0, c.cut));
  }
}

// A failed open reports why and leaves the engine's device fields as they were.
TEST_F(AudioDevice, HostApiIsSelectedByTypeAndFailedOpensChangeNothing) {
  AudioEngine* e = Audio_GetEngine();
  EXPECT_NE(e->mixOutput.load(), nullptr) << "the mix writer is attached";
  EXPECT_FALSE(Audio_OpenConfiguredDevice());
  EXPECT_TRUE(messages.shown.empty()) << "the caller reports a configured device that is missing";
  EXPECT_FALSE(Audio_OpenDevice(48000.0, 2, 0.08, 0, 0));  // no host API yet
  EXPECT_TRUE(messages.Saw("Please go to Options->Select Audio Devices\nand choose an audio device.",
                           "Select an Audio Device"));
  ASSERT_TRUE(Audio_SetHostApi(8)) << "PortAudio is built with ALSA here";
  EXPECT_EQ(Audio_GetHostApiType(), 8);
  const int input = e->inputDevice, output = e->outputDevice;
  EXPECT_FALSE(Audio_OpenDevice(48000.0, 2, 0.08, 9999, 9999));
  EXPECT_TRUE(messages.Saw("Portaudio could not get info for the input device.", "Audio_OpenDevice()"));
  EXPECT_FALSE(Audio_OpenStream(44100.0, 2, 0.02, 9999, 9999));
  EXPECT_EQ(messages.shown.at(2).caption, "PortAudio Error");
  EXPECT_FALSE(Audio_OpenStream(48000.0, 1, 0.08, 0, 0));  // only stereo streams: a programming error
  EXPECT_EQ(messages.shown.at(3).text.rfind("numChannels out of range\n File: audio\nLine: ", 0), 0u);
  EXPECT_EQ(std::tuple(e->sampleRate.load(), e->latencyFrames, e->inputDevice, e->outputDevice, e->stream),
            std::tuple(48000.0, 3, input, output, nullptr));
  EXPECT_FALSE(Audio_SetHostApi(3));  // ASIO never exists
  EXPECT_EQ(Audio_GetHostApiType(), -1) << "an absent type leaves no driver selected";
  EXPECT_FALSE(Audio_RecordLooping(Audio_CreateLoop(1.0, 0.9, 2, 0)));  // no stream to start
  EXPECT_TRUE(messages.Saw("No audio device is running.\nChoose one in Options->Select Audio Devices.",
                           "Audio_RecordLooping()"));
  EXPECT_FALSE(messages.Saw("Invalid stream pointer", "PortAudio Error"));
  EXPECT_EQ(Audio_GetTransportState(), Stopped);
}

}  // namespace
