// The stream callback: the real-time heart of the looper. Runs on the audio thread, so
// it never allocates, frees, waits on a lock, does I/O or shows anything.
#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "effects/denormal_guard.h"
#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/effects_chain.h"
#include "engine/metronome.h"
#include "engine/metronome_gate.h"
#include "engine/stream_pieces.h"
#include "engine/sync_follow.h"
#include "engine/sync_lead.h"
#include "engine/transport.h"

namespace {

// The effects bus: outside the record, used by the callback only.
alignas(64) float effectsBus[MAX_FRAMES * 2];

inline bool IsRunning(int32_t state) { return state != Stopped && state != Paused; }
inline bool IsRecordingState(int32_t state) { return state == Recording || state == Inserting; }

// A consistent view of a slot's buffer for one callback piece.
struct SlotView {
  float* buffer;
  int32_t length;
  int32_t channels;
  int32_t capacity;  // frames the buffer holds
};

// Reads the slot's buffer fields, refusing a view the user-interface thread is
// rewriting or that would not fit its buffer.
bool ReadSlot(LoopTrack& t, SlotView* view) {
  const uint32_t g1 = t.generation.load(std::memory_order_acquire);
  if (g1 & 1u) return false;
  if (!t.inUse) return false;
  view->buffer = t.pBuffer;
  view->length = t.length;
  view->channels = static_cast<int32_t>(t.numChannels.load());
  const uint32_t bytes = t.bufferSize;
  std::atomic_thread_fence(std::memory_order_acquire);
  if (t.generation.load(std::memory_order_relaxed) != g1) return false;
  if (!view->buffer || view->length <= 0 || (view->channels != 1 && view->channels != 2)) return false;
  view->capacity = static_cast<int32_t>(bytes / (sizeof(float) * static_cast<uint32_t>(view->channels)));
  return static_cast<uint64_t>(view->length) * view->channels * sizeof(float) <= bytes;
}

// Head of one track for the frame loop, held in locals and written back at the end.
struct Head {
  double exact;
  int32_t position;
  int32_t lastPosition;
  bool wrapped;
};

// How a track moves through one piece: its rate and the range it wraps in (the edit
// range with the loop selection on, else the whole loop).
struct Motion {
  double rate;
  int32_t length;
  int32_t begin;
  int32_t end;
};

// The edit range as the loop selection uses it; an inconsistent range (the loop just
// shrank under it) plays the whole loop instead.
Motion MotionOf(LoopTrack& t, int32_t length) {
  const int32_t begin = t.editBegin;
  const int32_t end = t.editEnd;
  const bool selection = t.loopSelection && begin >= 0 && end <= length && begin < end;
  return selection ? Motion{t.rate, length, begin, end} : Motion{t.rate, length, 0, length};
}

// The track's head, brought back inside a loop that shrank under it.
Head HeadOf(LoopTrack& t, int32_t length, int32_t lastPosition) {
  Head h{t.exactPosition, t.position, lastPosition, false};
  if (h.position < 0 || h.position >= length || !(h.exact >= 0.0 && h.exact < length)) {
    h.position = std::clamp(h.position, 0, length - 1);
    h.exact = h.position;
  }
  return h;
}

void StoreHead(LoopTrack& t, const Head& h) {
  t.exactPosition = h.exact;
  t.position = h.position;
  t.lastPosition = h.lastPosition;
}

// Advances by one output frame, wrapping inside the loop or the edit range.
inline void Advance(Head& h, const Motion& m) {
  h.exact += m.rate;
  h.position = static_cast<int32_t>(h.exact);
  const int32_t span = m.end - m.begin;
  if (h.position >= m.end) {
    h.position -= span;
    h.exact -= span;
    h.wrapped = true;
  } else if (h.position < m.begin) {
    h.position += span;
    h.exact += span;
    h.wrapped = true;
  }
  h.position = std::clamp(h.position, 0, m.length - 1);
}

// Aligns track `index` with the other running tracks (the resync rule).
void Resync(AudioEngine* e, int index) {
  LoopTrack& t = e->tracks[index];
  const int32_t length = t.length;
  if (length <= 0) return;
  int fallback = -1;
  auto consider = [&](int j) -> bool {
    LoopTrack& o = e->tracks[j];
    if (!o.inUse || !o.active) return false;
    const int32_t position = o.position;
    if (position < length) {
      t.position = position;
      t.lastPosition = position;
      t.exactPosition = position;
      return true;
    }
    if (fallback < 0 && j != 0) fallback = j;
    return false;
  };
  for (int j = index - 1; j >= 0; --j)
    if (consider(j)) return;
  for (int j = index + 1; j < NUM_TRACKS; ++j)
    if (consider(j)) return;
  if (fallback >= 0) {
    const int32_t position = e->tracks[fallback].position % length;
    t.position = position;
    t.lastPosition = position;
    t.exactPosition = position;
  }
}

// The insert hand-over at the record track's loop start. Returns the new state.
int32_t InsertHandOver(AudioEngine* e, int index, int32_t state, bool callHookOnStart) {
  int32_t expected = state;
  if (state == InsertWaiting) {
    if (e->state.compare_exchange_strong(expected, Inserting)) {
      if (callHookOnStart)
        if (InsertPassCallbackFn hook = e->InsertPassCallback) hook(1);
      return Inserting;
    }
    return expected;
  }
  if (state == Inserting) {
    if (e->state.compare_exchange_strong(expected, Playing)) {
      // The snapshot itself is taken on the user-interface side before anything else
      // touches the history: copying up to 240 s of audio has no place here.
      if (e->undoEnabled) e->insertSnapshotTrack.store(index);
      if (InsertPassCallbackFn hook = e->InsertPassCallback) hook(0);
      return Playing;
    }
    return expected;
  }
  return state;
}

void ApplyPendingCut(AudioEngine* e) {
  if (e->pendingCutTrack == -1) return;
  if (!e->lock.try_lock()) return;  // next buffer
  Transport_ApplyPendingCut(e);
  e->lock.unlock();
}

void SwapPendingBuffers(AudioEngine* e) {
  bool locked = false;
  for (LoopTrack& t : e->tracks) {
    if (!t.inUse || !t.pNewBuffer.load(std::memory_order_acquire)) continue;
    if (!locked) {
      if (!e->lock.try_lock()) return;  // next buffer
      locked = true;
    }
    // The replaced buffer goes back to the user-interface thread to be freed; with no
    // room to hand it back, the swap waits for the next buffer.
    if (!e->replacedBuffers.has_room(1)) break;
    if (float* old = Audio_SwapInPendingBuffer(&t)) e->replacedBuffers.push(old);
  }
  if (locked) e->lock.unlock();
}

// ---- Track rendering ----
//
// A track's frames are rendered in runs: stretches in which its head neither wraps nor
// meets an event (the record track's loop start, the metronome's beats), at a rate whose
// head positions follow in closed form. Inside a run nothing is decided per frame; the
// frames between runs go through RenderFrame, one at a time. Either way every sample is
// computed by the same operations in the same order, so the result is the same bit for
// bit as rendering every frame alone.

// Everything about one track that stays fixed for a callback piece.
struct TrackPiece {
  float* buffer;
  int32_t length;
  int32_t channels;
  double gain[2];  // submix x pan x volume, per output channel
  double wet;
  double dry;
  double feedback;
  int64_t latencyFrames;  // how far the write point trails the head (scaled by the rate)
  bool sendsToEffects;
  bool canRecord;  // the record track, not bouncing the mix
  bool isMetronome;
};

// The write point of the frame at `position`: the latency behind the head, wrapped into
// the loop.
inline int64_t WriteFrame(const TrackPiece& p, int32_t position) {
  int64_t writeFrame = position - p.latencyFrames;
  if (writeFrame < 0) writeFrame += p.length;
  if (writeFrame >= p.length) writeFrame -= p.length;
  return writeFrame;
}

// One frame of a track, every rule checked: the frames between runs.
void RenderFrame(AudioEngine* e, int index, LoopTrack& t, const TrackPiece& p, const Motion& motion,
                 Head& h, bool& active, double& peak, int32_t& state, const float* in, float* out,
                 float* bus) {
  if (!active) {
    Advance(h, motion);
    return;
  }
  const bool isNew = h.position != h.lastPosition;
  if (p.canRecord && h.position == 0 && isNew) state = InsertHandOver(e, index, state, true);
  if (isNew) h.lastPosition = h.position;
  if (p.isMetronome && isNew && !Metronome_NewFrame(e, &t, h.position, state)) {
    // Silent from here on, but the click head keeps moving with the loops so that it
    // stays in step when the metronome sounds again.
    active = false;
    Advance(h, motion);
    return;
  }

  float* head = p.buffer + static_cast<int64_t>(h.position) * p.channels;
  const double sample[2] = {head[0], p.channels == 2 ? head[1] : head[0]};
  double meter = 0.0;
  for (int c = 0; c < 2; ++c) {
    const double s = sample[c] * p.gain[c];
    if (p.sendsToEffects) {
      bus[c] += static_cast<float>(s * p.wet);
      out[c] += static_cast<float>(s * p.dry);
    } else {
      out[c] += static_cast<float>(s);
    }
    meter += s;
  }

  if (p.canRecord && isNew && IsRecordingState(state)) {
    float* target = p.buffer + WriteFrame(p, h.position) * p.channels;
    if (p.channels == 2) {
      head[0] = static_cast<float>(head[0] * p.feedback);
      target[0] = static_cast<float>(target[0] + static_cast<double>(in[0]));
      head[1] = static_cast<float>(head[1] * p.feedback);
      target[1] = static_cast<float>(target[1] + static_cast<double>(in[1]));
    } else {
      head[0] = static_cast<float>(head[0] * p.feedback);
      target[0] = static_cast<float>(target[0] + static_cast<double>(in[0]) + in[1]);
    }
  }

  if (meter * 0.5 > peak) peak = meter * 0.5;
  Advance(h, motion);
}

// The head in half frames when the rate moves it by whole or half frames and it sits on
// the half-frame grid: then every step is exact and the positions of a run follow in
// closed form. `step` is twice the rate (-2, -1, 1, 2); 0 for any other rate.
struct HalfFrames {
  int64_t twice;  // 2 x exactPosition
  int64_t step;
};

int64_t HalfStep(double rate) {
  if (rate == 1.0) return 2;
  if (rate == 0.5) return 1;
  if (rate == -1.0) return -2;
  if (rate == -0.5) return -1;
  return 0;
}

// Positions whose new frames need the per-frame rules recur every `eventEvery` frames
// from the loop start: the metronome's beats, or (this value) only the loop start itself,
// where the record track's insert hand-over happens.
constexpr int64_t kOnlyLoopStart = std::numeric_limits<int32_t>::max();

// How many frames from the head on form a run (0: render the next frame alone). After
// each frame of a run the head stays inside [begin, end) without wrapping, and no frame
// of the run sits at a position that is a multiple of `eventEvery` (0: no such events).
unsigned long RunLength(const Head& h, const Motion& m, int64_t step, int64_t eventEvery,
                        unsigned long frames, HalfFrames* half) {
  const double twice = h.exact * 2.0;
  if (!(twice >= 0.0 && twice < 4294967296.0)) return 0;
  const auto t = static_cast<int64_t>(twice);
  if (static_cast<double>(t) != twice || (t >> 1) != h.position) return 0;
  if (h.position < m.begin || h.position >= m.end) return 0;
  if (eventEvery > 0 && h.position % eventEvery == 0) return 0;
  int64_t n;
  if (step > 0) {
    n = (2 * static_cast<int64_t>(m.end) - 1 - t) / step;  // the last head stays below end
    if (eventEvery > 0) {
      const int64_t event = (h.position / eventEvery + 1) * eventEvery;  // the next one ahead
      n = std::min<int64_t>(n, (2 * event - 1 - t) / step + 1);          // the last frame before it
    }
  } else {
    n = (t - 2 * static_cast<int64_t>(m.begin)) / -step;  // ... and at or above begin
    if (eventEvery > 0) {
      const int64_t event = h.position / eventEvery * eventEvery;  // the next one behind
      n = std::min<int64_t>(n, (t - 2 * event - 2) / -step + 1);   // the last frame above it
    }
  }
  if (n <= 0) return 0;
  *half = HalfFrames{t, step};
  return static_cast<unsigned long>(std::min<int64_t>(n, static_cast<int64_t>(frames)));
}

void AdvanceRun(Head& h, const HalfFrames& half, unsigned long n, bool active) {
  const int64_t t = half.twice + half.step * static_cast<int64_t>(n);
  if (active) h.lastPosition = static_cast<int32_t>((t - half.step) >> 1);
  h.exact = static_cast<double>(t) * 0.5;
  h.position = static_cast<int32_t>(t >> 1);
}

// Keeps the running maximum of meter sums the way `if (m > max) max = m` does.
inline double Higher(double m, double max) { return m > max ? m : max; }

// Adds one frame's scaled samples to the output, split with the effects bus when the track
// sends to it. Returns the running meter maximum with this frame's sum.
template <bool Effects>
inline double MixFrame(const TrackPiece& p, double s0, double s1, float* out, float* bus, unsigned long k,
                       double max) {
  if constexpr (Effects) {
    bus[2 * k] += static_cast<float>(s0 * p.wet);
    out[2 * k] += static_cast<float>(s0 * p.dry);
    bus[2 * k + 1] += static_cast<float>(s1 * p.wet);
    out[2 * k + 1] += static_cast<float>(s1 * p.dry);
  } else {
    out[2 * k] += static_cast<float>(s0);
    out[2 * k + 1] += static_cast<float>(s1);
  }
  return Higher(s0 + s1, max);
}

#if defined(__SSE2__)
// The same for frames k and k + 1 at once (`a` and `b`, each left and right as doubles).
template <bool Effects>
inline void MixTwoFrames(__m128d a, __m128d b, __m128d wetv, __m128d dryv, float* out, float* bus,
                         unsigned long k) {
  if constexpr (Effects) {
    const __m128 toBus = _mm_movelh_ps(_mm_cvtpd_ps(_mm_mul_pd(a, wetv)), _mm_cvtpd_ps(_mm_mul_pd(b, wetv)));
    _mm_storeu_ps(bus + 2 * k, _mm_add_ps(_mm_loadu_ps(bus + 2 * k), toBus));
    const __m128 toOut = _mm_movelh_ps(_mm_cvtpd_ps(_mm_mul_pd(a, dryv)), _mm_cvtpd_ps(_mm_mul_pd(b, dryv)));
    _mm_storeu_ps(out + 2 * k, _mm_add_ps(_mm_loadu_ps(out + 2 * k), toOut));
  } else {
    const __m128 toOut = _mm_movelh_ps(_mm_cvtpd_ps(a), _mm_cvtpd_ps(b));
    _mm_storeu_ps(out + 2 * k, _mm_add_ps(_mm_loadu_ps(out + 2 * k), toOut));
  }
}
#endif

// Plays `n` frames of a run into out (and bus), frame k from frame (twice + k x step) / 2
// of the buffer. Returns the highest meter sum (not halved) above `max`.
template <int Channels, bool Effects, int Step>
double PlayRun(const TrackPiece& p, int64_t twice, unsigned long n, float* out, float* bus, double max) {
  const double g0 = p.gain[0], g1 = p.gain[1];
  const float* buffer = p.buffer;
  unsigned long k = 0;
#if defined(__SSE2__)
  if constexpr (Step == 2) {
    // Two frames at a time: the two channels of a frame side by side in one register.
    const float* head = buffer + (twice >> 1) * Channels;
    const __m128d g = _mm_set_pd(g1, g0);
    const __m128d wetv = _mm_set1_pd(p.wet), dryv = _mm_set1_pd(p.dry);
    __m128d highest = _mm_set1_pd(max);
    for (; k + 2 <= n; k += 2) {
      __m128d a, b;  // frames k and k + 1, as doubles
      if constexpr (Channels == 2) {
        const __m128 x = _mm_loadu_ps(head + 2 * k);
        a = _mm_cvtps_pd(x);
        b = _mm_cvtps_pd(_mm_movehl_ps(x, x));
      } else {
        const __m128 x = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(head + k)));
        a = _mm_cvtps_pd(_mm_unpacklo_ps(x, x));
        b = _mm_cvtps_pd(_mm_shuffle_ps(x, x, _MM_SHUFFLE(1, 1, 1, 1)));
      }
      a = _mm_mul_pd(a, g);
      b = _mm_mul_pd(b, g);
      MixTwoFrames<Effects>(a, b, wetv, dryv, out, bus, k);
      // Left + right of both frames; the maximum keeps `highest` when the sum is NaN.
      const __m128d sums = _mm_add_pd(_mm_unpacklo_pd(a, b), _mm_unpackhi_pd(a, b));
      highest = _mm_max_pd(sums, highest);
    }
    max = Higher(_mm_cvtsd_f64(highest), max);
    max = Higher(_mm_cvtsd_f64(_mm_unpackhi_pd(highest, highest)), max);
  }
