// Following a MIDI clock: synthetic clock streams through the in-memory MIDI layer into the
// follower, read as the engine reads it, and through the stream callback: lock time, tempo
// and phase error, waiting starts on the bar, a clock that goes or jumps, and an hour of
// drift against an audio clock that runs fast.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "control/clock_stream.h"
#include "control/first_system_call.h"
#include "control/memory_midi_backend.h"
#include "control/midi_clock_in.h"
#include "control/midi_ports.h"
#include "engine/audio.h"
#include "engine/sync_follow.h"
#include "support/engine_fixture.h"

extern thread_local long allocations, lockAttempts;

namespace {

constexpr double kRate = 48000.0;
constexpr int64_t kT0 = 1000LL * 1000000000LL;  // the steady clock at the stream's frame 0
constexpr int64_t kClockStart = kT0 + 100000000LL;  // the first tick, 0.1 s in

struct Figures {
  double lockBeats = -1;   // beats from the first tick to following
  double maxBpmError = 0;  // after settling
  double maxPhaseFrames = 0;
  double rmsPhaseFrames = 0;
};

class ClockFollow : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MidiPorts_UseBackend(&midi);
    device = midi.AddDevice("Drum machine", true, false);
    ASSERT_TRUE(OpenMidiPorts());
    NewClock();
  }
  void TearDown() override {
    Audio_SetCallbackRunning(false);
    SyncFollow_Detach(engine());
    MidiPorts_UseClockIn(nullptr);
    CloseMidiPorts();
    MidiPorts_UseBackend(nullptr);
    EngineTest::TearDown();
  }
  void NewClock() {
    clock = std::make_unique<MidiClockIn>();
    MidiPorts_UseClockIn(clock.get());
    next = 0;
  }

  // The steady-clock time of stream frame `frame`; the audio clock runs `ppm` fast.
  int64_t TimeAt(uint64_t frame) const {
    return kT0 + std::llround(static_cast<double>(frame) * 1e9 / (kRate * (1.0 + ppm * 1e-6)));
  }
  static int64_t SyntheticClock(void* user, uint64_t frame, double) {
    return static_cast<ClockFollow*>(user)->TimeAt(frame);
  }

  // Hands the MIDI layer whatever has arrived by `timeNs` and polls it, as the
  // user-interface timer does.
  void Deliver(const ClockStream& s, int64_t timeNs) {
    bool any = false;
    for (; next < s.events.size() && s.events[next].arrivalNs <= timeNs; ++next, any = true)
      midi.InjectAt(device, s.events[next].message, s.events[next].arrivalNs);
    if (any) MidiPoll();
  }

  // The follower read alone for the block at `frame`.
  SyncReading ReadAt(const ClockStream& s, uint64_t frame) {
    SyncBlock block;
    block.timeNs = TimeAt(frame);
    block.frame = frame;
    block.frames = 256;
    Deliver(s, block.timeNs);
    SyncReading r;
    clock->Read(block, &r);
    return r;
  }

  // Lock time and errors over `seconds` of the stream, read every 256 frames. Errors count
  // from one beat after the lock (the fit's window filled with the clock's own ticks).
  Figures Measure(const ClockStream& s, double seconds, double settleBeats = 1.0) {
    Figures f;
    double sumSquares = 0;
    long samples = 0;
    for (uint64_t frame = 0; frame < static_cast<uint64_t>(seconds * kRate); frame += 256) {
      const SyncReading r = ReadAt(s, frame);
      const int64_t t = TimeAt(frame);
      if (!r.following) continue;
      const double beat = s.TrueBeat(t);
      if (f.lockBeats < 0) f.lockBeats = beat;
      if (beat < f.lockBeats + settleBeats) continue;
      const double framesPerBeat = kRate * 60.0 / s.TrueBpm(t);
      const double phase = (r.beat - beat) * framesPerBeat;
      f.maxBpmError = std::max(f.maxBpmError, std::fabs(r.bpm - s.TrueBpm(t)));
      f.maxPhaseFrames = std::max(f.maxPhaseFrames, std::fabs(phase));
      sumSquares += phase * phase;
      ++samples;
    }
    f.rmsPhaseFrames = samples ? std::sqrt(sumSquares / samples) : 0;
    return f;
  }

  // Engine side: the callback follows the clock on the synthetic time.
  void Follow() {
    SyncFollow_UseClock(engine(), SyntheticClock, this);
    SyncFollow_Attach(engine(), clock.get());
    Audio_SetCallbackRunning(true);  // starts wait for the bar only with a stream running
  }
  // One callback of `frames`, with the MIDI delivered up to its first frame.
  void Block(const ClockStream& s, unsigned long frames = 256) {
    Deliver(s, TimeAt(engine()->sync.frame));
    Run(static_cast<long>(frames), frames);
  }
  // Callbacks until `done` or `seconds` have passed; false on the time running out.
  template <class Done>
  bool BlocksUntil(const ClockStream& s, double seconds, Done done) {
    const uint64_t end = engine()->sync.frame + static_cast<uint64_t>(seconds * kRate);
    while (engine()->sync.frame < end) {
      if (done()) return true;
      Block(s);
    }
    return done();
  }
  // The true stream frame of source beat `beat`.
  double FrameOfBeat(const ClockStream& s, double beat) const {
    return static_cast<double>(s.TimeOfBeat(beat) - kT0) * 1e-9 * kRate * (1.0 + ppm * 1e-6);
  }

  MemoryMidiBackend midi;
  int device = 0;
  std::unique_ptr<MidiClockIn> clock;
  size_t next = 0;
  double ppm = 0.0;
};

