// Mix to disk: numbered files, header patch at close, staging through the callback and
// the timer, dropped blocks when the timer falls behind, the 32-bit size limit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "audio_io/mix_disk_writer.h"
#include "audio_io/wav_bytes.h"
#include "engine/audio.h"
#include "support/scripted_dialog.h"

namespace fs = std::filesystem;

namespace {

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

TEST_F(MixToDisk, TakesTheNextFreeNameAndKeepsEveryFrameThroughCallbackAndTimer) {
  WriteBytes(MixFile(0), {0});
  WriteBytes(MixFile(1), {0});
  ASSERT_TRUE(Start());
  EXPECT_EQ(Audio_GetMixFilePath(), MixFile(2));
  while (rendered < 48000) {  // callbacks of 256 frames, the timer every ~33 ms of audio
    Render(std::min<unsigned long>(256, 48000 - rendered));
    if (rendered % (256 * 6) == 0) Audio_PollChanges();
  }
  // Starting a new mix (here in the mix directory) closes the first one properly.
  const fs::path elsewhere = dir / "mixes" / "Song_Mix" / "Song_00.wav";
  ASSERT_TRUE(Audio_StartMixToDisk((dir / "mixes").string(), dir.string(), "Song"));
  EXPECT_EQ(Audio_GetMixFilePath(), elsewhere.string());
  ExpectMix(ReadBytes(MixFile(2)), 192000);
  const std::vector<uint8_t> b = ReadBytes(MixFile(2));
  EXPECT_EQ(GetU16(b, 22), 2u);
  EXPECT_EQ(GetU32(b, 24), 48000u);
  EXPECT_EQ(GetU32(b, 28), 192000u);
  EXPECT_EQ(GetU16(b, 34), 16u);

  EXPECT_TRUE(Audio_StopMixToDisk());  // right after the start: an empty, valid file
  EXPECT_FALSE(Audio_IsMixingToDisk());
  ExpectMix(ReadBytes(elsewhere.string()), 0);
}

TEST_F(MixToDisk, NothingOpensWhenAllHundredNamesAreTakenOrTheFileCannotBeCreated) {
  for (int n = 0; n < 100; ++n) WriteBytes(MixFile(n), {0});
  EXPECT_FALSE(Start());
  EXPECT_FALSE(MixDiskWriter_Open(MixDisk_Writer(), (dir / "missing" / "x.wav").c_str(), 48000));
  EXPECT_FALSE(Audio_IsMixingToDisk());
  EXPECT_TRUE(Audio_StopMixToDisk());  // nothing open: success
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MixToDisk, StagingDropsBlocksWhenBothBuffersAreFullAndNothingWhileClosed) {
  MixDiskWriter* w = MixDisk_Writer();
  Render(512);  // no file: nothing staged
  EXPECT_EQ(w->count[0].load(), 0u);
  ASSERT_TRUE(Start());
  // Three seconds without a timer tick: two buffers of 96000 frames fill, the rest drops.
  for (int i = 0; i < 144000 / 512 * 2; ++i) Render(512);
  EXPECT_EQ(w->state[0].load(), MIX_FULL);
  EXPECT_EQ(w->state[1].load(), MIX_FULL);
  Audio_PollChanges();
  EXPECT_EQ(w->state[0].load(), MIX_FREE);
  EXPECT_EQ(w->state[1].load(), MIX_FREE);
  EXPECT_TRUE(Audio_StopMixToDisk());
  EXPECT_EQ(ReadBytes(MixFile(0)).size(), 44u + 2u * MIX_BUFFER_BYTES);
}

TEST_F(MixToDisk, StopsCleanlyBeforeTheSizeFieldsWouldOverflow) {
  MixDiskWriter* w = MixDisk_Writer();
  ASSERT_TRUE(Start());
  w->maxDataBytes = 100000;  // stands in for the 4 GiB limit of the 32-bit fields
  for (int i = 0; i < 96000 / 500; ++i) Render(500);
  Audio_PollChanges();  // buffer 0 is full: only what fits is written, then the file closes
  EXPECT_FALSE(Audio_IsMixingToDisk());
  Render(500);  // later output is not staged
  EXPECT_EQ(w->state[0].load(), MIX_FREE);
  EXPECT_EQ(w->state[1].load(), MIX_FREE);
  ExpectMix(ReadBytes(MixFile(0)), 100000);
}

TEST_F(MixToDisk, CallbackAndTimerOnTwoThreadsLoseNoFrameWhileTheTimerKeepsUp) {
  ASSERT_TRUE(Start());
  std::atomic<bool> done{false};
  std::thread timer([&] {
    while (!done.load()) {
      Audio_PollChanges();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int i = 0; i < 400; ++i) {
    Render(256);
    if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  done = true;
  timer.join();
  EXPECT_TRUE(Audio_StopMixToDisk());
  ExpectMix(ReadBytes(MixFile(0)), 400u * 256u * 4u);
}

}  // namespace