#endif
  for (; k < n; ++k) {
    const int64_t position = (twice + Step * static_cast<int64_t>(k)) >> 1;
    const float* head = buffer + position * Channels;
    const double s0 = head[0] * g0;
    const double s1 = head[Channels - 1] * g1;
    max = MixFrame<Effects>(p, s0, s1, out, bus, k, max);
  }
  return max;
}

template <int Channels, bool Effects>
double PlayRunAtStep(const TrackPiece& p, const HalfFrames& half, unsigned long n, float* out, float* bus,
                     double max) {
  switch (half.step) {
    case 2: return PlayRun<Channels, Effects, 2>(p, half.twice, n, out, bus, max);
    case 1: return PlayRun<Channels, Effects, 1>(p, half.twice, n, out, bus, max);
    case -1: return PlayRun<Channels, Effects, -1>(p, half.twice, n, out, bus, max);
    default: return PlayRun<Channels, Effects, -2>(p, half.twice, n, out, bus, max);
  }
}

double PlayRunOf(const TrackPiece& p, const HalfFrames& half, unsigned long n, float* out, float* bus,
                 double max) {
  if (p.channels == 2)
    return p.sendsToEffects ? PlayRunAtStep<2, true>(p, half, n, out, bus, max)
                            : PlayRunAtStep<2, false>(p, half, n, out, bus, max);
  return p.sendsToEffects ? PlayRunAtStep<1, true>(p, half, n, out, bus, max)
                          : PlayRunAtStep<1, false>(p, half, n, out, bus, max);
}

