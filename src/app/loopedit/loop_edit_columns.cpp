#include "app/loopedit/loop_edit_columns.h"

#include <algorithm>
#include <mutex>

#include "engine/audio.h"

namespace {

// A sample as a lane level: -1..1, silence for a value that is not a number.
float Level(float v) { return v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : (v == v ? v : 0.0f); }

int32_t LargestPowerOfTwo(int32_t n) {
  int32_t p = 1;
  while (p <= n / 2) p *= 2;
  return p;
}

LoopEditLane Lane(int32_t centre, double scale, float min, float max, int32_t height) {
  LoopEditLane lane;
  lane.top = centre - static_cast<int32_t>(scale * Level(max));
  lane.bottom = centre - static_cast<int32_t>(scale * Level(min));
  lane.pen = lane.top == centre && lane.bottom == centre ? PenZeroLine : PenWave;
  lane.top = std::clamp(lane.top, 0, height - 1);
  lane.bottom = std::clamp(lane.bottom, 0, height - 1);
  return lane;
}

}  // namespace

void LoopEdit_ReadTrack(int slot, LoopEditTrack* track) {
  track->buffer = nullptr;
  track->length = 0;
  track->channels = 0;
  AudioEngine* e = Audio_GetEngine();
  if (!e || slot < 0 || slot >= NUM_TRACKS) return;
  LoopTrack& t = e->tracks[slot];
  const float* buffer;
  int32_t length, channels;
  uint32_t bytes;
  {
    // The callback swaps buffers under this lock; it never waits for it.
    std::lock_guard<std::mutex> guard(e->lock);
    if ((t.generation.load() & 1u) || !t.inUse) return;
    buffer = t.pBuffer;
    length = t.length;
    channels = static_cast<int32_t>(t.numChannels.load());
    bytes = t.bufferSize;
    track->editBegin = t.editBegin;
    track->editEnd = t.editEnd;
  }
  if (!buffer || length <= 0 || (channels != 1 && channels != 2)) return;
  if (static_cast<uint64_t>(length) * channels * sizeof(float) > bytes) return;
  track->buffer = buffer;
  track->length = length;
  track->channels = channels;
}

void LoopEdit_SampleColumn(const LoopEditTrack& track, int32_t first, int32_t count, float min[2], float max[2]) {
  min[0] = min[1] = max[0] = max[1] = 0.0f;
  if (!track.buffer || first < 0 || first >= track.length) return;
  const int32_t p = LargestPowerOfTwo(std::max(count, 1));
  const int32_t samples = std::min(p, 32);
  const int32_t spacing = p >= 32 ? p / 32 : 1;
  const int channels = track.channels;
  const float* frame = track.buffer + static_cast<int64_t>(first) * channels;
  for (int c = 0; c < channels; ++c) min[c] = max[c] = frame[c];
  int64_t f = first;
  for (int32_t i = 0; i < samples && f < track.length; ++i, f += spacing) {
    const float* at = track.buffer + f * channels;
    for (int c = 0; c < channels; ++c) {
      min[c] = std::min(min[c], at[c]);
      max[c] = std::max(max[c], at[c]);
    }
  }
}

void LoopEdit_Columns(const LoopEditState& state, const LoopEditTrack& track, int32_t width, int32_t height,
                      int32_t x0, int32_t x1, std::vector<LoopEditColumn>* out) {
  x0 = std::max(x0, 0);
  x1 = std::min(x1, width);
  if (track.length <= 0 || !track.buffer || width <= 0 || height <= 0 || x1 <= x0) {
    out->clear();
    return;
  }
  out->resize(static_cast<size_t>(x1 - x0));
  const LoopEditGeometry g{track.length, width, height, track.framesPerBeat};
  const int32_t beat = track.framesPerBeat;
  const int32_t measure = std::max(track.beatsPerMeasure, 1);
  const bool beatLines = track.beatLines && beat > 0;
  const bool caret = LoopEdit_IsCaret(state);
  const int64_t caretColumn = caret ? LoopEdit_ColumnOf(state, g, state.selStart) : -1;
  const int64_t positionColumn = LoopEdit_ColumnOf(state, g, track.position);
  const int32_t perColumn = LoopEdit_FramesPerColumn(state, g);

  const bool stereo = track.channels == 2;
  const int32_t centres[2] = {stereo ? height / 4 : height / 2, 3 * height / 4};
  const double scale = stereo ? height / 4.0 : height / 2.0;

  int32_t frame = LoopEdit_FrameAt(state, g, x0);
  for (int32_t x = x0; x < x1; ++x) {
    const int32_t next = LoopEdit_FrameAt(state, g, x + 1);
    LoopEditColumn& col = (*out)[static_cast<size_t>(x - x0)];
    if (x == caretColumn) {
      col.background = PenSelection;
    } else if (beatLines && frame / beat != next / beat) {
      col.background = (next / beat) % measure == 0 ? PenMeasure : PenBeat;
    } else if (frame >= state.selStart && frame < state.selEnd) {
      col.background = PenSelection;
    } else if (frame >= track.editBegin && frame < track.editEnd) {
      col.background = PenLooped;
    } else {
      col.background = PenUnlooped;
    }
    if (x == positionColumn) col.background = PenPosition;

    float min[2], max[2];
    LoopEdit_SampleColumn(track, frame, perColumn, min, max);
    col.lanes = static_cast<uint8_t>(track.channels);
    for (int c = 0; c < track.channels; ++c) col.lane[c] = Lane(centres[c], scale, min[c], max[c], height);
    frame = next;
  }
}
