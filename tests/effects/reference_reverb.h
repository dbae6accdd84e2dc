#pragma once
// The reverb written the plain way, one frame at a time through all sixteen combs and
// eight all-passes, with the flush of every value read from a buffer and of every new
// filter store: the reference the reverb's differential test and benchmark hold
// ReverbModel_Process to. It runs on the model's own fields and buffers.
struct ReverbModel;

void Reference_ReverbProcess(ReverbModel* model, const float* inLeft, const float* inRight,
                             float* outLeft, float* outRight, unsigned long frames, int stride);