#if defined(__SSE2__)
// Plays and overdubs `n` frames of a stereo track at rate 1, two frames at a time: each
// frame new, the heads from `head` on, the write points from `target` on without a wrap
// and never ahead of the head among the frames these read (so no frame reads another's
// write; a write point at or behind the head lands after that head's own update, as
// frame by frame). Per sample the arithmetic is the frame-by-frame one. Returns the
// highest meter sum above `max`.
template <bool Effects>
double OverdubRun(const TrackPiece& p, float* head, float* target, unsigned long n, const float* in, float* out,
                  float* bus, double max) {
  const __m128d g = _mm_set_pd(p.gain[1], p.gain[0]);
  const __m128d wetv = _mm_set1_pd(p.wet), dryv = _mm_set1_pd(p.dry), fb = _mm_set1_pd(p.feedback);
  __m128d highest = _mm_set1_pd(max);
  unsigned long k = 0;
  for (; k + 2 <= n; k += 2) {
    const __m128 x = _mm_loadu_ps(head + 2 * k);
    const __m128d rawA = _mm_cvtps_pd(x), rawB = _mm_cvtps_pd(_mm_movehl_ps(x, x));
    const __m128d a = _mm_mul_pd(rawA, g), b = _mm_mul_pd(rawB, g);
    MixTwoFrames<Effects>(a, b, wetv, dryv, out, bus, k);
    highest = _mm_max_pd(_mm_add_pd(_mm_unpacklo_pd(a, b), _mm_unpackhi_pd(a, b)), highest);
    // The old material fades by the feedback, then the input lands at the write point
    // (which may be the head itself, so it is read after the head is stored).
    _mm_storeu_ps(head + 2 * k, _mm_movelh_ps(_mm_cvtpd_ps(_mm_mul_pd(rawA, fb)), _mm_cvtpd_ps(_mm_mul_pd(rawB, fb))));
    const __m128 y = _mm_loadu_ps(target + 2 * k);
    const __m128 i = _mm_loadu_ps(in + 2 * k);
    const __m128d sumA = _mm_add_pd(_mm_cvtps_pd(y), _mm_cvtps_pd(i));
    const __m128d sumB = _mm_add_pd(_mm_cvtps_pd(_mm_movehl_ps(y, y)), _mm_cvtps_pd(_mm_movehl_ps(i, i)));
    _mm_storeu_ps(target + 2 * k, _mm_movelh_ps(_mm_cvtpd_ps(sumA), _mm_cvtpd_ps(sumB)));
  }
  max = Higher(_mm_cvtsd_f64(highest), max);
  max = Higher(_mm_cvtsd_f64(_mm_unpackhi_pd(highest, highest)), max);
  for (; k < n; ++k) {
    float* h = head + 2 * k;
    float* t = target + 2 * k;
    const double s0 = h[0] * p.gain[0];
    const double s1 = h[1] * p.gain[1];
    max = MixFrame<Effects>(p, s0, s1, out, bus, k, max);
    h[0] = static_cast<float>(h[0] * p.feedback);
    t[0] = static_cast<float>(t[0] + static_cast<double>(in[2 * k]));
    h[1] = static_cast<float>(h[1] * p.feedback);
    t[1] = static_cast<float>(t[1] + static_cast<double>(in[2 * k + 1]));
  }
  return max;
}
#endif

