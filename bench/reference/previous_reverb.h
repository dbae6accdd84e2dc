#pragma once
// The reverb's block process as it was before (see previous_reverb.cpp), for the benchmark.
struct ReverbModel;

void Previous_ReverbProcess(ReverbModel* model, const float* inLeft, const float* inRight, float* outLeft,
                            float* outRight, unsigned long frames, int stride);
