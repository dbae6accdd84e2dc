#pragma once
// Finding the round trip: the test signal the latency probe plays, and where it shows up
// in what the probe captured. Plain computation, user-interface thread (or any thread).
#include <cstdint>
#include <vector>

// White noise (a fixed pseudo-random sequence) with short fades, at -12 dBFS peak: its
// only strong likeness to itself is at lag 0, so the lag at which it matches the capture
// is exact to the frame however the loop filters or inverts it.
std::vector<float> RoundTrip_TestSignal(int32_t frames);

enum class RoundTripResult {
  Found,       // `frames` holds the round trip
  NoSignal,    // nothing like the signal came back ("No test signal came back")
  Unreliable,  // it came back buried in noise, or more than once ("Measurement unreliable")
};

struct RoundTrip {
  RoundTripResult result = RoundTripResult::NoSignal;
  int32_t frames = -1;
  double match = 0.0;     // how alike signal and capture are at that lag, 0..1
  double runnerUp = 0.0;  // the next best lag away from it, relative to the best
};

// Looks for `signal` in one channel of an interleaved capture (`stride` floats a frame,
// `channel` the one to read) of `captureFrames` frames, at every lag that leaves the whole
// signal inside the capture. Either polarity counts (a loop may invert).
RoundTrip RoundTrip_Find(const std::vector<float>& signal, const float* capture, int stride, int channel,
                         int32_t captureFrames);
// Both channels of a stereo capture: one looped back is enough; two that disagree are
// unreliable.
RoundTrip RoundTrip_FindStereo(const std::vector<float>& signal, const float* capture, int32_t captureFrames);
