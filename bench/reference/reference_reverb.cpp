#include "reference/reference_reverb.h"

#include <cmath>

#include "effects/reverb_model.h"

// Zero for denormals and zeros.
static float Flush(float v) { return std::fpclassify(v) == FP_SUBNORMAL || v == 0.0f ? 0.0f : v; }

static float Comb(ReverbComb& c, float* storage, float x) {
  float* buffer = storage + c.offset;
  const float out = Flush(buffer[c.index]);
  c.filterStore = Flush(out * c.damp2.load() + c.filterStore * c.damp1.load());
  buffer[c.index] = x + c.filterStore * c.feedback.load();
  if (++c.index >= c.size) c.index = 0;
  return out;
}

static float AllPass(ReverbAllPass& a, float* storage, float x) {
  float* buffer = storage + a.offset;
  const float held = Flush(buffer[a.index]);
  buffer[a.index] = x + held * a.feedback;
  if (++a.index >= a.size) a.index = 0;
  return held - x;
}

void Reference_ReverbProcess(ReverbModel* m, const float* inLeft, const float* inRight, float* outLeft,
                             float* outRight, unsigned long frames, int stride) {
  const float gain = m->gain.load(), wet1 = m->wet1.load(), wet2 = m->wet2.load(), dry = m->dry.load();
  for (unsigned long f = 0; f < frames; ++f) {
    const float l = inLeft[f * stride], r = inRight[f * stride];
    float left = 0.0f, right = 0.0f;
    for (int i = 0; i < kReverbCombs; ++i) {
      left += Comb(m->combs[0][i], m->storage, (l + r) * gain);
      right += Comb(m->combs[1][i], m->storage, (l + r) * gain);
    }
    for (int i = 0; i < kReverbAllPasses; ++i) {
      left = AllPass(m->allPasses[0][i], m->storage, left);
      right = AllPass(m->allPasses[1][i], m->storage, right);
    }
    outLeft[f * stride] = left * wet1 + right * wet2 + l * dry;
    outRight[f * stride] = right * wet1 + left * wet2 + r * dry;
  }
}
