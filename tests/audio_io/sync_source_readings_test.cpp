// What the JACK transport and Link sources make of their readings: when they are followed
// at all, where the beat of a block's first frame lies, and which changes count as a jump
// (the loops put back on the bar at once).
#include <gtest/gtest.h>

#include "audio_io/jack_transport_source.h"
#include "audio_io/link_sync_source.h"

namespace {

constexpr int64_t kT0 = 1000LL * 1000000000LL;

// A transport rolling at 120 BPM in 4/4 from frame `frame` of period `period` (256 frames
// at 48 kHz from kT0).
JackTransportReading Rolling(uint64_t period, int64_t frame, double bpm = 120.0) {
  JackTransportReading r;
  r.valid = true;
  r.rolling = true;
  r.bpm = bpm;
  r.beatsPerBar = 4;
  r.frame = frame;
  r.beat = frame / 48000.0 * bpm / 60.0;
  r.periodFrame = static_cast<int64_t>(period) * 256;
  r.periodTimeNs = kT0 + static_cast<int64_t>(period) * 5333333;
  r.period = period;
  return r;
}

SyncBlock BlockAt(int64_t timeNs, int64_t latencyNs = 0) {
  SyncBlock b;
  b.timeNs = timeNs + latencyNs;
  b.outputLatencyNs = latencyNs;
  b.frames = 256;
  return b;
}

TEST(JackTransportFollow, FollowsOnlyAMasterWithBarsAndBeatsAndCountsStartsAndRelocations) {
  JackTransportFollow f;
  SyncReading out;
  JackTransportReading none;
  f.Take(none, false, BlockAt(kT0), &out);
  EXPECT_FALSE(out.following) << "nothing read yet";
  JackTransportReading noMaster = Rolling(1, 256);
  noMaster.valid = false;
  f.Take(noMaster, true, BlockAt(kT0), &out);
  EXPECT_FALSE(out.following) << "rolling without a timebase master: the own tempo stays";

  // Rolling: followed, the start is a jump, the beat carried from the period's start to
  // the block's (output latency taken off: the period's audio is heard with it).
  f.Take(Rolling(2, 512), true, BlockAt(kT0 + 2 * 5333333 + 1000000, 3000000), &out);
  EXPECT_TRUE(out.following && out.rolling);
  EXPECT_EQ(out.beatsPerBar, 4);
  EXPECT_DOUBLE_EQ(out.bpm, 120.0);
  EXPECT_NEAR(out.beat, 512 / 24000.0 + 0.001 * 2.0, 1e-9);
  const uint32_t started = out.jumps;
  EXPECT_EQ(started, 1u);
  for (uint64_t p = 3; p < 10; ++p) f.Take(Rolling(p, static_cast<int64_t>(p) * 256), true, BlockAt(kT0 + p * 5333333), &out);
  EXPECT_EQ(out.jumps, started) << "periods that follow on are no jump";
  f.Take(Rolling(10, 96000), true, BlockAt(kT0 + 10 * 5333333), &out);
  EXPECT_EQ(out.jumps, started + 1) << "a relocation while rolling";

  // Out of range, or a server that stopped running periods: not followed, last tempo kept.
  f.Take(Rolling(11, 96256, 400.0), true, BlockAt(kT0 + 11 * 5333333), &out);
  EXPECT_FALSE(out.following);
  EXPECT_DOUBLE_EQ(out.bpm, 120.0);
  f.Take(Rolling(12, 96512), true, BlockAt(kT0 + 12 * 5333333 + JackTransportFollow::kStaleNs), &out);
  EXPECT_FALSE(out.following);
  // Stopped under a master: followed (its tempo) but not rolling; rolling again is a start.
  JackTransportReading stopped = Rolling(13, 96512);
  stopped.rolling = false;
  f.Take(stopped, true, BlockAt(kT0 + 13 * 5333333), &out);
  EXPECT_TRUE(out.following && !out.rolling);
  const uint32_t before = out.jumps;
  f.Take(Rolling(14, 96512), true, BlockAt(kT0 + 14 * 5333333), &out);
  EXPECT_EQ(out.jumps, before + 1);
}

TEST(LinkFollow, AloneNothingIsFollowedWithPeersThePhaseAndAStartIsBarOne) {
  LinkFollow f;
  SyncReading out;
  LinkReading alone;
  alone.bpm = 133;
  alone.beat = 5.5;
  f.Take(alone, 4, &out);
  EXPECT_FALSE(out.following);

  LinkReading r = alone;
  r.peers = 1;
  f.Take(r, 4, &out);
  EXPECT_TRUE(out.following && out.rolling);
  EXPECT_DOUBLE_EQ(out.bpm, 133.0);
  EXPECT_EQ(out.beatsPerBar, 4);
  EXPECT_DOUBLE_EQ(out.beat, 5.5);  // any bar line of the session is a loop start
  const uint32_t jumps = out.jumps;

  // The session starts playing on beat 4.0 (a bar line): from then on that is bar 1.
  r.playing = true;
  r.startBeat = 3.9999999;
  r.beat = 6.25;
  f.Take(r, 4, &out);
  EXPECT_EQ(out.jumps, jumps + 1);
  EXPECT_NEAR(out.beat, 2.25, 1e-9);
  r.beat = 7.0;
  f.Take(r, 4, &out);
  EXPECT_EQ(out.jumps, jumps + 1);

  r.bpm = 350;  // out of range: not followed, the last tempo kept
  f.Take(r, 4, &out);
  EXPECT_FALSE(out.following);
  EXPECT_DOUBLE_EQ(out.bpm, 133.0);
}

}  // namespace