double Steady(double) { return 120.0; }

TEST_F(ClockFollow, SteadyAndJitteredClocksLockWithinTwoBeatsWithSmallTempoAndPhaseErrors) {
  const ClockStream steady(kClockStart, 20.0, Steady, 0.0);
  const Figures s = Measure(steady, 20.0);
  NewClock();
  const ClockStream jittered(kClockStart, 60.0, Steady, 1.5);
  const Figures j = Measure(jittered, 60.0);
  std::printf("steady 120 BPM: lock %.2f beats, tempo error %.4f BPM, phase error max %.2f rms %.2f frames\n",
              s.lockBeats, s.maxBpmError, s.maxPhaseFrames, s.rmsPhaseFrames);
  std::printf("+-1.5 ms jitter: lock %.2f beats, tempo error %.4f BPM, phase error max %.2f rms %.2f frames\n",
              j.lockBeats, j.maxBpmError, j.maxPhaseFrames, j.rmsPhaseFrames);
  EXPECT_GE(s.lockBeats, 0.0);
  EXPECT_LE(s.lockBeats, 2.0);
  EXPECT_LT(s.maxBpmError, 0.001);
  EXPECT_LT(s.maxPhaseFrames, 1.0);
  EXPECT_GE(j.lockBeats, 0.0);
  EXPECT_LE(j.lockBeats, 2.0);
  EXPECT_LT(j.maxBpmError, 1.0);
  EXPECT_LT(j.maxPhaseFrames, 72.0);  // 1.5 ms
  EXPECT_LT(j.rmsPhaseFrames, 24.0);  // 0.5 ms
}

TEST_F(ClockFollow, ATempoRampIsFollowedWithinOneBeat) {
  // 120 for 4 s, then up to 126 over 4 s, then 126.
  auto ramp = [](double t) { return t < 4.0 ? 120.0 : t < 8.0 ? 120.0 + 1.5 * (t - 4.0) : 126.0; };
  const ClockStream s(kClockStart, 14.0, ramp, 1.5);
  double worstAfterABeat = 0;
  double worstSteady = 0;
  for (uint64_t frame = 0; frame < static_cast<uint64_t>(14.0 * kRate); frame += 256) {
    const SyncReading r = ReadAt(s, frame);
    const double t = static_cast<double>(TimeAt(frame) - kClockStart) * 1e-9;
    if (!r.following) continue;
    // One beat (at most 0.5 s) after the tempo it should show.
    const double shouldBe = ramp(std::max(0.0, t - 0.5));
    if (t > 4.5 && t < 8.5) worstAfterABeat = std::max(worstAfterABeat, std::fabs(r.bpm - shouldBe) - 0.75);
    if (t > 8.5) worstSteady = std::max(worstSteady, std::fabs(r.bpm - 126.0));
  }
  std::printf("ramp 120->126: tempo a beat behind within %.3f BPM, at 126 within %.3f BPM\n", worstAfterABeat + 0.75,
              worstSteady);
  EXPECT_LT(worstAfterABeat, 0.5);  // between the tempo a beat ago and now, give or take jitter
  EXPECT_LT(worstSteady, 1.0);
}

TEST_F(ClockFollow, TemposOutsideTwentyToThreeHundredAreIgnoredAndReportedOnce) {
  // Five seconds at 400, then the drum machine is set to 100: far slower than the line
  // the follower had, and followed all the same.
  const ClockStream fast(kClockStart, 10.0, [](double t) { return t < 5.0 ? 400.0 : 100.0; }, 0.0);
  bool everFollowing = false;
  SyncReading last;
  for (uint64_t frame = 0; frame < static_cast<uint64_t>(10.0 * kRate); frame += 256) {
    last = ReadAt(fast, frame);
    if (frame < static_cast<uint64_t>(5.0 * kRate)) everFollowing |= last.following;
  }
  EXPECT_FALSE(everFollowing);
  EXPECT_EQ(clock->OutOfRangeEpisodes(), 1u);
  EXPECT_NEAR(clock->OutOfRangeBpm(), 400.0, 0.5);
  EXPECT_TRUE(last.following);
  EXPECT_NEAR(last.bpm, 100.0, 0.01);

  NewClock();
  const ClockStream slow(kClockStart, 20.0, [](double) { return 15.0; }, 0.0);
  everFollowing = false;
  for (uint64_t frame = 0; frame < static_cast<uint64_t>(20.0 * kRate); frame += 256)
    everFollowing |= ReadAt(slow, frame).following;
  EXPECT_FALSE(everFollowing);
  EXPECT_EQ(clock->OutOfRangeEpisodes(), 1u);
}

