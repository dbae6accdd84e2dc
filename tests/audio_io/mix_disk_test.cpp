// Mix to disk: numbered files, staging through the callback and the timer, dropped
// blocks, and the ways a mix ends early.
#include "audio_io/mix_disk_fixture.h"

namespace {

TEST_F(MixToDisk, TakesTheNextFreeNameAndKeepsEveryFrameThroughCallbackAndTimer) {
  // A dangling link in place of number 00: writing through it would create the target.
  fs::create_symlink(dir / "elsewhere.wav", MixFile(0));
  WriteBytes(MixFile(1), {0});
  ASSERT_TRUE(Start());
  EXPECT_EQ(Audio_GetMixFilePath(), MixFile(2));
  EXPECT_FALSE(fs::exists(dir / "elsewhere.wav"));
  while (rendered < 48000) {  // callbacks of 256 frames, the timer every ~33 ms of audio
    Render(std::min<unsigned long>(256, 48000 - rendered));
    if (rendered % (256 * 6) == 0) Audio_PollChanges();
  }
  // Starting a new mix (here in the mix directory) closes the first one properly.
  const fs::path elsewhere = dir / "mixes" / "Song_Mix" / "Song_00.wav";
  ASSERT_TRUE(Audio_StartMixToDisk((dir / "mixes").string(), dir.string(), "Song"));
  EXPECT_EQ(Audio_GetMixFilePath(), elsewhere.string());
  ExpectMix(MixFile(2), 192000);
  EXPECT_TRUE(Audio_StopMixToDisk());  // right after the start: an empty, valid file
  EXPECT_TRUE(!Audio_IsMixingToDisk() && Audio_GetMixFilePath().empty());
  ExpectMix(elsewhere.string(), 0);

  for (int n = 3; n < 100; ++n) WriteBytes(MixFile(n), {0});  // every name taken: nothing opens
  EXPECT_FALSE(Start());
  EXPECT_FALSE(MixDiskWriter_Open(MixDisk_Writer(), (dir / "missing" / "x.wav").c_str(), 48000));
  EXPECT_FALSE(Audio_IsMixingToDisk());
  EXPECT_TRUE(Audio_StopMixToDisk() && messages.shown.empty());  // nothing open: success
}

TEST_F(MixToDisk, StagingDropsBlocksWhenBothBuffersAreFullAndNothingWhileClosed) {
  MixDiskWriter* w = MixDisk_Writer();
  Render(512), rendered = 0;
  EXPECT_EQ(w->count[0].load(), 0u) << "no file: nothing staged";
  ASSERT_TRUE(Start());
  // Three seconds without a timer tick: two buffers of 96000 frames fill, the rest drops.
  for (int i = 0; i < 144000 / 512 * 2; ++i) Render(512);
  EXPECT_TRUE(w->state[0] == MIX_FULL && w->state[1] == MIX_FULL);
  Audio_PollChanges();
  EXPECT_TRUE(w->state[0] == MIX_FREE && w->state[1] == MIX_FREE);
  EXPECT_TRUE(Audio_StopMixToDisk());
  ExpectMix(MixFile(0), 2 * MIX_BUFFER_BYTES);
}

// However a mix ends early, its file is valid and holds what was written, and nothing more is staged.
TEST_F(MixToDisk, AMixEndedEarlyLeavesAValidFileOfWhatWasWritten) {
  MixDiskWriter* w = MixDisk_Writer();
  const uint32_t sizeLimit = w->maxDataBytes;
  auto fillBuffer = [&] { for (int i = 0; i < 96000 / 500; ++i) Render(500); };
  ASSERT_TRUE(Start());
  w->maxDataBytes = 100000;  // stands in for the 4 GiB limit of the 32-bit size fields
  fillBuffer(), Audio_PollChanges();  // only what fits is written, then the file closes
  EXPECT_FALSE(Audio_IsMixingToDisk());
  Render(500);
  EXPECT_TRUE(w->state[0] == MIX_FREE && w->state[1] == MIX_FREE);
  ExpectMix(MixFile(0), 100000);

  w->maxDataBytes = sizeLimit, rendered = 0;
  ASSERT_TRUE(Start());
  fillBuffer(), Audio_PollChanges();  // the first buffer reaches the file
  fillBuffer();
  WithFileSizeLimit(44 + MIX_BUFFER_BYTES + 1000, [] { Audio_PollChanges(); });  // the second fails part way
  EXPECT_TRUE(!Audio_IsMixingToDisk() && messages.Saw("Mix to disk stopped: writing " + MixFile(1) + " failed.", "File Error"));
  ExpectMix(MixFile(1), MIX_BUFFER_BYTES);
  Render(500);
  EXPECT_EQ(w->state[0].load(), MIX_FREE);

  rendered = 0;  // a stream opened at another rate closes the file; at the same rate it goes on
  ASSERT_TRUE(Start());
  EXPECT_EQ(Audio_GetMixFilePath(), MixFile(2));
  Render(1000), MixDisk_StreamOpened(48000.0), Render(1000);
  MixDisk_StreamOpened(44100.0);
  EXPECT_TRUE(!Audio_IsMixingToDisk() && messages.shown.size() == 1);
  ExpectMix(MixFile(2), 2000 * 4);
}

}  // namespace
