#pragma once
// Sample-rate conversion of loop audio (libsoxr, high quality: aliasing and noise far
// below what 24-bit audio holds). Interleaved float frames of any channel count; the
// output has exactly RateConverter_OutputFrames frames, so a loop's length in seconds
// stays what it was. User-interface thread only: a 240 s stereo loop takes a good part
// of a second.
#include <cstdint>
#include <string>

typedef struct soxr* soxr_t;

// round(frames x outRate / inRate).
uint64_t RateConverter_OutputFrames(uint64_t frames, double inRate, double outRate);

// Converts a stream fed block by block.
class RateConverter {
 public:
  RateConverter() = default;
  ~RateConverter();
  RateConverter(const RateConverter&) = delete;
  RateConverter& operator=(const RateConverter&) = delete;

  // Prepares a conversion of `channels` channels that fills `out` (room for exactly
  // `outFrames` frames). False with libsoxr's reason.
  bool Open(int channels, double inRate, double outRate, float* out, uint64_t outFrames, std::string* reason);
  // Converts the next `frames` input frames into the output.
  void Push(const float* in, uint64_t frames);
  // Drains what the filter still holds; output frames it did not reach are silence.
  void Finish();

 private:
  soxr_t soxr_ = nullptr;
  int channels_ = 0;
  float* out_ = nullptr;
  uint64_t left_ = 0;  // output frames still to fill
};

// Converts a whole buffer of `frames` frames into `out` (RateConverter_OutputFrames
// frames). False with libsoxr's reason.
bool RateConverter_Convert(const float* in, uint64_t frames, int channels, double inRate, double outRate, float* out,
                           std::string* reason);
