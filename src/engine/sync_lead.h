#pragma once
// Leading the rest of the rig with Kestrine's own tempo (Internal): once per callback, before
// it renders, the engine tells each attached leader (the JACK timebase master, a Link peer)
// its tempo, bar and beat at the block's first frame and when that frame is heard. MIDI
// clock out needs none of this: it is sent from the callback's own hook.
//
// Thread contract: leaders are attached and detached on the user-interface thread; Publish
// runs on the audio thread only and must be wait-free (no lock, allocation or system call).
// With no leader attached the callback takes none of this path.
#include <atomic>
#include <cstdint>

#include "engine/sync_source.h"

struct AudioEngine;

// Kestrine's own position at a block's first frame.
struct SyncLeadReading {
  double bpm = 120.0;
  int32_t beatsPerBar = 4;
  double beat = 0.0;     // beats since the transport started (0 while stopped)
  bool rolling = false;  // Kestrine's transport runs (Playing, Recording, ...)
  bool started = false;  // it began to run in this block: bar 1 is here
};

class SyncLeader {
 public:
  virtual ~SyncLeader() = default;
  // Audio thread only.
  virtual void Publish(const SyncBlock& block, const SyncLeadReading& lead) noexcept = 0;
};

inline constexpr int kSyncLeaders = 2;  // JACK transport and Link may lead together

struct SyncLead {
  std::atomic<SyncLeader*> leaders[kSyncLeaders] = {};  // set on the UI thread
  std::atomic<int> attached{0};                          // leaders attached (a quick test)
  // ---- Audio thread only ----
  uint64_t frame = 0;      // stream frames since the first leader came
  uint64_t counter = 0;    // frames since Kestrine's transport started
  bool wasRolling = false;
  int64_t lastTimeNs = 0;
  uint32_t lastFrames = 0;
};

// UI thread. Puts `leader` in slot `slot` (0..kSyncLeaders-1); null takes it out. Taking a
// leader out waits out a callback that may still be publishing to it.
void SyncLead_Set(AudioEngine* engine, int slot, SyncLeader* leader);

// Audio thread: publishes to the attached leaders the position at the block's first frame.
void SyncLead_Publish(AudioEngine* engine, unsigned long frames);