// Plays and records `n` frames of a run of the record track, frame by frame in order:
// the write point may lie ahead of the head inside the run (a selection far from the
// loop start), so each frame sees every write before it. Where no frame can see another's
// write, a stereo track at rate 1 goes two frames at a time. Returns the highest meter sum.
double RecordRun(const TrackPiece& p, const HalfFrames& half, unsigned long n, Head& h, const float* in,
                 float* out, float* bus, double max) {
  float* const buffer = p.buffer;
  const int64_t channels = p.channels;
  int32_t last = h.lastPosition;
  unsigned long k = 0;
  auto frame = [&](unsigned long k) {
    const auto position = static_cast<int32_t>((half.twice + half.step * static_cast<int64_t>(k)) >> 1);
    float* head = buffer + position * channels;
    const double s0 = head[0] * p.gain[0];
    const double s1 = head[channels - 1] * p.gain[1];
    max = p.sendsToEffects ? MixFrame<true>(p, s0, s1, out, bus, k, max)
                           : MixFrame<false>(p, s0, s1, out, bus, k, max);
    if (position == last) return;  // not a new frame: nothing to record
    last = position;
    float* target = buffer + WriteFrame(p, position) * channels;
    if (channels == 2) {
      head[0] = static_cast<float>(head[0] * p.feedback);
      target[0] = static_cast<float>(target[0] + static_cast<double>(in[2 * k]));
      head[1] = static_cast<float>(head[1] * p.feedback);
      target[1] = static_cast<float>(target[1] + static_cast<double>(in[2 * k + 1]));
    } else {
      head[0] = static_cast<float>(head[0] * p.feedback);
      target[0] = static_cast<float>(target[0] + static_cast<double>(in[2 * k]) + in[2 * k + 1]);
    }
  };
#if defined(__SSE2__)
  if (half.step == 2 && channels == 2 && n >= 4) {
    frame(k++);  // the first frame may repeat the last one; every later one is new
    const auto position = static_cast<int32_t>((half.twice >> 1) + 1);
    const int64_t writeFrame = WriteFrame(p, position);
    const auto rest = static_cast<int64_t>(n - 1);
    // A write point ahead of the head inside these frames is one a later frame reads.
    if (writeFrame + rest <= p.length && (writeFrame <= position || writeFrame >= position + rest)) {
      float* head = buffer + static_cast<int64_t>(position) * 2;
      float* target = buffer + writeFrame * 2;
      max = p.sendsToEffects ? OverdubRun<true>(p, head, target, n - 1, in + 2, out + 2, bus + 2, max)
                             : OverdubRun<false>(p, head, target, n - 1, in + 2, out + 2, bus + 2, max);
      return max;
    }
  }
#endif
  for (; k < n; ++k) frame(k);
  return max;
}

// ---- Seams ----
//
// While a fade is under way a track is rendered frame by frame through SeamFrame, with the
// gain it glides at and the input at its fading level; a tail left behind by a jump, a
// rate change or a stop plays through RenderSeamTail. With the crossfade at 0 neither
// runs, and every frame is rendered as it would be without seams.

