#include "engine/latency_probe.h"

#include <algorithm>
#include <cstring>

#include "engine/audio.h"

void LatencyProbe_Arm(LatencyProbe* probe, const std::vector<float>& signal, int32_t captureFrames) {
  LatencyProbe_Cancel(probe);
  captureFrames = std::max<int32_t>(captureFrames, static_cast<int32_t>(signal.size()));
  probe->signal = signal;
  probe->capture.assign(2 * static_cast<size_t>(captureFrames), 0.0f);
  probe->captureFrames = captureFrames;
  probe->state.store(LatencyProbe::Armed, std::memory_order_release);
}

bool LatencyProbe_Done(const LatencyProbe* probe) {
  return probe->state.load(std::memory_order_acquire) == LatencyProbe::Done;
}

void LatencyProbe_Cancel(LatencyProbe* probe) {
  const int32_t was = probe->state.exchange(LatencyProbe::Idle, std::memory_order_acq_rel);
  // A callback that saw the probe running may still be inside its buffer.
  if (was == LatencyProbe::Running || was == LatencyProbe::Armed) Audio_WaitForCallbackCycle();
}

void LatencyProbe_Process(LatencyProbe* probe, const float* in, float* out, unsigned long frames) {
  int32_t state = probe->state.load(std::memory_order_acquire);
  if (state == LatencyProbe::Armed) {
    if (!probe->state.compare_exchange_strong(state, LatencyProbe::Running, std::memory_order_acq_rel)) return;
    probe->position = 0;
    state = LatencyProbe::Running;
  }
  if (state != LatencyProbe::Running) return;

  const int64_t signalFrames = static_cast<int64_t>(probe->signal.size());
  const int64_t captureFrames = probe->captureFrames;
  const float* signal = probe->signal.data();
  float* capture = probe->capture.data();
  int64_t position = probe->position;
  for (unsigned long f = 0; f < frames; ++f, ++position) {
    const float s = position < signalFrames ? signal[position] : 0.0f;
    out[2 * f] = s;
    out[2 * f + 1] = s;
    if (position < captureFrames) {
      capture[2 * position] = in[2 * f];
      capture[2 * position + 1] = in[2 * f + 1];
    }
  }
  probe->position = static_cast<int32_t>(std::min(position, captureFrames));
  if (position >= captureFrames) {
    int32_t running = LatencyProbe::Running;
    probe->state.compare_exchange_strong(running, LatencyProbe::Done, std::memory_order_acq_rel);
  }
}
