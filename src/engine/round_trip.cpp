#include "engine/round_trip.h"

#include <algorithm>
#include <cmath>

namespace {

// A lag is taken when the capture there is at least this much like the signal (the
// normalised correlation: 1 for a clean copy at any gain, about 0.7 with as much noise as
// signal); white noise alone reaches about 4.5 / sqrt(signal frames), far below.
constexpr double kTrustedMatch = 0.5;
// Below this nothing of the signal is there at all.
constexpr double kAnyMatch = 0.2;
// A second lag at least this strong (relative to the best) makes the answer ambiguous.
constexpr double kAmbiguous = 0.5;
// Lags this near the best belong to the same arrival (a band-limited loop widens the peak).
constexpr int32_t kPeakWidth = 48;
// A capture quieter than this everywhere heard nothing (-100 dBFS).
constexpr float kSilence = 1e-5f;

// Correlation of the signal with the capture at one lag; eight partial sums keep the
// additions independent so that the loop pipelines.
double Correlate(const float* signal, int32_t n, const float* capture) {
  float sum[8] = {};
  int32_t i = 0;
  for (; i + 8 <= n; i += 8)
    for (int k = 0; k < 8; ++k) sum[k] += signal[i + k] * capture[i + k];
  for (; i < n; ++i) sum[0] += signal[i] * capture[i];
  return (static_cast<double>(sum[0]) + sum[1] + sum[2] + sum[3]) + (static_cast<double>(sum[4]) + sum[5] + sum[6] + sum[7]);
}

RoundTrip Combine(const RoundTrip& a, const RoundTrip& b) {
  const bool foundA = a.result == RoundTripResult::Found, foundB = b.result == RoundTripResult::Found;
  if (foundA && foundB) {
    if (a.frames == b.frames) return a.match >= b.match ? a : b;
    RoundTrip r = a.match >= b.match ? a : b;
    r.result = RoundTripResult::Unreliable;
    return r;
  }
  if (foundA) return a;
  if (foundB) return b;
  if (a.result == RoundTripResult::Unreliable) return a;
  return b;
}

}  // namespace

std::vector<float> RoundTrip_TestSignal(int32_t frames) {
  std::vector<float> signal(static_cast<size_t>(std::max<int32_t>(frames, 0)));
  const int32_t fade = std::min<int32_t>(64, frames / 4);
  uint32_t x = 0x9E3779B9u;  // xorshift32: the same signal on every run
  for (int32_t i = 0; i < frames; ++i) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    double s = (static_cast<double>(x) / 4294967295.0 * 2.0 - 1.0) * 0.25;
    if (i < fade) s *= static_cast<double>(i + 1) / (fade + 1);
    if (frames - 1 - i < fade) s *= static_cast<double>(frames - i) / (fade + 1);
    signal[i] = static_cast<float>(s);
  }
  return signal;
}

RoundTrip RoundTrip_Find(const std::vector<float>& signal, const float* capture, int stride, int channel,
                         int32_t captureFrames) {
  RoundTrip r;
  const int32_t n = static_cast<int32_t>(signal.size());
  if (n == 0 || captureFrames < n || !capture) return r;
  std::vector<float> x(static_cast<size_t>(captureFrames));
  float loudest = 0.0f;
  for (int32_t i = 0; i < captureFrames; ++i) {
    const float v = capture[static_cast<size_t>(i) * stride + channel];
    x[i] = std::isfinite(v) ? v : 0.0f;
    loudest = std::max(loudest, std::fabs(x[i]));
  }
  if (!(loudest >= kSilence)) return r;

  double signalEnergy = 0.0;
  for (float s : signal) signalEnergy += static_cast<double>(s) * s;
  const int32_t lags = captureFrames - n + 1;
  std::vector<double> correlation(static_cast<size_t>(lags));
  int32_t best = 0;
  for (int32_t lag = 0; lag < lags; ++lag) {
    correlation[lag] = std::fabs(Correlate(signal.data(), n, x.data() + lag));
    if (correlation[lag] > correlation[best]) best = lag;
  }
  double windowEnergy = 0.0;
  for (int32_t i = 0; i < n; ++i) windowEnergy += static_cast<double>(x[best + i]) * x[best + i];
  if (!(correlation[best] > 0.0) || !(windowEnergy > 0.0)) return r;
  r.frames = best;
  r.match = correlation[best] / std::sqrt(signalEnergy * windowEnergy);
  double second = 0.0;
  for (int32_t lag = 0; lag < lags; ++lag)
    if (std::abs(lag - best) > kPeakWidth) second = std::max(second, correlation[lag]);
  r.runnerUp = second / correlation[best];
  if (r.match < kAnyMatch) {
    r.result = RoundTripResult::NoSignal;
    r.frames = -1;
  } else if (r.match < kTrustedMatch || r.runnerUp >= kAmbiguous) {
    r.result = RoundTripResult::Unreliable;
  } else {
    r.result = RoundTripResult::Found;
  }
  return r;
}

RoundTrip RoundTrip_FindStereo(const std::vector<float>& signal, const float* capture, int32_t captureFrames) {
  return Combine(RoundTrip_Find(signal, capture, 2, 0, captureFrames),
                 RoundTrip_Find(signal, capture, 2, 1, captureFrames));
}
