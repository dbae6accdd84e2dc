// Click sounds for the metronome: a file with more channels than the click track can
// hold is refused with a message, and the sample in use stays.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "audio_io/loop_files.h"
#include "audio_io/wav_bytes.h"
#include "engine/audio.h"
#include "support/scripted_dialog.h"

namespace {

TEST(ClickSample, AFileOfMoreThanTwoChannelsIsRefusedWithAMessage) {
  ScriptedDialog messages;
  ASSERT_TRUE(Audio_Init());
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kestrine-click-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  WavLayout click;
  click.channels = 1;
  click.samples.assign(200, 1000);
  const std::string mono = (dir / "mono.wav").string();
  ASSERT_TRUE(WriteBytes(mono, WavBytes(click)));
  ASSERT_TRUE(Audio_LoadClickSample(ClickBeat, mono.c_str(), 2.0, 4));
  const float* kept = Audio_GetEngine()->beatSample.pBuffer;

  click.channels = 4;
  click.samples.assign(4 * 200, 1000);
  const std::string quad = (dir / "quad.wav").string();
  ASSERT_TRUE(WriteBytes(quad, WavBytes(click)));
  EXPECT_FALSE(Audio_LoadClickSample(ClickBeat, quad.c_str(), 2.0, 4));
  EXPECT_TRUE(messages.Saw("Click samples must be mono or stereo:\n" + quad + " has 4 channels.",
                           "Audio_LoadClickSample()"));
  EXPECT_EQ(Audio_GetEngine()->beatSample.pBuffer.load(), kept);
  Audio_Shutdown();
  std::filesystem::remove_all(dir);
}

}  // namespace
