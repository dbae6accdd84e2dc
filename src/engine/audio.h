#pragma once
// The loop engine: one AudioEngine record for the life of the process, its nine track
// slots (slot 0 the metronome click track, slots 1..8 the loops of Track 1..8), the
// transport, and the Audio_... operations the user-interface thread calls. The stream
// callback (Audio_ProcessStream) renders it on the audio thread.
//
// Threads: every Audio_ operation runs on the user-interface thread. Fields the
// callback reads are Relaxed<> single values; buffers change hands only through
// pNewBuffer under the engine lock, and no buffer the callback may still be reading is
// freed before the callback has finished a buffer that began after its retirement.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "effects/delay_line.h"
#include "effects/filter_lfo.h"
#include "effects/reverb_model.h"
#include "effects/state_variable_filter.h"
#include "engine/latency_probe.h"
#include "engine/relaxed.h"
#include "engine/seams.h"
#include "engine/spsc_queue.h"
#include "engine/sync_follow.h"
#include "engine/sync_lead.h"

inline constexpr int MAX_FRAMES = 512;  // the most frames one callback piece carries
inline constexpr int NUM_TRACKS = 9;    // slot 0 metronome, 1..8 the strips' loops
inline constexpr double MAX_LOOP_SECONDS = 240.0;
inline constexpr double MIN_LOOP_SECONDS = 0.1;

enum TransportState : int32_t {
  Stopped = 0,
  Playing = 1,
  Recording = 2,
  Paused = 3,
  InsertWaiting = 4,
  Inserting = 5,
};

struct LoopTrack {
  Relaxed<uint32_t> inUse{0};
  Relaxed<uint32_t> active{0};
  Relaxed<uint32_t> record{0};
  Relaxed<double> volume{1.0};
  Relaxed<uint32_t> numChannels{2};
  Relaxed<int32_t> position{0};
  Relaxed<int32_t> lastPosition{1};
  Relaxed<int32_t> length{240000};
  Relaxed<double> exactPosition{0.0};
  Relaxed<float*> pBuffer{nullptr};
  Relaxed<uint32_t> bufferSize{0};
  std::atomic<float*> pNewBuffer{nullptr};  // published last, read first
  Relaxed<uint32_t> newBufferSize{0};
  Relaxed<uint32_t> newLength{0};
  Relaxed<uint32_t> newNumChannels{0};
  Relaxed<uint8_t> newResync{0};  // becomes `resync` at the swap
  Relaxed<uint8_t> keepEditRange{0};
  Relaxed<double> feedback{0.904};
  Relaxed<uint32_t> recorded{0};
  Relaxed<uint32_t> effects{0};
  Relaxed<double> effectsMix{0.0};
  Relaxed<double> dryGain{1.0};
  Relaxed<double> wetGain{0.0};
  Relaxed<double> peak{0.0};
  Relaxed<double> rate{1.0};
  Relaxed<double> leftGain{1.0};
  Relaxed<double> rightGain{1.0};
  Relaxed<double> pan{0.5};
  Relaxed<uint8_t> resync{0};
  Relaxed<uint8_t> loopSelection{0};
  Relaxed<int32_t> editBegin{0};
  Relaxed<int32_t> editEnd{240000};
  Relaxed<uint32_t> changed{0};
  Relaxed<uint32_t> submix{0};

  // Guards the buffer fields (pBuffer, bufferSize, length, numChannels) when the user-
  // interface thread rewrites them outside a swap (creating or deleting the slot): odd
  // while a rewrite is under way. The callback skips the slot for a buffer in which it
  // sees the generation odd or changing.
  std::atomic<uint32_t> generation{0};
};

// Resets a slot (or a click-sample holder) to the reset values of the table.
void LoopTrack_Reset(LoopTrack* track);

using BeatCallbackFn = void (*)(int accent);
// The MIDI clock hook gets the frame of the callback's buffer on which the tick falls.
using MidiClockCallbackFn = void (*)(uint32_t frame);
using InsertPassCallbackFn = void (*)(int starting);
using UndoChangedCallbackFn = void (*)(int track, int operation, const char* name, int redo);
using TrackChangedCallbackFn = void (*)(int track);
// User-interface thread, from the transport operations, just before stopped or paused
// tracks start moving: fromStart is true when they start from where a stop rewound them,
// false when they resume from a pause point.
using TransportStartCallbackFn = void (*)(int fromStart);
// Receives the final output of every callback piece (the mix-to-disk writer stages it).
using MixOutputFn = void (*)(void* user, const float* output, unsigned long frames);
// Called after Audio_Assert has shown its message: the application ends itself.
using FatalErrorFn = void (*)();

