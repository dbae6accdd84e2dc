#include "audio_io/rate_converter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

uint64_t RateConverter_OutputFrames(uint64_t frames, double inRate, double outRate) {
  return static_cast<uint64_t>(std::llround(static_cast<double>(frames) * outRate / inRate));
}

RateConverter::~RateConverter() {
  if (soxr_) soxr_delete(soxr_);
}

bool RateConverter::Open(int channels, double inRate, double outRate, float* out, uint64_t outFrames,
                         std::string* reason) {
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  soxr_error_t error = nullptr;
  soxr_ = soxr_create(inRate, outRate, static_cast<unsigned>(channels), &error, &io, &quality, nullptr);
  if (!soxr_ || error) {
    *reason = error ? error : "The rate converter could not be set up.";
    return false;
  }
  channels_ = channels;
  out_ = out;
  left_ = outFrames;
  return true;
}

void RateConverter::Push(const float* in, uint64_t frames) {
  while (frames > 0) {
    size_t used = 0, made = 0;
    // With no output room left the input is still taken, and dropped: the length is fixed.
    float scratch[64 * 8];
    const bool full = left_ == 0;
    const size_t room = full ? sizeof scratch / sizeof(float) / static_cast<size_t>(channels_) : left_;
    soxr_process(soxr_, in, static_cast<size_t>(frames), &used, full ? scratch : out_, room, &made);
    if (!full) {
      out_ += made * static_cast<size_t>(channels_);
      left_ -= made;
    }
    in += used * static_cast<size_t>(channels_);
    frames -= used;
    if (used == 0 && made == 0) break;  // cannot happen with room to write; never spin
  }
}

void RateConverter::Finish() {
  while (left_ > 0) {
    size_t made = 0;
    soxr_process(soxr_, nullptr, 0, nullptr, out_, static_cast<size_t>(left_), &made);
    if (made == 0) break;
    out_ += made * static_cast<size_t>(channels_);
    left_ -= made;
  }
  std::fill(out_, out_ + left_ * static_cast<uint64_t>(channels_), 0.0f);
  left_ = 0;
}

bool RateConverter_Convert(const float* in, uint64_t frames, int channels, double inRate, double outRate, float* out,
                           std::string* reason) {
  RateConverter converter;
  if (!converter.Open(channels, inRate, outRate, out, RateConverter_OutputFrames(frames, inRate, outRate), reason))
    return false;
  converter.Push(in, frames);
  converter.Finish();
  return true;
}
