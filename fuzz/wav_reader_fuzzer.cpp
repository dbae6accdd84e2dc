// Fuzz target for the WAV reader: any byte string as a loop file. The reader must refuse
// what it cannot read with a message, never read or allocate beyond what the file holds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "audio_io/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return 0;
  WavFormat format;
  const WavReadResult result = Wav_ReadHeader(f, &format);
  if (result != WAV_OK) {
    if (Wav_ResultText(result, format).empty()) __builtin_trap();  // every refusal says why
  } else {
    // The header was checked against the real size: this allocation is bounded by the input.
    if (static_cast<size_t>(format.dataBytes) > size) __builtin_trap();
    const size_t samples = static_cast<size_t>(format.dataBytes) / 2;
    std::unique_ptr<float[]> buffer(new float[samples + 1]);
    if (!Wav_ReadSamples(f, buffer.get(), samples)) __builtin_trap();
  }
  std::fclose(f);
  return 0;
}
