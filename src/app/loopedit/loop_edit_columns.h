#pragma once
// What the loop edit view draws, as data: one full-height background line per pixel
// column and, per channel lane, a vertical wave segment from the column's sampled minimum
// and maximum. The window paints these columns and decides nothing itself.
//
// The shown track is read without holding up the audio thread: its buffer fields are
// copied once per drawing under the engine lock (the callback only try_locks it, and only
// to swap a pending buffer, which then waits for its next buffer), and the samples are
// read from that copy. Every buffer the callback replaces or the engine retires is freed
// on the user-interface thread, so a buffer copied here stays allocated while the same
// thread draws from it. Samples the callback writes meanwhile (recording) show up at the
// next drawing of their column. User-interface thread only.
#include <cstdint>
#include <vector>

#include "app/loopedit/loop_edit_state.h"

// Pens, in the order of the skin's loop edit colours.
enum LoopEditPen : uint8_t {
  PenUnlooped = 0,  // background outside the edit range
  PenLooped = 1,    // background inside the edit range
  PenPosition = 2,  // the play-position column
  PenSelection = 3, // selected columns and the caret column
  PenWave = 4,
  PenZeroLine = 5,  // a flat (silent) lane
  PenMeasure = 6,
  PenBeat = 7,
  kLoopEditPens = 8,
};

// The eight colours as 0xRRGGBB; the skin sets them, these are the built-in ones.
struct LoopEditColours {
  uint32_t rgb[kLoopEditPens] = {0x010101, 0x464646, 0x0000FF, 0x646464,
                                 0xC8C800, 0x323232, 0x828282, 0x323232};
};

struct LoopEditLane {
  int32_t top = 0;     // rows top..bottom inclusive
  int32_t bottom = 0;
  uint8_t pen = PenWave;
};

struct LoopEditColumn {
  uint8_t background = PenUnlooped;
  uint8_t lanes = 0;  // 1 or 2 (the track's channels)
  LoopEditLane lane[2];
};

// The fields of the shown track one drawing needs.
struct LoopEditTrack {
  const float* buffer = nullptr;
  int32_t length = 0;  // 0: nothing to draw
  int32_t channels = 0;
  int32_t editBegin = 0;
  int32_t editEnd = 0;
  int32_t position = 0;
  int32_t framesPerBeat = 0;
  int32_t beatsPerMeasure = 4;
  bool beatLines = true;  // show_edit_beat_lines
};

// Copies slot's buffer fields under the engine lock. A slot without a usable buffer
// (unused, being rewritten, fields that do not fit the buffer) reads as length 0.
// The play position and the beat fields are left to the caller.
void LoopEdit_ReadTrack(int slot, LoopEditTrack* track);

// Minimum and maximum of each channel over up to 32 frames from `first`: spaced by
// p / 32, p the largest power of two not above `count` (one apart when p < 32),
// stopping at the loop's end.
void LoopEdit_SampleColumn(const LoopEditTrack& track, int32_t first, int32_t count, float min[2], float max[2]);

// Columns x0..x1 - 1 of an area `width` x `height`; out is resized to x1 - x0. A track
// of length 0 gives no columns.
void LoopEdit_Columns(const LoopEditState& state, const LoopEditTrack& track, int32_t width, int32_t height,
                      int32_t x0, int32_t x1, std::vector<LoopEditColumn>* out);
