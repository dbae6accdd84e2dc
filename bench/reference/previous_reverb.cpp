// The reverb's block process as it was before its combs stepped together: each comb
// and all-pass over a whole chunk on its own, every value read from a buffer and every
// new filter store flushed. Kept only so that the benchmark can run it beside the model
// in the same process; its output is the model's, bit for bit.
#include "reference/previous_reverb.h"

#include <algorithm>
#include <cstring>

#include "effects/reverb_model.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kChunk = 256;

// Zero for denormals and zeros (exponent bits all clear), so tails end in exact zeros
// and never slow the processor down.
inline float Flush(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits & 0x7f800000u) == 0 ? 0.0f : v;
}

// Runs one comb over `n` samples of `in`, adding its output to `acc`.
void RunComb(ReverbComb& c, float* storage, const float* in, float* acc, int n) {
  float* const buffer = storage + c.offset;
  const float feedback = c.feedback.load(kRelaxed);
  const float damp1 = c.damp1.load(kRelaxed);
  const float damp2 = c.damp2.load(kRelaxed);
  if (c.size <= 0) return;  // not laid out by ReverbModel_Init
  float store = c.filterStore;
  int index = c.index >= 0 && c.index < c.size ? c.index : 0;
  int done = 0;
  while (done < n) {
    // Runs up to the end of the buffer without a wrap test per sample.
    const int run = std::min(n - done, c.size - index);
    float* b = buffer + index;
    for (int k = 0; k < run; ++k) {
      const float out = Flush(b[k]);
      store = Flush(out * damp2 + store * damp1);
      b[k] = in[done + k] + store * feedback;
      acc[done + k] += out;
    }
    done += run;
    index += run;
    if (index >= c.size) index = 0;
  }
  c.filterStore = store;
  c.index = index;
}

// Runs one all-pass over `n` samples of `io`, in place.
void RunAllPass(ReverbAllPass& a, float* storage, float* io, int n) {
  float* const buffer = storage + a.offset;
  if (a.size <= 0) return;
  const float feedback = a.feedback;
  int index = a.index >= 0 && a.index < a.size ? a.index : 0;
  int done = 0;
  while (done < n) {
    const int run = std::min(n - done, a.size - index);
    float* b = buffer + index;
    for (int k = 0; k < run; ++k) {
      const float x = io[done + k];
      const float held = Flush(b[k]);
      io[done + k] = held - x;
      b[k] = x + held * feedback;
    }
    done += run;
    index += run;
    if (index >= a.size) index = 0;
  }
  a.index = index;
}

}  // namespace

void Previous_ReverbProcess(ReverbModel* m, const float* inLeft, const float* inRight, float* outLeft,
                            float* outRight, unsigned long frames, int stride) {
  const float gain = m->gain.load(kRelaxed);
  const float wet1 = m->wet1.load(kRelaxed);
  const float wet2 = m->wet2.load(kRelaxed);
  const float dry = m->dry.load(kRelaxed);
  // Each filter runs over a chunk at a time; per frame the arithmetic and its order are
  // those of running every filter frame by frame.
  float input[kChunk];
  float left[kChunk];
  float right[kChunk];
  while (frames > 0) {
    const int n = static_cast<int>(std::min<unsigned long>(frames, kChunk));
    for (int k = 0; k < n; ++k) {
      input[k] = (inLeft[k * stride] + inRight[k * stride]) * gain;
      left[k] = 0.0f;
      right[k] = 0.0f;
    }
    for (int i = 0; i < kReverbCombs; ++i) {
      RunComb(m->combs[0][i], m->storage, input, left, n);
      RunComb(m->combs[1][i], m->storage, input, right, n);
    }
    for (int i = 0; i < kReverbAllPasses; ++i) {
      RunAllPass(m->allPasses[0][i], m->storage, left, n);
      RunAllPass(m->allPasses[1][i], m->storage, right, n);
    }
    for (int k = 0; k < n; ++k) {
      const float l = inLeft[k * stride];
      const float r = inRight[k * stride];
      outLeft[k * stride] = left[k] * wet1 + right[k] * wet2 + l * dry;
      outRight[k * stride] = right[k] * wet1 + left[k] * wet2 + r * dry;
    }
    inLeft += n * stride;
    inRight += n * stride;
    outLeft += n * stride;
    outRight += n * stride;
    frames -= n;
  }
}
