// The stream callback written the plain way, one frame at a time with every decision
// taken per frame, as it stood before the callback was made fast: the baseline the
// callback benchmark and profile run beside the engine's own callback. Keep it simple
// rather than fast.
#include <algorithm>
#include <cstring>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define KESTRINE_HAVE_MXCSR 1
#endif

#include "engine/audio.h"
#include "engine/buffers.h"
#include "engine/effects_chain.h"
#include "engine/metronome_gate.h"
#include "engine/transport.h"
#include "reference/reference_callback.h"

namespace {

// The effects bus: outside the record, used by the callback only.
alignas(64) float effectsBus[MAX_FRAMES * 2];

// Flush-to-zero and denormals-are-zero for the duration of a callback, so decaying
// tails never multiply its cost.
class DenormalGuard {
 public:
  DenormalGuard() {
#ifdef KESTRINE_HAVE_MXCSR
    saved_ = _mm_getcsr();
    _mm_setcsr(saved_ | 0x8040);  // FTZ | DAZ
#endif
  }
  ~DenormalGuard() {
#ifdef KESTRINE_HAVE_MXCSR
    _mm_setcsr(saved_);
#endif
  }
  DenormalGuard(const DenormalGuard&) = delete;
  DenormalGuard& operator=(const DenormalGuard&) = delete;

