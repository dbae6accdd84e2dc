#pragma once
// The reverb written the plain way, one frame at a time through all sixteen combs and
// eight all-passes, flushing every value read from a buffer and every new filter store:
// the benchmark runs it beside ReverbModel_Process, on the model's own fields and buffers.
struct ReverbModel;

void Reference_ReverbProcess(ReverbModel* model, const float* inLeft, const float* inRight,
                             float* outLeft, float* outRight, unsigned long frames, int stride);
