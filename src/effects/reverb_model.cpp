#include "effects/reverb_model.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr float kFixedGain = 0.015f;
constexpr float kScaleWet = 3.0f;
constexpr float kScaleDry = 2.0f;
constexpr float kScaleDamp = 0.4f;
constexpr float kScaleRoom = 0.28f;
constexpr float kOffsetRoom = 0.7f;
constexpr int kChunk = 256;  // frames per pass of the filter-by-filter loops

// Zero for denormals and zeros (exponent bits all clear), so tails end in exact zeros
// and never slow the processor down.
inline float Flush(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits & 0x7f800000u) == 0 ? 0.0f : v;
}

void Update(ReverbModel* m) {
  const float wet = m->wet.load(kRelaxed);
  const float width = m->width.load(kRelaxed);
  m->wet1.store(wet * (width + 1.0f) * 0.5f, kRelaxed);
  m->wet2.store(wet * (1.0f - width) * 0.5f, kRelaxed);
  float room, damp;
  if (m->mode.load(kRelaxed) >= 0.5f) {
    room = 1.0f;
    damp = 0.0f;
    m->gain.store(0.0f, kRelaxed);
  } else {
    room = m->roomSize.load(kRelaxed);
    damp = m->damp.load(kRelaxed);
    m->gain.store(kFixedGain, kRelaxed);
  }
  m->roomSizeInUse.store(room, kRelaxed);
  m->dampInUse.store(damp, kRelaxed);
  for (auto& channel : m->combs) {
    for (ReverbComb& c : channel) {
      c.feedback.store(room, kRelaxed);
      c.damp1.store(damp, kRelaxed);
      c.damp2.store(1.0f - damp, kRelaxed);
    }
  }
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

void ReverbModel_Init(ReverbModel* m) {
  int32_t offset = 0;
  for (int ch = 0; ch < 2; ++ch) {
    const int spread = ch * kReverbStereoSpread;
    for (int i = 0; i < kReverbCombs; ++i) {
      ReverbComb& c = m->combs[ch][i];
      c.offset = offset;
      c.size = kReverbCombSizes[i] + spread;
      c.index = 0;
      c.filterStore = 0.0f;
      offset += c.size;
    }
    for (int i = 0; i < kReverbAllPasses; ++i) {
      ReverbAllPass& a = m->allPasses[ch][i];
      a.offset = offset;
      a.size = kReverbAllPassSizes[i] + spread;
      a.index = 0;
      a.feedback = 0.5f;
      offset += a.size;
    }
  }
  std::memset(m->storage, 0, sizeof m->storage);
  m->mode.store(0.0f, kRelaxed);
  ReverbModel_SetWet(m, 1.0f / kScaleWet);
  ReverbModel_SetRoomSize(m, 0.5f);
  ReverbModel_SetDry(m, 0.0f);
  ReverbModel_SetDamp(m, 0.5f);
  ReverbModel_SetWidth(m, 1.0f);
  ReverbModel_SetMode(m, 0.0f);
}

void ReverbModel_SetRoomSize(ReverbModel* m, float value) {
  m->roomSize.store(value * kScaleRoom + kOffsetRoom, kRelaxed);
  Update(m);
}
float ReverbModel_GetRoomSize(const ReverbModel* m) {
  return (m->roomSize.load(kRelaxed) - kOffsetRoom) * 3.5714285f;
}
void ReverbModel_SetDamp(ReverbModel* m, float value) {
  m->damp.store(value * kScaleDamp, kRelaxed);
  Update(m);
}
float ReverbModel_GetDamp(const ReverbModel* m) { return m->damp.load(kRelaxed) * 2.5f; }
void ReverbModel_SetWet(ReverbModel* m, float value) {
  m->wet.store(value * kScaleWet, kRelaxed);
  Update(m);
}
float ReverbModel_GetWet(const ReverbModel* m) { return m->wet.load(kRelaxed) * 0.33333334f; }
void ReverbModel_SetDry(ReverbModel* m, float value) { m->dry.store(value * kScaleDry, kRelaxed); }
float ReverbModel_GetDry(const ReverbModel* m) { return m->dry.load(kRelaxed) * 0.5f; }
void ReverbModel_SetWidth(ReverbModel* m, float value) {
  m->width.store(value, kRelaxed);
  Update(m);
}
float ReverbModel_GetWidth(const ReverbModel* m) { return m->width.load(kRelaxed); }
void ReverbModel_SetMode(ReverbModel* m, float value) {
  m->mode.store(value, kRelaxed);
  Update(m);
}
float ReverbModel_GetMode(const ReverbModel* m) { return m->mode.load(kRelaxed) >= 0.5f ? 1.0f : 0.0f; }

void ReverbModel_Mute(ReverbModel* m) {
  if (m->mode.load(kRelaxed) >= 0.5f) return;
  std::memset(m->storage, 0, sizeof m->storage);
}

void ReverbModel_Process(ReverbModel* m, const float* inLeft, const float* inRight,
                         float* outLeft, float* outRight, unsigned long frames, int stride) {
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