 private:
  unsigned saved_ = 0;
};

inline bool IsRunning(int32_t state) { return state != Stopped && state != Paused; }
inline bool IsRecordingState(int32_t state) { return state == Recording || state == Inserting; }

// A consistent view of a slot's buffer for one callback piece.
struct SlotView {
  float* buffer;
  int32_t length;
  int32_t channels;
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

// Renders one track slot into the output and the effects bus; records into it.
void RenderTrack(AudioEngine* e, int index, const float* in, float* out, unsigned long frames,
                 int32_t& state, int& effectsSends) {
  LoopTrack& t = e->tracks[index];
  SlotView view;
  if (!ReadSlot(t, &view)) return;
  const bool isRecordTrack = t.record != 0;
  const bool mixToTrack = e->mixToTrack != 0;
  const bool isMetronome = index == e->metronomeTrack;
  if (isRecordTrack && mixToTrack && state != Playing) return;
  if (!isMetronome && Metronome_CountoffRunning(e, state)) return;

  if (isMetronome) Metronome_UpdateActive(e, &t, state);
  const bool sendsToEffects = t.effects != 0;
  if (sendsToEffects) ++effectsSends;
  if (t.resync) {
    Resync(e, index);
    t.resync = 0;
  }

  const int32_t length = view.length;
  const int32_t channels = view.channels;
  float* const buffer = view.buffer;
  const Motion motion = MotionOf(t, length);
  Head h = HeadOf(t, length, t.lastPosition);
  const double rate = motion.rate;
  const uint32_t submix = t.submix < 2 ? t.submix.load() : 0;
  const double g = e->submixMute[submix] ? 0.0 : e->submixVolume[submix].load();
  const double volume = t.volume;
  const double gain[2] = {g * t.leftGain * volume, g * t.rightGain * volume};
  const double wet = t.wetGain;
  const double dry = t.dryGain;
  const double feedback = t.feedback;
  double peak = t.peak;
  const bool canRecord = isRecordTrack && !mixToTrack;
  // The write point trails the head by the stream's latency, scaled by the rate so that
  // what the performer heard and what plays back line up (ahead of it in reverse).
  const auto latencyFrames =
      static_cast<int64_t>(static_cast<double>(e->latencyFrames.load()) * rate) % length;
  bool active = t.active != 0;

  for (unsigned long f = 0; f < frames; ++f) {
    if (!active) {
      Advance(h, motion);
      continue;
    }
    const bool isNew = h.position != h.lastPosition;
    if (canRecord && h.position == 0 && isNew) state = InsertHandOver(e, index, state, true);
    if (isNew) h.lastPosition = h.position;
    if (isMetronome && isNew && !Metronome_NewFrame(e, &t, h.position, state)) {
      // Silent from here on, but the click head keeps moving with the loops so that it
      // stays in step when the metronome sounds again.
      active = false;
      Advance(h, motion);
      continue;
    }

    float* head = buffer + static_cast<int64_t>(h.position) * channels;
    const double sample[2] = {head[0], channels == 2 ? head[1] : head[0]};
    double meter = 0.0;
    for (int c = 0; c < 2; ++c) {
      const double s = sample[c] * gain[c];
      if (sendsToEffects) {
        effectsBus[2 * f + c] += static_cast<float>(s * wet);
        out[2 * f + c] += static_cast<float>(s * dry);
      } else {
        out[2 * f + c] += static_cast<float>(s);
      }
      meter += s;
    }

    if (canRecord && isNew && IsRecordingState(state)) {
      int64_t writeFrame = h.position - latencyFrames;
      if (writeFrame < 0) writeFrame += length;
      if (writeFrame >= length) writeFrame -= length;
      float* target = buffer + writeFrame * channels;
      if (channels == 2) {
        head[0] = static_cast<float>(head[0] * feedback);
        target[0] = static_cast<float>(target[0] + static_cast<double>(in[2 * f]));
        head[1] = static_cast<float>(head[1] * feedback);
        target[1] = static_cast<float>(target[1] + static_cast<double>(in[2 * f + 1]));
      } else {
        head[0] = static_cast<float>(head[0] * feedback);
        target[0] = static_cast<float>(target[0] + static_cast<double>(in[2 * f]) + in[2 * f + 1]);
      }
    }

    if (meter * 0.5 > peak) peak = meter * 0.5;
    Advance(h, motion);
  }

  StoreHead(t, h);
  t.peak = peak;
  if (isMetronome && !active) t.active = 0;
  if (h.wrapped && isRecordTrack) t.recorded = 1;
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

void ProcessPiece(AudioEngine* e, const float* in, float* out, unsigned long frames) {
  if (e->rewindRequested.exchange(false)) Transport_RewindAll(e);
  ApplyPendingCut(e);
  SwapPendingBuffers(e);

  std::memset(effectsBus, 0, sizeof(float) * 2 * frames);
  std::memset(out, 0, sizeof(float) * 2 * frames);

  int32_t state = e->state.load();
  const bool running = IsRunning(state);
  int effectsSends = 0;
  if (running) {
    for (int i = 0; i < NUM_TRACKS; ++i) RenderTrack(e, i, in, out, frames, state, effectsSends);
  }

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
  double inPeak[2] = {e->inputPeak[0], e->inputPeak[1]};
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
    for (int c = 0; c < 2; ++c) {
      const double level = in[2 * f + c] < 0 ? -static_cast<double>(in[2 * f + c]) : in[2 * f + c];
      if (level > inPeak[c]) inPeak[c] = level;
    }
  }
  e->inputPeak[0] = inPeak[0];
  e->inputPeak[1] = inPeak[1];

  if (!(running && effectsSends == 0 && !latent)) {
    if (e->reverbEnabled) EffectsChain_Reverb(e, effectsBus, frames);
    for (unsigned long i = 0; i < 2 * frames; ++i) out[i] += effectsBus[i];
  }

  const double master = e->masterMute ? 0.0 : e->masterVolume * e->masterVolume;
  double outPeak[2] = {e->outputPeak[0], e->outputPeak[1]};
  for (unsigned long f = 0; f < frames; ++f) {
    for (int c = 0; c < 2; ++c) {
      float& sample = out[2 * f + c];
      sample = static_cast<float>(sample * master);
      const double level = sample < 0 ? -static_cast<double>(sample) : sample;
      if (level > outPeak[c]) outPeak[c] = level;
    }
  }
  e->outputPeak[0] = outPeak[0];
  e->outputPeak[1] = outPeak[1];

  if (e->mixToTrack) MixIntoTrack(e, out, frames, state);

  if (running) {
    if (MidiClockCallbackFn clock = e->MidiClockCallback) {
      const int32_t perClock = e->framesPerClock;
      const uint32_t counter = static_cast<uint32_t>(e->clockCounter);
      if (perClock > 0) {
        const uint32_t period = static_cast<uint32_t>(perClock);
        for (uint64_t k = (period - counter % period) % period; k < frames; k += period) clock(static_cast<uint32_t>(k));
      }
      e->clockCounter = counter + static_cast<uint32_t>(frames);
    }
  }

  if (MixOutputFn mix = e->mixOutput) mix(e->mixOutputUser, out, frames);
}

}  // namespace

int Reference_ProcessStream(AudioEngine* engine, const float* input, float* output,
                            unsigned long frames) {
  if (!engine || !output) return 0;
  if (!input) {
    // No input this time: play silence rather than whatever the output buffer held.
    std::memset(output, 0, sizeof(float) * 2 * frames);
    return 0;
  }
  DenormalGuard denormals;
  engine->callbacksStarted.fetch_add(1);
  while (frames > 0) {
    const unsigned long piece = std::min<unsigned long>(frames, MAX_FRAMES);
    ProcessPiece(engine, input, output, piece);
    input += 2 * piece;
    output += 2 * piece;
    frames -= piece;
  }
  engine->callbacksFinished.fetch_add(1, std::memory_order_release);
  return 0;
}
