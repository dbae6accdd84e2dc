#pragma once
// One channel of the stereo feedback delay, and the stereo frame process that runs a
// left and a right line together (normal mode, or cross mode where the line with the
// shorter time feeds the other).
//
// The buffer holds five seconds at the line's sample rate and is owned by the line, but
// the line never allocates: the engine allocates a buffer on the user-interface thread
// and attaches it here. Attaching is guarded by `generation` (odd while the buffer
// fields are being replaced), so the audio thread always sees a buffer together with a
// capacity that belongs to it; it also never uses a length beyond that capacity. A line
// without a buffer is not processed (its channel passes through unchanged).
//
// Parameters are atomics with relaxed ordering: the user-interface thread writes them
// while the audio thread reads them at its next frame.
#include <atomic>
#include <cstdint>

inline constexpr double kDelayBufferSeconds = 5.0;
inline constexpr float kDelayMaxSeconds = 5.0f;
inline constexpr float kDelayMinSeconds = 0.001f;
inline constexpr float kDelayMaxFeedback = 0.99f;

struct DelayLine {
  int32_t kind = 1;  // 1 marks a delay line; every operation refuses any other tag
  std::atomic<int32_t> mode{0};  // 1 = cross mode (the left line's mode decides)
  std::atomic<float> time{0.5f};  // seconds
  std::atomic<float> feedback{0.5f};
  std::atomic<float> mix{0.5f};
  std::atomic<float> dryGain{0.70710677f};
  std::atomic<float> wetGain{0.70710677f};
  std::atomic<float> sampleRate{48000.0f};
  std::atomic<float*> buffer{nullptr};
  std::atomic<uint32_t> bufferBytes{0};
  std::atomic<int32_t> writeIndex{0};
  std::atomic<int32_t> length{24000};  // delay in samples, never beyond the buffer
  std::atomic<uint32_t> ready{0};      // 1 while a buffer is attached
  std::atomic<uint32_t> generation{0};
};

// Parameters to their start values (time 0.5 s, feedback 0.5, mix 0.5, normal mode,
// 48000 Hz). Leaves the buffer alone. Returns 0 on a record that is not a delay line.
int DelayLine_Init(DelayLine* line);

// Samples a five-second buffer holds at `sampleRate`.
uint32_t DelayLine_BufferSamples(double sampleRate);

// Attaches a zeroed buffer of `samples` floats for `sampleRate` (null: no buffer, the
// line is then not processed), restarts the write index and recomputes the length from
// the stored time, limited to the buffer. Returns the buffer it replaced, which the
// caller frees once the audio thread can no longer be using it.
float* DelayLine_Attach(DelayLine* line, float* buffer, uint32_t samples, double sampleRate);

// Setters clamp: time to 0.001..5 s (the length follows), feedback to 0..0.99, mix to
// 0..1 (dry gain sqrt(1 - mix), wet gain sqrt(mix)). The mode accepts 0 or 1 only.
int DelayLine_SetTime(DelayLine* line, double seconds);
int DelayLine_SetFeedback(DelayLine* line, double feedback);
int DelayLine_SetMix(DelayLine* line, double mix);
int DelayLine_SetMode(DelayLine* line, int mode);

// One stereo frame, in place: frame[0] through the left line, frame[1] through the right.
void DelayLine_ProcessStereo(DelayLine* left, DelayLine* right, float* frame);
