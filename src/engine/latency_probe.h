#pragma once
// The round-trip measurement's hand-over with the stream callback. The user-interface
// thread arms the probe with a test signal and room for what comes back; at its next
// buffer the callback plays the signal alone on both outputs (nothing else sounds) and
// records both inputs, frame for frame beside what it played, until the room is full.
// The user-interface side then finds the signal in the capture (round_trip.h).
//
// The callback never allocates or waits here: the memory is reserved by Arm, and the
// state changes hands through one atomic (the callback moves Armed -> Running -> Done
// with compare-and-swap, so a cancel from the other side always wins).
#include <atomic>
#include <cstdint>
#include <vector>

struct LatencyProbe {
  enum State : int32_t { Idle = 0, Armed = 1, Running = 2, Done = 3 };
  std::atomic<int32_t> state{Idle};
  // Written by the user-interface thread only while Idle or Done; read by the callback
  // only while Armed or Running.
  std::vector<float> signal;   // mono, played on both outputs
  std::vector<float> capture;  // interleaved stereo, captureFrames frames
  int32_t captureFrames = 0;
  int32_t position = 0;  // audio thread only: frames played since the start
};

// User-interface thread. Reserves the memory and arms the probe; any measurement still
// under way is cancelled first. The capture holds `captureFrames` frames (at least the
// signal's length).
void LatencyProbe_Arm(LatencyProbe* probe, const std::vector<float>& signal, int32_t captureFrames);
// User-interface thread: the capture is complete and may be read.
bool LatencyProbe_Done(const LatencyProbe* probe);
// User-interface thread: stops a measurement under way (the outputs sound as before at
// the next buffer) and returns once the callback can no longer touch the probe's memory.
void LatencyProbe_Cancel(LatencyProbe* probe);

// Audio thread only, after the engine has rendered `frames` frames: while a measurement
// runs, replaces the output with the test signal (silence once it has played) and
// captures the input.
void LatencyProbe_Process(LatencyProbe* probe, const float* in, float* out, unsigned long frames);