// The crossfade in frames at the stream's rate (0: off).
int32_t SeamFrames(AudioEngine* e) {
  const int32_t ms = e->seamMilliseconds;
  if (ms <= 0) return 0;
  return std::max<int32_t>(1, static_cast<int32_t>(ms * e->sampleRate.load() / 1000.0));
}

// A fade no longer than a quarter of the range the head wraps in.
inline int32_t FadeFor(int32_t seamFrames, int32_t begin, int32_t end) { return std::min(seamFrames, (end - begin) / 4); }

// The head the track left at the end of its last piece goes on alone, fading out over
// `fade` frames (nothing to do when it was silent and recorded nothing).
void StartTail(TrackSeam& s, int32_t fade) {
  SeamTail& tail = s.tail;
  tail.left = 0;
  if (fade <= 0 || !s.buffer || (s.gain[0] == 0.0 && s.gain[1] == 0.0 && s.recordLevel <= 0.0)) return;
  tail.buffer = s.buffer;
  tail.capacity = s.capacity;
  tail.channels = s.channels;
  tail.exact = s.exact;
  tail.position = s.position;
  tail.lastPosition = s.lastPosition;
  tail.rate = s.rate;
  tail.length = s.length;
  tail.begin = s.begin;
  tail.end = s.end;
  tail.gain[0] = s.gain[0];
  tail.gain[1] = s.gain[1];
  tail.wet = s.wet;
  tail.dry = s.dry;
  tail.sends = s.sends;
  tail.recordLevel = s.recordLevel;
  tail.feedback = s.feedback;
  tail.latencyFrames = s.latencyFrames;
  tail.left = tail.total = fade;
}

// The track's head starts anew: it fades in (and its recording with it).
void FadeIn(TrackSeam& s, int32_t fade) {
  s.gain[0] = s.gain[1] = 0.0;
  s.rampLeft = fade;
  s.recordLevel = 0.0;
}

// Compares the track as this piece finds it with how the last piece left it and starts
// the fades the difference calls for.
void SeamBegin(TrackSeam& s, const TrackPiece& p, const Head& h, const Motion& m, const SlotView& view, int32_t fade) {
  // A cut ends the loop at the head and brings it back to the start: a wrap, not a jump.
  const bool cutAtHead = s.position >= m.length && s.position - m.length == h.position;
  const bool moved = s.position != h.position && !cutAtHead;
  bool ramp = true;
  if (!s.sounding || s.buffer != view.buffer) {
    FadeIn(s, fade);  // started, or a new buffer (the old one may be freed: no tail from it)
  } else if (moved || m.rate != s.rate) {
    StartTail(s, fade);
    FadeIn(s, fade);
  } else if (p.gain[0] != s.target[0] || p.gain[1] != s.target[1]) {
    s.rampLeft = fade;  // from the gain it plays at now
  } else {
    ramp = false;
  }
  s.target[0] = p.gain[0];
  s.target[1] = p.gain[1];
  if (ramp)
    for (int c = 0; c < 2; ++c) s.rampStep[c] = (s.target[c] - s.gain[c]) / fade;
}

// What the next piece compares with: the head, its buffer and how it plays and records.
void SeamEnd(TrackSeam& s, const TrackPiece& p, const Head& h, const Motion& m, const SlotView& view, bool sounding,
             int32_t fade, bool recording) {
  s.sounding = sounding;
  s.buffer = view.buffer;
  s.capacity = view.capacity;
  s.channels = view.channels;
  s.exact = h.exact;
  s.position = h.position;
  s.lastPosition = h.lastPosition;
  s.rate = m.rate;
  s.length = m.length;
  s.begin = m.begin;
  s.end = m.end;
  s.wet = p.wet;
  s.dry = p.dry;
  s.sends = p.sendsToEffects;
  s.feedback = p.feedback;
  s.latencyFrames = p.latencyFrames;
  if (fade <= 0) {  // no fades: what it asks for is what it plays
    s.target[0] = s.gain[0] = p.gain[0];
    s.target[1] = s.gain[1] = p.gain[1];
    s.rampLeft = 0;
    s.recordLevel = recording ? 1.0 : 0.0;
  }
}

inline bool Fading(const TrackSeam& s, bool recording) { return s.rampLeft > 0 || s.recordLevel != (recording ? 1.0 : 0.0); }

// Adds the input at `level` to the frame at `target` after the head has faded by the
// feedback as far as that level goes (at level 1 exactly as recording does).
inline void RecordAtLevel(float* head, float* target, int channels, double feedback, double level, const float* in) {
  const double fade = level >= 1.0 ? feedback : 1.0 + (feedback - 1.0) * level;
  if (channels == 2) {
    head[0] = static_cast<float>(head[0] * fade);
    target[0] = static_cast<float>(target[0] + static_cast<double>(in[0]) * level);
    head[1] = static_cast<float>(head[1] * fade);
    target[1] = static_cast<float>(target[1] + static_cast<double>(in[1]) * level);
  } else {
    head[0] = static_cast<float>(head[0] * fade);
    target[0] = static_cast<float>(target[0] + static_cast<double>(in[0]) * level + static_cast<double>(in[1]) * level);
  }
}

// One frame of a track while a fade is under way: as RenderFrame (the metronome never
// comes here), at the gliding gain and with the input at its fading level.
void SeamFrame(AudioEngine* e, int index, const TrackPiece& p, const Motion& motion, Head& h, double& peak,
               int32_t& state, const float* in, float* out, float* bus, TrackSeam& s, double levelStep) {
  const bool isNew = h.position != h.lastPosition;
  if (p.canRecord && h.position == 0 && isNew) state = InsertHandOver(e, index, state, true);
  if (isNew) h.lastPosition = h.position;
  if (s.rampLeft > 0) {
    if (--s.rampLeft == 0) {
      s.gain[0] = s.target[0];
      s.gain[1] = s.target[1];
    } else {
      s.gain[0] += s.rampStep[0];
      s.gain[1] += s.rampStep[1];
    }
  }
  s.recordLevel = p.canRecord && IsRecordingState(state) ? std::min(1.0, s.recordLevel + levelStep)
                                                         : std::max(0.0, s.recordLevel - levelStep);

  float* head = p.buffer + static_cast<int64_t>(h.position) * p.channels;
  const double sample[2] = {head[0] * s.gain[0], head[p.channels - 1] * s.gain[1]};
  for (int c = 0; c < 2; ++c) {
    if (p.sendsToEffects) {
      bus[c] += static_cast<float>(sample[c] * p.wet);
      out[c] += static_cast<float>(sample[c] * p.dry);
    } else {
      out[c] += static_cast<float>(sample[c]);
    }
  }
  const double meter = (sample[0] + sample[1]) * 0.5;
  if (meter > peak) peak = meter;

  // A track that stopped being the record track still fades its input out.
  if (isNew && s.recordLevel > 0.0)
    RecordAtLevel(head, p.buffer + WriteFrame(p, h.position) * p.channels, p.channels, p.feedback, s.recordLevel, in);
  Advance(h, motion);
}

