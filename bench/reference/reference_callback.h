#pragma once
// The plain per-frame stream callback (see reference_callback.cpp): same contract as
// Audio_ProcessStream, on the same engine record.
struct AudioEngine;

int Reference_ProcessStream(AudioEngine* engine, const float* input, float* output,
                            unsigned long frames);