TEST_F(ClockFollow, RecordAndSetLoopWaitForTheBarAndTheFirstTakeIsWholeBars) {
  const int loop = MakeLoop(4 * 96000, 2);
  const ClockStream s(kClockStart, 30.0, Steady, 0.0);
  Follow();
  ASSERT_TRUE(BlocksUntil(s, 3.0, [&] { return engine()->sync.rolling.load() != 0; }));
  const double beatNow = engine()->sync.beat;
  ASSERT_TRUE(Audio_RecordLooping(loop));
  EXPECT_EQ(Audio_GetTransportState(), Stopped);  // waiting for the bar
  EXPECT_TRUE(SyncFollow_Waiting(engine()));
  ASSERT_TRUE(BlocksUntil(s, 3.0, [&] { return Audio_GetTransportState() == Recording; }));
  const double bar = std::ceil(beatNow / 4.0) * 4.0;
  const double startError = static_cast<double>(engine()->sync.startedAtFrame) - FrameOfBeat(s, bar);
  std::printf("quantised Record start: %.2f frames from the bar\n", startError);
  EXPECT_LE(std::fabs(startError), 1.0);

  // Set Loop during the second bar ends the take on the third bar: two bars exactly.
  ASSERT_TRUE(BlocksUntil(s, 3.0, [&] { return engine()->sync.beat > bar + 5.0; }));
  ASSERT_TRUE(Audio_SetLoopAtPosition(loop, false));
  EXPECT_EQ(track(loop).length, 4 * 96000);
  ASSERT_TRUE(BlocksUntil(s, 3.0, [&] { return track(loop).length != 4 * 96000; }));
  EXPECT_NEAR(track(loop).length, 2 * 96000, 1);

  // Stop drops a waiting start: nothing starts on the next bar.
  Audio_SetCallbackRunning(false);
  Audio_StopLooping();
  Audio_SetCallbackRunning(true);
  ASSERT_TRUE(Audio_RecordLooping(loop));
  Audio_PauseLooping();
  EXPECT_FALSE(SyncFollow_Waiting(engine()));
  BlocksUntil(s, 2.5, [] { return false; });
  EXPECT_EQ(Audio_GetTransportState(), Paused);
}

TEST_F(ClockFollow, PlayStartsOnTheBarAndASongPositionJumpPutsTheLoopsBackAtOnce) {
  const int loop = MakeLoop(96000, 2);  // one bar at 120 BPM
  ClockStream s(kClockStart, 12.0, Steady, 0.0);
  // At 5 s the drum machine jumps to bar 5 (sixteenth 64) without stopping.
  s.Insert(MidiMessage(0xF2, 64 & 0x7F, 64 >> 7), kClockStart + 5000000000LL - 2000000);
  Follow();
  ASSERT_TRUE(BlocksUntil(s, 3.0, [&] { return engine()->sync.rolling.load() != 0; }));
  Audio_PlayLooping();
  ASSERT_TRUE(BlocksUntil(s, 3.0, [&] { return Audio_GetTransportState() == Playing; }));
  const uint32_t resyncs = engine()->sync.resyncs;
  ASSERT_TRUE(BlocksUntil(s, 4.0, [&] { return engine()->sync.resyncs != resyncs; }));
  // Right after the jump the loop stands where bar 5 (a loop start) puts it.
  const double beat = engine()->sync.beat;
  const double expected = std::fmod(beat, 4.0) / 4.0 * 96000 + 256;  // one block has played since
  EXPECT_NEAR(track(loop).position, expected, 2.0);
  EXPECT_GE(beat, 16.0);
  EXPECT_LT(beat, 17.0);
}

