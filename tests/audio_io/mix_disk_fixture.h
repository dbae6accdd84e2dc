#pragma once
// Mix to disk driven by a stand-in for the stream callback that hands the writer
// recognisable output: frame f holds (f, -f) modulo 1000, as 16-bit samples.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
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
    dir = fs::temp_directory_path() / ("kestrine-mix-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fs::create_directories(dir / "Song_Mix");
  }
  void TearDown() override { MixDisk_Detach(Audio_GetEngine()), Audio_Shutdown(), fs::remove_all(dir); }

  static int16_t Sample(size_t f) { return static_cast<int16_t>(f % 1000); }
  void Render(unsigned long frames) {  // one callback's worth of output
    std::vector<float> out;
    for (unsigned long f = rendered; f < rendered + frames; ++f) out.insert(out.end(), {Sample(f) / 32768.0f, -Sample(f) / 32768.0f});
    Audio_GetEngine()->mixOutput.load()(Audio_GetEngine()->mixOutputUser, out.data(), frames);
    rendered += frames;
  }
  bool Start() { return Audio_StartMixToDisk("", dir.string(), "Song"); }
  std::string MixFile(int n) const { return (dir / "Song_Mix" / ("Song_" + std::to_string(100 + n).substr(1) + ".wav")).string(); }
  // The file is a canonical 48 kHz stereo WAV of the first `bytes` / 4 frames rendered.
  static void ExpectMix(const std::string& path, uint32_t bytes) {
    WavLayout mix;
    for (size_t f = 0; f < bytes / 4; ++f) mix.samples.insert(mix.samples.end(), {Sample(f), static_cast<int16_t>(-Sample(f))});
    const std::vector<uint8_t> b = ReadByteVector(path);
    EXPECT_TRUE(b == WavBytes(mix)) << path << " holds " << b.size() << " bytes";
  }

  ScriptedDialog messages;
  fs::path dir;
  unsigned long rendered = 0;
};