struct AudioEngine {
  // 1. Stream
  int32_t inputDevice = -1;
  int32_t outputDevice = -1;
  uint32_t numChannels = 2;
  Relaxed<double> sampleRate{48000.0};
  double latency = 0.08;
  Relaxed<int32_t> latencyFrames{0};
  void* stream = nullptr;

  // 2. Track slots
  LoopTrack tracks[NUM_TRACKS];

  // 3. Undo history (its levels live in undo.cpp, on the user-interface side)
  Relaxed<uint32_t> undoEnabled{1};
  uint64_t undoMemoryBytes = uint64_t{1024} << 20;  // user-interface thread only

  // 4. Transport
  std::atomic<int32_t> state{Stopped};
  Relaxed<int32_t> pendingCutTrack{-1};
  // The tracks stand where the last stop rewound them: nothing has moved since (a pause
  // keeps it). User-interface thread only.
  bool rewound = true;

  // 5. Live input monitoring
  Relaxed<uint8_t> latentInput{0};
  Relaxed<double> latentLeftGain{1.0};
  Relaxed<double> latentRightGain{1.0};
  Relaxed<double> latentPan{0.5};
  Relaxed<double> latentVolume{1.0};
  Relaxed<double> latentEffectsMix{0.0};
  Relaxed<double> latentDryGain{1.0};
  Relaxed<double> latentWetGain{0.0};

  // 6. Meters (read-and-cleared by the user interface)
  Relaxed<double> inputPeak[2]{};
  Relaxed<double> outputPeak[2]{};

  // 7. Owner of the engine's message boxes (the main window)
  void* messageOwner = nullptr;

  // 8. Effects state
  DelayLine delay[2];
  Relaxed<uint32_t> delayEnabled{1};
  StateVariableFilter filter[2];
  FilterLfo filterLfo[2];
  Relaxed<uint32_t> filterEnabled[2]{0, 0};
  Relaxed<double> filterFrequency[2]{19000.0, 19000.0};
  Relaxed<double> filterResonance[2]{0.0, 0.0};
  Relaxed<uint32_t> reverbEnabled{0};
  Relaxed<uint8_t> filterBeforeDelay{0};
  Relaxed<uint8_t> filterPreLoop{0};
  ReverbModel reverb;

  // 9. Metronome
  int32_t metronomeTrack = -1;
  Relaxed<double> metronomeVolume{0.5};
  Relaxed<uint32_t> metronomeRecord{0};
  Relaxed<uint32_t> metronomePlayback{0};
  Relaxed<int32_t> metronomePasses{0};
  Relaxed<int32_t> metronomeMax{0};
  Relaxed<int32_t> metronomeCountoff{0};
  Relaxed<int32_t> countoffPasses{0};
  Relaxed<int32_t> metronomeBeats{0};
  LoopTrack beatSample;
  LoopTrack accentSample;
  Relaxed<int32_t> framesPerBeat{24000};
  Relaxed<uint8_t> continuousMetronome{1};
  Relaxed<int32_t> framesPerClock{1000};  // nominal: framesPerBeat / 24, rounded down
  // The click loop's length: 24 clock ticks a beat divide it exactly, tick j of a measure
  // of T ticks falling on frame floor(j x framesPerMeasure / T) of the measure.
  Relaxed<int32_t> framesPerMeasure{96000};
  Relaxed<uint64_t> clockCounter{0};  // frames played since the transport started

  // 10. Hooks installed by the application
  Relaxed<BeatCallbackFn> BeatCallback{nullptr};
  Relaxed<MidiClockCallbackFn> MidiClockCallback{nullptr};
  Relaxed<InsertPassCallbackFn> InsertPassCallback{nullptr};
  UndoChangedCallbackFn UndoChangedCallback = nullptr;
  TrackChangedCallbackFn TrackChangedCallback = nullptr;
  TransportStartCallbackFn TransportStartCallback = nullptr;

