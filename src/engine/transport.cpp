// The transport state machine's engine operations.
#include "engine/transport.h"


#include "engine/audio.h"
#include "engine/audio_layer.h"
#include "engine/buffers.h"
#include "engine/sync_follow.h"
#include "engine/undo.h"

namespace {
inline bool ValidSlot(int track) { return track >= 0 && track < NUM_TRACKS; }

bool IsRecordingState(int32_t state) { return state == Recording || state == Inserting; }

// Called before a transport operation stores its moving state: stopped or paused tracks
// are about to start, so the start hook hears it before any clock of the callback does.
void TracksStartMoving(AudioEngine* e) {
  const int32_t state = e->state.load();
  if (state != Stopped && state != Paused) return;
  if (TransportStartCallbackFn hook = e->TransportStartCallback) hook(e->rewound ? 1 : 0);
  e->rewound = false;
}

bool Playable(const AudioEngine* e, int track) {
  return ValidSlot(track) && e->tracks[track].inUse && e->tracks[track].active;
}

// A cut asked for just before a stop or play must be in place before the take is
// stored, or the history would keep the uncut length. Without a running callback the
// user-interface side applies it itself.
void SettlePendingCut(AudioEngine* e) {
  Audio_PollUntil(
      [e] {
        if (e->pendingCutTrack == -1) return true;
        if (e->callbackRunning.load()) return false;
        std::lock_guard<std::mutex> guard(e->lock);
        Transport_ApplyPendingCut(e);
        return true;
      },
      std::chrono::seconds(1));
}

// The end-of-recording snapshot of the record track. The state has already left
// recording; a callback that began before that may still be writing its last frames.
void StoreRecordedTake(AudioEngine* e) {
  Audio_WaitForCallbackCycle();
  // A punch-out crossfade goes on writing the input for a moment after the state left
  // recording: the take is whole once it has.
  Audio_WaitForSeamRecording();
  SettlePendingCut(e);
  const int track = Transport_RecordTrack(e);
  if (track >= 0) Undo_After(track);
}
}  // namespace

int Transport_RecordTrack(const AudioEngine* e) {
  for (int i = 0; i < NUM_TRACKS; ++i)
    if (e->tracks[i].inUse && e->tracks[i].record) return i;
  return -1;
}

void Transport_RewindAll(AudioEngine* e) {
  const int32_t cut = e->pendingCutTrack;
  for (int i = 0; i < NUM_TRACKS; ++i) {
    if (i == cut) continue;
    LoopTrack& t = e->tracks[i];
    if (t.loopSelection) {
      const int32_t begin = t.editBegin;
      t.position = begin;
      t.exactPosition = begin;
      t.lastPosition = begin + 1;
    } else {
      t.position = 0;
      t.exactPosition = 0.0;
      t.lastPosition = 1;
    }
  }
  e->metronomePasses = 0;
  e->countoffPasses = 0;
  e->clockCounter = 0;
}

void Transport_ApplyPendingCut(AudioEngine* e) {
  const int32_t cut = e->pendingCutTrack;
  if (cut == -1) return;
  e->pendingCutTrack = -1;
  if (!ValidSlot(cut)) return;
  LoopTrack& t = e->tracks[cut];
  const int32_t position = t.position;
  // A cut at frame 0 would leave a loop of no length that could never play or record
  // again; it keeps its length instead.
  if (position > 0 && position <= t.length) {
    t.length = position;
    t.editEnd = position;
  }
  t.position = 0;
  t.exactPosition = 0.0;
  t.lastPosition = 1;
  t.recorded = 1;
  t.changed = 1;
}

bool Audio_RecordLooping(int track) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !Playable(e, track)) return false;
  Undo_TakeDueSnapshot();
  const int previous = Audio_SelectRecordTrack(track);
  const bool trackChanged = previous != track;
  if (!AudioLayer_EnsureStreamActive("Audio_RecordLooping()")) return false;
  if (e->state.load() != Recording || trackChanged) Undo_Flip();
  TracksStartMoving(e);
  // Following a source, the take begins on its next bar.
  if (e->state.load() != Recording && SyncFollow_DeferState(e, Recording)) return true;
  e->state.store(Recording);
  return true;
}

bool Audio_InsertLooping(int track) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !Playable(e, track)) return false;
  const int32_t state = e->state.load();
  if (state == InsertWaiting || state == Inserting) return true;
  Undo_TakeDueSnapshot();
  const int previous = Audio_SelectRecordTrack(track);
  const bool trackChanged = previous != track;
  if (!AudioLayer_EnsureStreamActive("Audio_RecordLooping()")) return false;
  if (state != Recording || trackChanged) Undo_Flip();
  TracksStartMoving(e);
  e->state.store(InsertWaiting);
  return true;
}

void Audio_PlayLooping() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  if (!AudioLayer_EnsureStreamActive("Audio_PlayLooping()")) return;
  TracksStartMoving(e);
  // Following a source, standing tracks start on its next bar (a take ends at once: its
  // length is already whole bars or is cut there by Set Loop).
  const int32_t current = e->state.load();
  if ((current == Stopped || current == Paused) && SyncFollow_DeferState(e, Playing)) return;
  // Settle the state first so the callback records nothing more into the take.
  const int32_t previous = e->state.exchange(Playing);
  if (IsRecordingState(previous)) StoreRecordedTake(e);
  e->state.store(Playing);
}

void Audio_StopLooping() {
  AudioEngine* e = Audio_GetEngine();
  if (!e) return;
  SyncFollow_Cancel(e);
  const int32_t previous = e->state.exchange(Stopped);
  Transport_RewindAll(e);
  e->rewindRequested.store(true);
  e->rewound = true;
  if (IsRecordingState(previous)) StoreRecordedTake(e);
  e->state.store(Stopped);
}

void Audio_PauseLooping() {
  if (AudioEngine* e = Audio_GetEngine()) {
    SyncFollow_Cancel(e);
    e->state.store(Paused);
  }
}

bool Audio_SetLoopAtPosition(int track, bool force) {
  AudioEngine* e = Audio_GetEngine();
  if (!e || !ValidSlot(track)) return false;
  const int32_t state = e->state.load();
  if (state == Stopped || state == InsertWaiting || state == Inserting) force = false;
  const bool metronomeAudible = (IsRecordingState(state) && e->metronomeRecord) ||
                                (state == Playing && e->metronomePlayback);
  if (metronomeAudible && e->metronomeCountoff >= 1 && e->countoffPasses <= e->metronomeCountoff)
    return false;
  // Following a source, the loop ends on its next bar: a first take is whole bars.
  if (force) {
    if (!SyncFollow_DeferCut(e, track)) e->pendingCutTrack = track;
    return true;
  }
  if (state == Recording && !e->tracks[track].recorded) {
    if (!SyncFollow_DeferCut(e, track)) e->pendingCutTrack = track;
    return true;
  }
  return false;
}

TransportState Audio_GetTransportState() {
  AudioEngine* e = Audio_GetEngine();
  return e ? static_cast<TransportState>(e->state.load()) : Stopped;
}

bool Audio_IsRecording() { return Audio_GetTransportState() == Recording; }
