#pragma once
// A stereo reverb after the Freeverb algorithm: per channel eight parallel low-pass
// feedback comb filters and four series all-pass filters, fed with the mono sum, and a
// stereo width matrix on the output. All delay memory lives inside the model (fixed
// sample counts, not scaled to the sample rate), so processing never allocates.
//
// Threads: the setters run on the user-interface thread and write the parameters
// (atomics, relaxed) while the audio thread may be processing; the block process reads
// them once per block. Filter states and buffers belong to the audio thread.
#include <atomic>
#include <cstdint>

inline constexpr int kReverbCombs = 8;
inline constexpr int kReverbAllPasses = 4;
inline constexpr int kReverbStereoSpread = 23;
inline constexpr int kReverbCombSizes[kReverbCombs] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
inline constexpr int kReverbAllPassSizes[kReverbAllPasses] = {556, 441, 341, 225};
// Every comb and all-pass buffer of both channels.
inline constexpr int kReverbStorageSamples = 25450;

struct ReverbComb {
  std::atomic<float> feedback{0.0f};
  std::atomic<float> damp1{0.0f};
  std::atomic<float> damp2{0.0f};
  float filterStore = 0.0f;
  int32_t offset = 0;  // start of the buffer in the model's storage
  int32_t size = 0;
  int32_t index = 0;
};

struct ReverbAllPass {
  float feedback = 0.5f;
  int32_t offset = 0;
  int32_t size = 0;
  int32_t index = 0;
};

struct ReverbModel {
  std::atomic<float> gain{0.015f};
  std::atomic<float> roomSize{0.84f};
  std::atomic<float> roomSizeInUse{0.84f};
  std::atomic<float> damp{0.2f};
  std::atomic<float> dampInUse{0.2f};
  std::atomic<float> wet{1.0f};
  std::atomic<float> wet1{1.0f};
  std::atomic<float> wet2{0.0f};
  std::atomic<float> dry{0.0f};
  std::atomic<float> width{1.0f};
  std::atomic<float> mode{0.0f};  // frozen when >= 0.5
  ReverbComb combs[2][kReverbCombs];          // [channel][comb]
  ReverbAllPass allPasses[2][kReverbAllPasses];
  float storage[kReverbStorageSamples] = {};
};

// Lays out the buffers, zeroes them and sets the start values (room size setting 0.5,
// damp 0.5, wet 1/3, dry 0, width 1, not frozen).
void ReverbModel_Init(ReverbModel* model);

// User-level settings 0..1, stored with the model's scaling.
void ReverbModel_SetRoomSize(ReverbModel* model, float value);  // 0.7 .. 0.98
float ReverbModel_GetRoomSize(const ReverbModel* model);
void ReverbModel_SetDamp(ReverbModel* model, float value);  // 0 .. 0.4
float ReverbModel_GetDamp(const ReverbModel* model);
void ReverbModel_SetWet(ReverbModel* model, float value);  // 0 .. 3
float ReverbModel_GetWet(const ReverbModel* model);
void ReverbModel_SetDry(ReverbModel* model, float value);  // 0 .. 2
float ReverbModel_GetDry(const ReverbModel* model);
void ReverbModel_SetWidth(ReverbModel* model, float value);
float ReverbModel_GetWidth(const ReverbModel* model);
void ReverbModel_SetMode(ReverbModel* model, float value);
float ReverbModel_GetMode(const ReverbModel* model);

// Clears every comb and all-pass buffer unless frozen. Only while no stream runs.
void ReverbModel_Mute(ReverbModel* model);

// Processes `frames` frames; samples of one channel are `stride` floats apart. Input and
// output may be the same memory (the engine runs it in place on its bus). Runs with
// flush-to-zero and denormals-are-zero set, so every value that would be a denormal is
// zero and a tail ends in exact zeros; the caller's setting is restored on return.
void ReverbModel_Process(ReverbModel* model, const float* inLeft, const float* inRight,
                         float* outLeft, float* outRight, unsigned long frames, int stride);