  // 11. Mix
  Relaxed<uint8_t> mixToTrack{0};
  Relaxed<double> masterVolume{1.0};
  Relaxed<uint8_t> masterMute{0};
  Relaxed<double> submixVolume[2]{1.0, 1.0};
  Relaxed<uint8_t> submixMute[2]{0, 0};

  // 12. Mix-to-disk writer: the audio layer installs where the output goes.
  Relaxed<MixOutputFn> mixOutput{nullptr};
  Relaxed<void*> mixOutputUser{nullptr};

  // 13. Live input effects
  Relaxed<uint32_t> latentEffectsTrack{0};
  Relaxed<uint8_t> latentUseLoopEffectsMix{1};

  // 14. ASIO channel selectors (stored and written back; no ASIO here)
  int32_t asioInputChannels[2] = {0, 1};
  int32_t asioOutputChannels[2] = {0, 1};

  // 15. Round-trip latency measurement (armed from the user-interface thread)
  LatencyProbe latencyProbe;
  // 16. Following an external tempo source (nothing attached: Internal)
  SyncFollow sync;
  SyncLead lead;  // Internal: the leaders Kestrine's own tempo is published to

  // ---- Hand-over machinery between the two threads ----

  // The critical section guarding buffer hand-over. The callback only try_locks it.
  std::mutex lock;

  // True while an audio stream drives Audio_ProcessStream. When false, nothing waits for
  // the callback: published buffers are swapped in on the user-interface side at once.
  std::atomic<bool> callbackRunning{false};

  // Counts of callbacks begun and finished, for deferred frees.
  std::atomic<uint64_t> callbacksStarted{0};
  std::atomic<uint64_t> callbacksFinished{0};

  // Buffers the callback replaced at a swap, handed back for the user-interface thread
  // to free.
  SpscQueue<float*, 64> replacedBuffers;

  // Buffers retired on the user-interface side while a callback may still read them.
  struct RetiredBuffer {
    float* buffer;
    uint64_t freeAfter;  // free once callbacksFinished reaches this
  };
  std::vector<RetiredBuffer> retiredBuffers;

  // The end-of-insert undo snapshot falls due on the audio thread; the user-interface
  // side takes it before anything else touches the history (-1: none due).
  std::atomic<int32_t> insertSnapshotTrack{-1};

  // Set by a stop: the callback repeats the rewind at its next buffer, so that a
  // callback in progress during the stop cannot leave the tracks where it had them.
  std::atomic<bool> rewindRequested{false};

  FatalErrorFn FatalError = nullptr;

  // 17. Seam crossfades (seams.h): the length asked for, and each track's fades (audio
  // thread only). seamRecording is set by the callback while any fade still writes
  // input into a loop, so that a snapshot of the take can wait for its last frames.
  Relaxed<int32_t> seamMilliseconds{0};
  TrackSeam seams[NUM_TRACKS];
  std::atomic<bool> seamRecording{false};
};

// ---- Life cycle ----
AudioEngine* Audio_GetEngine();
bool Audio_Init();
void Audio_Shutdown();

// Assertion reporting: shows "%s\n File: %s\nLine: %d" with caption "Assert Failed" and
// calls the application's fatal-error hook. Returns 1; the caller goes on.
int Audio_Assert(const char* text, const char* file, int line);

// ---- Track lifetime ----
int Audio_CreateLoop(double time, double feedback, int channels, uint8_t resync);
int Audio_DeleteLoop(int track);

// ---- Per-track settings (invalid slot: 0 and no change) ----
int Audio_SetTrackVolume(int track, double v);
int Audio_SetTrackFeedback(int track, double v);
int Audio_SetTrackPan(int track, double p);
int Audio_SetTrackEffectsMix(int track, double m);
int Audio_SetTrackEffects(int track, int on);
int Audio_SetTrackRate(int track, double r);
int Audio_SetTrackSubmix(int track, int s);
int Audio_SetLoopSelection(int track, int on);
int Audio_SetEditBegin(int track, double seconds);
int Audio_SetEditEnd(int track, double seconds);
int Audio_SetEditRange(int track, int32_t begin, int32_t end);
int Audio_RequestResync(int track);