// Plays (and records, if it was recording) the track's tail for this piece, while its
// buffer is still the slot's.
void RenderSeamTail(AudioEngine* e, int index, const float* in, float* out, unsigned long frames, int& effectsSends) {
  SeamTail& tail = e->seams[index].tail;
  SlotView view;
  if (!ReadSlot(e->tracks[index], &view) || view.buffer != tail.buffer || view.channels != tail.channels ||
      view.capacity < tail.capacity) {
    tail.left = 0;
    return;
  }
  if (tail.sends) ++effectsSends;
  const int channels = tail.channels;
  const unsigned long n = std::min<unsigned long>(frames, static_cast<unsigned long>(tail.left));
  for (unsigned long k = 0; k < n; ++k, --tail.left) {
    const double w = static_cast<double>(tail.left) / tail.total;
    float* head = tail.buffer + static_cast<int64_t>(tail.position) * channels;
    const double s0 = head[0] * tail.gain[0] * w, s1 = head[channels - 1] * tail.gain[1] * w;
    if (tail.sends) {
      effectsBus[2 * k] += static_cast<float>(s0 * tail.wet);
      effectsBus[2 * k + 1] += static_cast<float>(s1 * tail.wet);
      out[2 * k] += static_cast<float>(s0 * tail.dry);
      out[2 * k + 1] += static_cast<float>(s1 * tail.dry);
    } else {
      out[2 * k] += static_cast<float>(s0);
      out[2 * k + 1] += static_cast<float>(s1);
    }
    if (tail.recordLevel > 0.0 && tail.position != tail.lastPosition && tail.length > 0) {
      int64_t write = (tail.position - tail.latencyFrames) % tail.length;
      if (write < 0) write += tail.length;
      RecordAtLevel(head, tail.buffer + write * channels, channels, tail.feedback, tail.recordLevel * w, in + 2 * k);
    }
    tail.lastPosition = tail.position;
    tail.exact += tail.rate;
    tail.position = static_cast<int32_t>(tail.exact);
    const int32_t span = tail.end - tail.begin;
    if (tail.position >= tail.end) {
      tail.position -= span;
      tail.exact -= span;
    } else if (tail.position < tail.begin) {
      tail.position += span;
      tail.exact += span;
    }
    tail.position = std::clamp(tail.position, 0, tail.capacity - 1);
  }
}

// After the tracks have rendered: a track that fell silent leaves a tail, tails play,
// and the record hand-over learns whether a fade still writes into a loop.
void SettleSeams(AudioEngine* e, const bool* rendered, int32_t seamFrames, const float* in, float* out,
                 unsigned long frames, int& effectsSends) {
  bool writing = false;
  for (int i = 0; i < NUM_TRACKS; ++i) {
    TrackSeam& s = e->seams[i];
    if (!rendered[i]) {
      if (s.sounding && seamFrames > 0) StartTail(s, FadeFor(seamFrames, s.begin, s.end));
      s.sounding = false;
      s.rampLeft = 0;
      s.recordLevel = 0.0;  // (a silent head records nothing either: it must not hold Stop up)
    }
    if (seamFrames <= 0)
      s.tail.left = 0;
    else if (s.tail.left > 0)
      RenderSeamTail(e, i, in, out, frames, effectsSends);
    // Counted with the fades off too: turned on before the next piece, they start a
    // punch-out tail from a head that records now.
    writing = writing || s.recordLevel > 0.0 || (s.tail.left > 0 && s.tail.recordLevel > 0.0);
  }
  if (writing != e->seamRecording.load(std::memory_order_relaxed)) e->seamRecording.store(writing, std::memory_order_release);
}

