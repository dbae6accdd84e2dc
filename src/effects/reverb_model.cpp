#include "effects/reverb_model.h"

#include <algorithm>
#include <cstring>

#include "effects/denormal_guard.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr float kFixedGain = 0.015f;
constexpr float kScaleWet = 3.0f;
constexpr float kScaleDry = 2.0f;
constexpr float kScaleDamp = 0.4f;
constexpr float kScaleRoom = 0.28f;
constexpr float kOffsetRoom = 0.7f;
constexpr int kChunk = 256;  // frames per pass of the filter-by-filter loops

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

// Runs one channel's eight combs side by side over `n` samples of `in`, writing their
// sum to `sum`. Sample by sample all eight combs step together, so their independent
// feedback chains overlap in the processor instead of waiting on each other; the sum
// adds them in comb order, as one comb after the other would. The samples between two
// buffer wraps run without a wrap test.
void RunCombs(ReverbComb (&combs)[kReverbCombs], float* storage, const float* in, float* sum, int n) {
  for (const ReverbComb& c : combs) {
    if (c.size <= 0) {  // not laid out by ReverbModel_Init: silence
      std::fill(sum, sum + n, 0.0f);
      return;
    }
  }
  float* buffer[kReverbCombs];
  int index[kReverbCombs];
  float feedback[kReverbCombs], damp1[kReverbCombs], damp2[kReverbCombs], store[kReverbCombs];
  for (int i = 0; i < kReverbCombs; ++i) {
    ReverbComb& c = combs[i];
    buffer[i] = storage + c.offset;
    index[i] = c.index >= 0 && c.index < c.size ? c.index : 0;
    feedback[i] = c.feedback.load(kRelaxed);
    damp1[i] = c.damp1.load(kRelaxed);
    damp2[i] = c.damp2.load(kRelaxed);
    store[i] = c.filterStore;
  }
  int done = 0;
  while (done < n) {
    int run = n - done;
    float* b[kReverbCombs];
    for (int i = 0; i < kReverbCombs; ++i) {
      run = std::min(run, combs[i].size - index[i]);
      b[i] = buffer[i] + index[i];
    }
    for (int k = 0; k < run; ++k) {
      const float x = in[done + k];
      float acc = 0.0f;
#pragma GCC unroll 8
      for (int i = 0; i < kReverbCombs; ++i) {
        // Denormals need no flush here: the model runs with flush-to-zero and
        // denormals-are-zero set, which zeroes them exactly as a flush would.
        const float out = b[i][k];
        store[i] = out * damp2[i] + store[i] * damp1[i];
        b[i][k] = x + store[i] * feedback[i];
        acc += out;
      }
      sum[done + k] = acc;
    }
    done += run;
    for (int i = 0; i < kReverbCombs; ++i) {
      index[i] += run;
      if (index[i] >= combs[i].size) index[i] = 0;
    }
  }
  for (int i = 0; i < kReverbCombs; ++i) {
    combs[i].filterStore = store[i];
    combs[i].index = index[i];
  }
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
    float* __restrict b = buffer + index;
    float* __restrict v = io + done;
    for (int k = 0; k < run; ++k) {
      const float x = v[k];
      const float held = b[k];
      v[k] = held - x;
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
  // Every value that would be a denormal becomes zero, as the model's flush rule asks.
  DenormalGuard denormals;
  // The filters run over a chunk at a time; per frame the arithmetic and its order are
  // those of running every filter frame by frame.
  float input[kChunk];
  float left[kChunk];
  float right[kChunk];
  while (frames > 0) {
    const int n = static_cast<int>(std::min<unsigned long>(frames, kChunk));
    for (int k = 0; k < n; ++k) input[k] = (inLeft[k * stride] + inRight[k * stride]) * gain;
    RunCombs(m->combs[0], m->storage, input, left, n);
    RunCombs(m->combs[1], m->storage, input, right, n);
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