double Audio_GetTrackVolume(int track);
double Audio_GetTrackFeedback(int track);
double Audio_GetTrackPan(int track);
double Audio_GetTrackEffectsMix(int track);
int Audio_GetTrackEffects(int track);
double Audio_GetTrackRate(int track);
int Audio_GetTrackSubmix(int track);
int Audio_GetLoopSelection(int track);
int Audio_GetTrackChannels(int track);
int32_t Audio_GetLoopLength(int track);
int32_t Audio_GetLoopPosition(int track);
int Audio_GetLoopRecorded(int track);
int32_t Audio_GetEditBegin(int track);
int32_t Audio_GetEditEnd(int track);
double Audio_GetEditBeginSeconds(int track);
double Audio_GetEditEndSeconds(int track);
double Audio_GetLoopSeconds(int track);
double Audio_GetPlayProgress(int track);
double Audio_GetTrackPeak(int track);
double Audio_GetInputPeak(int ch);
double Audio_GetOutputPeak(int ch);
int Audio_IsTrackInUse(int track);

// ---- Engine-wide settings ----
void Audio_SetMasterVolume(double v);
void Audio_SetMasterMute(int on);
int Audio_SetSubmixVolume(int i, double v);
int Audio_SetSubmixMute(int i, int on);
void Audio_SetLatentInput(int on);
void Audio_SetLatentInputVolume(double v);
void Audio_SetLatentInputPan(double p);
void Audio_SetLatentInputEffectsMix(double m);
int Audio_SetLatentInputTrack(int track);
void Audio_SetLatentInputUseLoopEffectsMix(int on);
void Audio_SetMixToTrack(int on);
void Audio_SetFilterBeforeDelay(int on);
void Audio_SetFilterPreLoop(int on);
double Audio_GetMasterVolume();
int Audio_GetMixToTrack();

void Audio_SetBeatCallback(BeatCallbackFn fn);
void Audio_SetMidiClockCallback(MidiClockCallbackFn fn);
void Audio_SetInsertPassCallback(InsertPassCallbackFn fn);
void Audio_SetUndoChangedCallback(UndoChangedCallbackFn fn);
void Audio_SetTrackChangedCallback(TrackChangedCallbackFn fn);
void Audio_SetTransportStartCallback(TransportStartCallbackFn fn);

// Periodic user-interface service: takes a due end-of-insert snapshot, frees buffers
// the callback handed back, reports changed slots, services the mix-to-disk writer.
void Audio_PollChanges();
// Installs the mix-to-disk service run at the end of Audio_PollChanges.
using MixDiskServiceFn = void (*)();
void Audio_SetMixDiskService(MixDiskServiceFn fn);

// ---- Transport ----
bool Audio_RecordLooping(int track);
bool Audio_InsertLooping(int track);
void Audio_PlayLooping();
void Audio_StopLooping();
void Audio_PauseLooping();
bool Audio_SetLoopAtPosition(int track, bool force);
TransportState Audio_GetTransportState();
bool Audio_IsRecording();

// ---- The stream callback body ----
int Audio_ProcessStream(AudioEngine* engine, const float* input, float* output,
                        unsigned long frames);

// ---- Buffer hand-over (user-interface side) ----

// Publishes a prepared buffer for `track`: companion fields (its resync request among
// them, so that a callback clearing the old buffer's request cannot drop it) first, then,
// under the lock, pNewBuffer. Without a running callback it is swapped in at once.
void Audio_PublishBuffer(int track, float* buffer, uint32_t bytes, uint32_t frames,
                         uint32_t channels, bool keepEditRange, uint8_t resync);
// Waits until `track` has no buffer waiting (only while a callback runs; otherwise the
// waiting buffer is swapped in here). Returns false if it is still waiting after a
// generous timeout (a stalled stream), so the caller can fail cleanly.
bool Audio_WaitForSwap(int track);
// Waits until a callback in progress (one that may have read settings from before the
// caller's last change) has finished. Returns at once when no callback runs; false only
// after a generous timeout (a stalled stream).
bool Audio_WaitForCallbackCycle();
// Frees a buffer the callback may still be reading, as soon as it no longer can.
void Audio_RetireBuffer(float* buffer);
// Frees replaced and retired buffers that are safe to free now.
void Audio_CollectGarbage();
// Tells the engine whether a stream is driving the callback (the audio layer, or a test).
void Audio_SetCallbackRunning(bool running);