// Renders one track slot into the output and the effects bus; records into it. Returns
// whether its head played (false: the slot was skipped).
bool RenderTrack(AudioEngine* e, int index, const float* in, float* out, unsigned long frames,
                 int32_t& state, int& effectsSends, int32_t seamFrames) {
  LoopTrack& t = e->tracks[index];
  SlotView view;
  if (!ReadSlot(t, &view)) return false;
  const bool isRecordTrack = t.record != 0;
  const bool mixToTrack = e->mixToTrack != 0;
  const bool isMetronome = index == e->metronomeTrack;
  if (isRecordTrack && mixToTrack && state != Playing) return false;
  if (!isMetronome && Metronome_CountoffRunning(e, state)) return false;

  if (isMetronome) Metronome_UpdateActive(e, &t, state);
  const bool sendsToEffects = t.effects != 0;
  if (sendsToEffects) ++effectsSends;
  if (t.resync) {
    Resync(e, index);
    t.resync = 0;
  }

  const int32_t length = view.length;
  const Motion motion = MotionOf(t, length);
  Head h = HeadOf(t, length, t.lastPosition);
  const double rate = motion.rate;
  const uint32_t submix = t.submix < 2 ? t.submix.load() : 0;
  const double g = e->submixMute[submix] ? 0.0 : e->submixVolume[submix].load();
  const double volume = t.volume;
  TrackPiece p;
  p.buffer = view.buffer;
  p.length = length;
  p.channels = view.channels;
  p.gain[0] = g * t.leftGain * volume;
  p.gain[1] = g * t.rightGain * volume;
  p.wet = t.wetGain;
  p.dry = t.dryGain;
  p.feedback = t.feedback;
  // The write point trails the head by the stream's latency, scaled by the rate so that
  // what the performer heard and what plays back line up (ahead of it in reverse).
  p.latencyFrames = static_cast<int64_t>(static_cast<double>(e->latencyFrames.load()) * rate) % length;
  p.sendsToEffects = sendsToEffects;
  p.canRecord = isRecordTrack && !mixToTrack;
  p.isMetronome = isMetronome;
  double peak = t.peak;
  double highest = -std::numeric_limits<double>::infinity();  // highest meter sum of the runs
  bool active = t.active != 0;
  const int64_t step = HalfStep(rate);
  int64_t eventEvery = p.canRecord ? kOnlyLoopStart : 0;
  if (isMetronome) {
    const int32_t framesPerBeat = e->framesPerBeat;
    eventEvery = framesPerBeat > 0 ? framesPerBeat : kOnlyLoopStart;
  }
  // The metronome's clicks are short sounds of their own: they never fade.
  TrackSeam& seam = e->seams[index];
  const int32_t fade = isMetronome || !active ? 0 : FadeFor(seamFrames, motion.begin, motion.end);
  if (fade > 0) SeamBegin(seam, p, h, motion, view, fade);
  const double levelStep = fade > 0 ? 1.0 / fade : 0.0;  // the input's level moves by this a frame

  unsigned long f = 0;
  while (f < frames) {
    if (fade > 0 && Fading(seam, p.canRecord && IsRecordingState(state))) {
      SeamFrame(e, index, p, motion, h, peak, state, in + 2 * f, out + 2 * f, effectsBus + 2 * f, seam, levelStep);
      ++f;
      continue;
    }
    HalfFrames half;
    const unsigned long n = step != 0 ? RunLength(h, motion, step, eventEvery, frames - f, &half) : 0;
    if (n == 0) {
      // With seams the loop start's hand-over starts (or ends) recording at a fading level.
      if (fade > 0)
        SeamFrame(e, index, p, motion, h, peak, state, in + 2 * f, out + 2 * f, effectsBus + 2 * f, seam, levelStep);
      else
        RenderFrame(e, index, t, p, motion, h, active, peak, state, in + 2 * f, out + 2 * f, effectsBus + 2 * f);
      ++f;
      continue;
    }
    if (active) {
      if (p.canRecord && IsRecordingState(state))
        highest = RecordRun(p, half, n, h, in + 2 * f, out + 2 * f, effectsBus + 2 * f, highest);
      else
        highest = PlayRunOf(p, half, n, out + 2 * f, effectsBus + 2 * f, highest);
    }
    AdvanceRun(h, half, n, active);
    f += n;
  }
  // The peak takes the highest half meter sum, as if compared frame by frame.
  if (highest * 0.5 > peak) peak = highest * 0.5;

  StoreHead(t, h);
  t.peak = peak;
  if (isMetronome && !active) t.active = 0;
  if (h.wrapped && isRecordTrack) t.recorded = 1;
  SeamEnd(seam, p, h, motion, view, active && !isMetronome, fade, p.canRecord && IsRecordingState(state));
  return true;
}

// Mix to Track: the final output replaces the record track's audio.
void MixIntoTrack(AudioEngine* e, const float* out, unsigned long frames, int32_t& state) {
  int index = -1;
  for (int i = 0; i < NUM_TRACKS; ++i) {
    LoopTrack& t = e->tracks[i];
    if (t.inUse && t.active && t.record) {
      index = i;
      break;
    }
  }
  if (index < 0) return;
  LoopTrack& t = e->tracks[index];
  SlotView view;
  if (!ReadSlot(t, &view)) return;
  const Motion motion = MotionOf(t, view.length);
  Head h = HeadOf(t, view.length, -1);
  double peak = t.peak;
  for (unsigned long f = 0; f < frames; ++f) {
    const bool isNew = h.position != h.lastPosition;
    if (h.position == 0 && isNew) state = InsertHandOver(e, index, state, false);
    if (!IsRecordingState(state)) continue;
    if (isNew) {
      float* head = view.buffer + static_cast<int64_t>(h.position) * view.channels;
      double meter;
      if (view.channels == 2) {
        head[0] = out[2 * f];
        head[1] = out[2 * f + 1];
        meter = static_cast<double>(out[2 * f]) + out[2 * f + 1];
      } else {
        head[0] = out[2 * f + 1];
        meter = out[2 * f + 1];
      }
      if (meter * 0.5 > peak) peak = meter * 0.5;
      h.lastPosition = h.position;
    }
    Advance(h, motion);
  }
  StoreHead(t, h);
  t.peak = peak;
  if (h.wrapped) t.recorded = 1;
}

// Raises each channel's meter to the highest magnitude among `frames` interleaved stereo
// frames, as `if (|x| > peak) peak = |x|` frame by frame would (a NaN never counts).
void RaisePeaks(const float* samples, unsigned long frames, Relaxed<double>* peaks) {
  float highest[2] = {-std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
  unsigned long f = 0;
#if defined(__SSE2__)
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  __m128 lanes = _mm_set1_ps(-std::numeric_limits<float>::infinity());
  for (; f + 2 <= frames; f += 2)
    lanes = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(samples + 2 * f), magnitude), lanes);
  alignas(16) float lane[4];
  _mm_store_ps(lane, lanes);
  highest[0] = lane[2] > lane[0] ? lane[2] : lane[0];
  highest[1] = lane[3] > lane[1] ? lane[3] : lane[1];
#endif
  for (; f < frames; ++f) {
    for (int c = 0; c < 2; ++c) {
      const float level = samples[2 * f + c] < 0 ? -samples[2 * f + c] : samples[2 * f + c];
      if (level > highest[c]) highest[c] = level;
    }
  }
  for (int c = 0; c < 2; ++c)
    if (highest[c] > peaks[c]) peaks[c] = highest[c];
}

// The master gain over `frames` interleaved stereo frames: each sample times `gain` in
// double precision, stored as float.
void ApplyMaster(float* out, unsigned long frames, double gain) {
  unsigned long i = 0;
  const unsigned long samples = 2 * frames;
#if defined(__SSE2__)
  const __m128d g = _mm_set1_pd(gain);
  for (; i + 4 <= samples; i += 4) {
    const __m128 x = _mm_loadu_ps(out + i);
    const __m128 low = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(x), g));
    const __m128 high = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(x, x)), g));
    _mm_storeu_ps(out + i, _mm_movelh_ps(low, high));
  }
