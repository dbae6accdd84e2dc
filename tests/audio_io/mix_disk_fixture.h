#pragma once
// The mix-to-disk tests' fixture: an engine with the writer attached, a session folder,
// and a stand-in for the stream callback that hands the writer recognisable output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audio_io/mix_disk_writer.h"
#include "audio_io/wav_bytes.h"
#include "engine/audio.h"
#include "support/scripted_dialog.h"

namespace fs = std::filesystem;

class MixToDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Audio_Init());
    MixDisk_Attach(Audio_GetEngine());
    static int serial = 0;
    dir = fs::temp_directory_path() /
          ("kestrine-mix-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fs::create_directories(dir / "Song_Mix");
  }
  void TearDown() override {
    MixDisk_Detach(Audio_GetEngine());
    Audio_Shutdown();
    fs::remove_all(dir);
  }

  // One callback's worth of output: frame f of the run holds (f, -f) scaled.
  void Render(unsigned long frames) {
    std::vector<float> out(2 * frames);
    for (unsigned long f = 0; f < frames; ++f) {
      out[2 * f] = static_cast<float>((rendered + f) % 1000) / 32768.0f;
      out[2 * f + 1] = -out[2 * f];
    }
    AudioEngine* e = Audio_GetEngine();
    e->mixOutput.load()(e->mixOutputUser, out.data(), frames);
    rendered += frames;
  }
  bool Start() { return Audio_StartMixToDisk("", dir.string(), "Song"); }
  std::string MixFile(int n) const {
    char name[32];
    std::snprintf(name, sizeof name, "Song_%.2d.wav", n);
    return (dir / "Song_Mix" / name).string();
  }
  // The file holds a header stating `bytes` of data, and every sampled frame in order.
  static void ExpectMix(const std::vector<uint8_t>& b, uint32_t bytes) {
    ASSERT_EQ(b.size(), 44u + bytes);
    EXPECT_EQ(GetU32(b, 4), 36u + bytes);
    EXPECT_EQ(GetU32(b, 40), bytes);
    for (size_t f = 0; f < bytes / 4; f += 331) {
      EXPECT_EQ(static_cast<int16_t>(GetU16(b, 44 + 4 * f)), static_cast<int16_t>(f % 1000));
      EXPECT_EQ(static_cast<int16_t>(GetU16(b, 46 + 4 * f)), -static_cast<int16_t>(f % 1000));
    }
  }

  ScriptedDialog messages;
  fs::path dir;
  unsigned long rendered = 0;
};