TEST_F(ClockFollow, AClockThatStopsMidBarStopsFollowingAndTheLoopsPlayOn) {
  const int loop = MakeLoop(96000, 2);
  ClockStream s(kClockStart, 20.0, Steady, 0.0);
  s.CutFrom(kClockStart + 6250000000LL);  // the cable pulled in the middle of a bar
  Follow();
  ASSERT_TRUE(BlocksUntil(s, 3.0, [&] { return engine()->sync.rolling.load() != 0; }));
  Audio_PlayLooping();
  ASSERT_TRUE(BlocksUntil(s, 3.0, [&] { return Audio_GetTransportState() == Playing; }));
  ASSERT_TRUE(BlocksUntil(s, 6.0, [&] { return engine()->sync.following.load() == 0; }));
  const double gone = static_cast<double>(TimeAt(engine()->sync.frame) - (kClockStart + 6250000000LL)) * 1e-9;
  EXPECT_GT(gone, 0.9);   // two beats at 120 BPM: 1 s after the last tick
  EXPECT_LT(gone, 1.1);
  EXPECT_EQ(clock->Losses(), 1u);
  EXPECT_NEAR(engine()->sync.bpm, 120.0, 0.01);  // the last tempo stays
  const int32_t before = track(loop).position;
  BlocksUntil(s, 1.0, [] { return false; });
  EXPECT_EQ(Audio_GetTransportState(), Playing);
  EXPECT_NE(track(loop).position, before);
  // Record starts at once now: there is no bar to wait for.
  ASSERT_TRUE(Audio_RecordLooping(loop));
  EXPECT_EQ(Audio_GetTransportState(), Recording);
}

// An hour at 128 BPM with +-1 ms of MIDI jitter against an audio clock 50 ppm fast (the loop
// alone would drift 9 s): the loop start stays within 1 ms of the source's bar.
TEST_F(ClockFollow, OverAnHourTheLoopStartStaysWithinAMillisecondOfTheBar) {
  ppm = 50.0;
  const int loop = MakeLoop(90000, 2);  // one bar at 128 BPM
  const ClockStream s(kClockStart, 3602.0, [](double) { return 128.0; }, 1.0);
  Follow();
  ASSERT_TRUE(BlocksUntil(s, 3.0, [&] { return engine()->sync.rolling.load() != 0; }));
  Audio_PlayLooping();
  ASSERT_TRUE(BlocksUntil(s, 3.0, [&] { return Audio_GetTransportState() == Playing; }));
  double worst = 0, worstLastMinute = 0;
  const uint64_t end = static_cast<uint64_t>(3600.0 * kRate);
  while (engine()->sync.frame < end) {
    Block(s);
    // Where the loop is against where the true source is, at the next block's first frame.
    const double trueBeat = s.TrueBeat(TimeAt(engine()->sync.frame));
    double error = std::fmod(trueBeat, 4.0) / 4.0 * 90000 - track(loop).exactPosition;
    if (error > 45000) error -= 90000;
    if (error < -45000) error += 90000;
    worst = std::max(worst, std::fabs(error));
    if (engine()->sync.frame > end - 60 * 48000) worstLastMinute = std::max(worstLastMinute, std::fabs(error));
  }
  std::printf("an hour at 128 BPM, 50 ppm: loop start within %.1f frames of the bar (last minute %.1f), %llu frames slewed\n",
              worst, worstLastMinute, static_cast<unsigned long long>(engine()->sync.slewedFrames.load()));
  EXPECT_LT(worst, 48.0);
  EXPECT_GT(engine()->sync.slewedFrames.load(), 0u);
}

// The callback while following: no allocation, no lock, no system call (the clock read of
// the real block time is a vDSO call), with messages to drain and starts to carry out.
TEST_F(ClockFollow, FollowingCallbackNeitherAllocatesNorLocksNorCallsTheSystem) {
  const int loop = MakeLoop(96000, 2);
  const ClockStream s(kClockStart, 10.0, Steady, 1.5);
  Follow();
  ASSERT_TRUE(BlocksUntil(s, 3.0, [&] { return engine()->sync.rolling.load() != 0; }));
  ASSERT_TRUE(Audio_RecordLooping(loop));
  std::vector<float> in(512), out(512);
  const long allocationsBefore = allocations, locksBefore = lockAttempts;
  for (int i = 0; i < 400; ++i) {
    Deliver(s, TimeAt(engine()->sync.frame));  // the UI side of the hand-over, uncounted below
    const long a = allocations, l = lockAttempts;
    Audio_ProcessStream(engine(), in.data(), out.data(), 256);
    EXPECT_EQ(allocations, a);
    EXPECT_EQ(lockAttempts, l);
  }
  (void)allocationsBefore, (void)locksBefore;
  EXPECT_EQ(Audio_GetTransportState(), Recording);
#if !defined(__SANITIZE_THREAD__)
  SyncFollow_UseClock(engine(), nullptr, nullptr);  // the real block time
  const int probe = FirstSystemCall([] { return; });
  if (probe == kNoFilter) GTEST_SKIP() << "system-call filters are not available here";
  EXPECT_EQ(FirstSystemCall([&] {
              for (int i = 0; i < 50; ++i) Audio_ProcessStream(engine(), in.data(), out.data(), 256);
            }),
            kNoSystemCall);
#endif
}

}  // namespace