#endif
  for (; i < samples; ++i) out[i] = static_cast<float>(out[i] * gain);
}

// `offset`: where the piece starts in the callback's buffer (the clock hook counts from there).
void ProcessPiece(AudioEngine* e, const float* in, float* out, unsigned long frames, unsigned long offset) {
  if (e->rewindRequested.exchange(false)) Transport_RewindAll(e);
  ApplyPendingCut(e);
  SwapPendingBuffers(e);

  std::memset(effectsBus, 0, sizeof(float) * 2 * frames);
  std::memset(out, 0, sizeof(float) * 2 * frames);

  int32_t state = e->state.load();
  const bool running = IsRunning(state);
  int effectsSends = 0;
  const int32_t seamFrames = SeamFrames(e);
  bool rendered[NUM_TRACKS] = {};
  if (running) {
    for (int i = 0; i < NUM_TRACKS; ++i) rendered[i] = RenderTrack(e, i, in, out, frames, state, effectsSends, seamFrames);
  }
  SettleSeams(e, rendered, seamFrames, in, out, frames, effectsSends);

  Audio_UpdateFilterLfo(e, frames);

  // Live input, effects chain and input meters, frame by frame; in every state, so live
  // input and effect tails sound while stopped.
  const bool latent = e->latentInput != 0;
  double latentDry = e->latentDryGain, latentWet = e->latentWetGain;
  const uint32_t effectsTrack = e->latentEffectsTrack;
  if (e->latentUseLoopEffectsMix && effectsTrack < NUM_TRACKS) {
    latentDry = e->tracks[effectsTrack].dryGain;
    latentWet = e->tracks[effectsTrack].wetGain;
  }
  const double latentLeft = e->latentLeftGain * e->latentVolume;
  const double latentRight = e->latentRightGain * e->latentVolume;
  const bool runChain = !(running && (effectsSends == 0 || e->filterPreLoop));
  const bool filterOn = e->filterEnabled[0] != 0;
  const bool delayOn = e->delayEnabled != 0;
  const bool filterFirst = e->filterBeforeDelay != 0;
  if (latent || runChain) {
    for (unsigned long f = 0; f < frames; ++f) {
      float* bus = effectsBus + 2 * f;
      if (latent) {
        const double l = latentLeft * in[2 * f];
        const double r = latentRight * in[2 * f + 1];
        bus[0] += static_cast<float>(l * latentWet);
        bus[1] += static_cast<float>(r * latentWet);
        out[2 * f] += static_cast<float>(l * latentDry);
        out[2 * f + 1] += static_cast<float>(r * latentDry);
      }
      if (runChain) {
        if (filterFirst) {
          if (filterOn) EffectsChain_FilterFrame(e, bus);
          if (delayOn) EffectsChain_DelayFrame(e, bus);
        } else {
          if (delayOn) EffectsChain_DelayFrame(e, bus);
          if (filterOn) EffectsChain_FilterFrame(e, bus);
        }
      }
    }
  }
  RaisePeaks(in, frames, e->inputPeak);

  if (!(running && effectsSends == 0 && !latent)) {
    if (e->reverbEnabled) EffectsChain_Reverb(e, effectsBus, frames);
    for (unsigned long i = 0; i < 2 * frames; ++i) out[i] += effectsBus[i];
  }

  const double master = e->masterMute ? 0.0 : e->masterVolume * e->masterVolume;
  ApplyMaster(out, frames, master);
  RaisePeaks(out, frames, e->outputPeak);

  if (e->mixToTrack) MixIntoTrack(e, out, frames, state);

  if (running) {
    if (MidiClockCallbackFn clock = e->MidiClockCallback) {
      const uint64_t counter = e->clockCounter;
      const int32_t beats = e->metronomeBeats;
      const int32_t measureFrames = e->framesPerMeasure;
      // The ticks divide each measure of the click loop exactly, so they stay on its beats
      // however many frames a beat holds, and never drift from the loops.
      if (beats >= 1 && measureFrames > 0 && e->framesPerBeat > 0) {
        const uint64_t measure = static_cast<uint64_t>(measureFrames);
        const uint64_t ticks = static_cast<uint64_t>(beats) * kClocksPerBeat;
        uint64_t start = counter - counter % measure;
        uint64_t j = ((counter - start) * ticks + measure - 1) / measure;  // first tick at or after counter
        for (;;) {
          if (j == ticks) start += measure, j = 0;
          const uint64_t at = start + j * measure / ticks;
          if (at >= counter + frames) break;
          clock(static_cast<uint32_t>(offset + (at - counter)));
          ++j;
        }
      }
      e->clockCounter = counter + frames;
    }
  }

  if (MixOutputFn mix = e->mixOutput) mix(e->mixOutputUser, out, frames);
}

}  // namespace

void Audio_ProcessFrames(AudioEngine* engine, const float* input, float* output, unsigned long frames,
                         unsigned long offset) {
  while (frames > 0) {
    const unsigned long piece = std::min<unsigned long>(frames, MAX_FRAMES);
    ProcessPiece(engine, input, output, piece, offset);
    LatencyProbe_Process(&engine->latencyProbe, input, output, piece);
    input += 2 * piece;
    output += 2 * piece;
    frames -= piece;
    offset += piece;
  }
}

int Audio_ProcessStream(AudioEngine* engine, const float* input, float* output,
                        unsigned long frames) {
  if (!engine || !output) return 0;
  if (!input) {
    // No input this time: play silence rather than whatever the output buffer held.
    std::memset(output, 0, sizeof(float) * 2 * frames);
    return 0;
  }
  DenormalGuard denormals;  // decaying tails never multiply the callback's cost
  engine->callbacksStarted.fetch_add(1);
  if (engine->lead.attached.load(std::memory_order_acquire)) SyncLead_Publish(engine, frames);
  if (engine->sync.source.load(std::memory_order_acquire))
    SyncFollow_Process(engine, input, output, frames);
  else
    Audio_ProcessFrames(engine, input, output, frames, 0);
  engine->callbacksFinished.fetch_add(1, std::memory_order_release);
  return 0;
}
