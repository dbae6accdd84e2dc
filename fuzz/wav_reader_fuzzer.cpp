// Fuzz target for the loop file readers: any byte string as a loop file. The program's
// own 16-bit WAV reader must refuse what it cannot read with a message and never read or
// allocate beyond what the file holds; libsndfile, which reads every other kind, must
// open or give a reason, and its samples reach the loop finite, also through the rate
// converter. Memory here is bounded by blocks, as the loader's is by its budget.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "audio_io/rate_converter.h"
#include "audio_io/sound_file.h"
#include "audio_io/wav_file.h"

namespace {

void OwnReader(std::FILE* f, size_t size) {
  WavFormat format;
  const WavReadResult result = Wav_ReadHeader(f, &format);
  if (result != WAV_OK) {
    if (Wav_ResultText(result, format).empty()) __builtin_trap();  // every refusal says why
    return;
  }
  // The header was checked against the real size: this allocation is bounded by the input.
  if (static_cast<size_t>(format.dataBytes) > size) __builtin_trap();
  const size_t samples = static_cast<size_t>(format.dataBytes) / 2;
  std::unique_ptr<float[]> buffer(new float[samples + 1]);
  if (!Wav_ReadSamples(f, buffer.get(), samples)) __builtin_trap();
}

void Libsndfile(std::FILE* f) {
  SoundFile sound;
  std::string reason;
  if (!sound.Open(f, &reason)) {
    if (reason.empty()) __builtin_trap();
    return;
  }
  const SoundFileInfo& info = sound.Info();
  if (info.channels <= 0 || info.sampleRate <= 0 || info.frames < 0) __builtin_trap();
  if (info.channels > 64) return;  // a loop of that many channels is refused by its size long before
  SoundFile_FormatText(info.format);
  constexpr int64_t BLOCK = 1024;
  const size_t width = static_cast<size_t>(info.channels);
  std::vector<float> block(BLOCK * width);
  // Converted to a plausible stream rate, into a bounded output.
  const bool convert = info.sampleRate >= 1000 && info.sampleRate <= 384000 && info.sampleRate != 48000;
  std::vector<float> out(convert ? 4096 * width : 0);
  RateConverter converter;
  const bool converting = convert && converter.Open(info.channels, info.sampleRate, 48000.0, out.data(), 4096, &reason);
  int64_t left = info.frames < 64 * BLOCK ? info.frames : 64 * BLOCK;
  while (left > 0) {
    const int64_t n = left < BLOCK ? left : BLOCK;
    const int64_t got = sound.Read(block.data(), n);
    if (got < 0 || got > n) __builtin_trap();
    for (size_t i = 0; i < static_cast<size_t>(got) * width; ++i)
      if (!std::isfinite(block[i])) __builtin_trap();
    if (converting) converter.Push(block.data(), static_cast<uint64_t>(got));
    if (got < n) break;
    left -= n;
  }
  if (converting) converter.Finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return 0;
  OwnReader(f, size);
  Libsndfile(f);  // reads from the first byte again
  std::fclose(f);
  return 0;
}
