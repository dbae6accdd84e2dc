#include "effects/delay_line.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

bool IsDelay(const DelayLine* line) { return line && line->kind == 1; }

// Delay length for the stored time at the line's sample rate, within `capacity`.
int32_t LengthFor(const DelayLine* line, uint32_t capacity) {
  const double samples = static_cast<double>(line->time.load(kRelaxed)) *
                         static_cast<double>(line->sampleRate.load(kRelaxed));
  auto length = static_cast<int64_t>(samples);
  length = std::min<int64_t>(length, capacity);
  return static_cast<int32_t>(std::max<int64_t>(length, 1));
}

// What the audio thread uses of one line for one frame.
struct LineView {
  float* buffer;
  int32_t index;  // write index after this frame's advance
  int32_t read;
};

// Takes a consistent view of the line's buffer, advancing its write index. False when
// the line has no buffer or is being re-attached right now (then it is skipped).
bool Acquire(DelayLine* line, LineView* view) {
  // Reader side of the generation guard. The acquire loads keep the second look at the
  // generation after them; a value from a re-attach under way brings its odd
  // generation with it, so the view is refused.
  const uint32_t g = line->generation.load(std::memory_order_acquire);
  if (g & 1u) return false;
  float* buffer = line->buffer.load(std::memory_order_acquire);
  const uint32_t capacity = line->bufferBytes.load(std::memory_order_acquire) / sizeof(float);
  int32_t length = line->length.load(std::memory_order_acquire);
  int32_t index = line->writeIndex.load(kRelaxed);
  if (line->generation.load(kRelaxed) != g || !buffer || capacity == 0) return false;
  if (length > static_cast<int64_t>(capacity)) length = static_cast<int32_t>(capacity);
  if (length < 1) length = 1;
  if (++index >= length || index < 0) index = 0;
  line->writeIndex.store(index, kRelaxed);
  view->buffer = buffer;
  view->index = index;
  view->read = index + 1 >= length ? 0 : index + 1;
  return true;
}

// Normal mode for one channel: the input joins the buffer, the oldest sample comes out
// and stays behind scaled by the feedback.
float ProcessOne(const DelayLine* line, const LineView& v, float in) {
  v.buffer[v.index] += in;
  const float out = v.buffer[v.read] * line->wetGain.load(kRelaxed) + line->dryGain.load(kRelaxed) * in;
  v.buffer[v.read] *= line->feedback.load(kRelaxed);
  return out;
}

}  // namespace

int DelayLine_Init(DelayLine* line) {
  if (!IsDelay(line)) return 0;
  line->mode.store(0, kRelaxed);
  line->feedback.store(0.5f, kRelaxed);
  line->sampleRate.store(48000.0f, kRelaxed);
  DelayLine_SetMix(line, 0.5);
  DelayLine_SetTime(line, 0.5);
  return 1;
}

uint32_t DelayLine_BufferSamples(double sampleRate) {
  if (!(sampleRate > 0.0)) return 0;
  return static_cast<uint32_t>(sampleRate * kDelayBufferSeconds);
}

float* DelayLine_Attach(DelayLine* line, float* buffer, uint32_t samples, double sampleRate) {
  if (!IsDelay(line)) return nullptr;
  if (!buffer) samples = 0;
  // Writer side of the generation guard: odd while the buffer fields change. Release
  // stores carry the odd generation to any reader that sees one of the new values.
  const uint32_t g = line->generation.load(kRelaxed);
  line->generation.store(g + 1, kRelaxed);
  float* old = line->buffer.load(kRelaxed);
  line->buffer.store(buffer, std::memory_order_release);
  line->bufferBytes.store(samples * static_cast<uint32_t>(sizeof(float)), std::memory_order_release);
  line->sampleRate.store(static_cast<float>(sampleRate), kRelaxed);
  line->length.store(LengthFor(line, samples), std::memory_order_release);
  line->writeIndex.store(0, kRelaxed);
  line->ready.store(buffer ? 1u : 0u, kRelaxed);
  // Sequentially consistent: the caller retires `old` by reading how many callbacks have
  // begun, and that read must not move ahead of this store, or a callback beginning in
  // between could still pick up the old buffer after it was freed.
  line->generation.store(g + 2, std::memory_order_seq_cst);
  return old != buffer ? old : nullptr;
}

int DelayLine_SetTime(DelayLine* line, double seconds) {
  if (!IsDelay(line)) return 0;
  if (std::isnan(seconds)) seconds = kDelayMinSeconds;
  const float time = static_cast<float>(std::clamp<double>(seconds, kDelayMinSeconds, kDelayMaxSeconds));
  line->time.store(time, kRelaxed);
  const uint32_t capacity = line->bufferBytes.load(kRelaxed) / sizeof(float);
  // Without a buffer the length is only a record of the time; it is limited again when
  // a buffer is attached.
  line->length.store(capacity ? LengthFor(line, capacity) : LengthFor(line, UINT32_MAX), kRelaxed);
  return 1;
}

int DelayLine_SetFeedback(DelayLine* line, double feedback) {
  if (!IsDelay(line)) return 0;
  if (std::isnan(feedback)) feedback = 0.0;
  line->feedback.store(static_cast<float>(std::clamp<double>(feedback, 0.0, kDelayMaxFeedback)), kRelaxed);
  return 1;
}

int DelayLine_SetMix(DelayLine* line, double mix) {
  if (!IsDelay(line)) return 0;
  if (std::isnan(mix)) mix = 0.0;
  const float m = static_cast<float>(std::clamp(mix, 0.0, 1.0));
  line->mix.store(m, kRelaxed);
  line->dryGain.store(std::sqrt(1.0f - m), kRelaxed);
  line->wetGain.store(std::sqrt(m), kRelaxed);
  return 1;
}

int DelayLine_SetMode(DelayLine* line, int mode) {
  if (!IsDelay(line) || (mode != 0 && mode != 1)) return 0;
  line->mode.store(mode, kRelaxed);
  return 1;
}

void DelayLine_ProcessStereo(DelayLine* left, DelayLine* right, float* frame) {
  if (!IsDelay(left) || !IsDelay(right)) return;
  const bool cross = left->mode.load(kRelaxed) == 1;
  LineView l, r;
  const bool haveLeft = Acquire(left, &l);
  const bool haveRight = Acquire(right, &r);
  const float inL = frame[0];
  const float inR = frame[1];
  if (!cross) {
    if (haveLeft) frame[0] = ProcessOne(left, l, inL);
    if (haveRight) frame[1] = ProcessOne(right, r, inR);
    return;
  }
  // Cross mode needs both lines.
  if (!haveLeft || !haveRight) return;
  const float m = (inL + inR) * 0.5f;
  if (left->time.load(kRelaxed) < right->time.load(kRelaxed)) {
    l.buffer[l.index] += m;
    r.buffer[r.index] += l.buffer[l.read];
  } else {
    r.buffer[r.index] += m;
    l.buffer[l.index] += r.buffer[r.read];
  }
  frame[0] = l.buffer[l.read] * left->wetGain.load(kRelaxed) + left->dryGain.load(kRelaxed) * inL;
  frame[1] = r.buffer[r.read] * right->wetGain.load(kRelaxed) + right->dryGain.load(kRelaxed) * inR;
  const float oldLeft = l.buffer[l.read];
  l.buffer[l.read] = r.buffer[r.read] * left->feedback.load(kRelaxed) * 0.5f;
  r.buffer[r.read] = oldLeft * right->feedback.load(kRelaxed) * 0.5f;
}
