#pragma once
// The tempo source the program follows, as the application keeps it: which one was
// chosen (Preferences or the command line), the source it owns (the MIDI clock follower,
// the JACK transport reader on the program's own JACK client, or a Link session), and what
// the panel shows of it (the followed tempo, smoothed for the Tempo field, and a status
// line).
// User-interface thread only; the engine reads the source itself on the audio thread.
#include <cstdint>
#include <memory>
#include <string>

struct AudioEngine;
class MidiClockIn;
class JackOwnClient;
class JackTransportSource;
class LinkSession;
class LinkSyncSource;
class JackTransportLeader;
class LinkLeader;

enum SyncSourceKind : int {
  SyncInternal = 0,
  SyncMidiClock = 1,
  SyncJackTransport = 2,
  SyncAbletonLink = 3,
};
inline constexpr int kSyncSourceCount = 4;
// As the Preferences dialog lists them, in the order of the sync_source values.
inline constexpr const char* kSyncSourceNames[kSyncSourceCount] = {"Internal", "MIDI Clock In", "JACK Transport",
                                                                   "Ableton Link"};
// sync_start_on: a waiting Record, Play or Set Loop takes the source's next bar or beat.
enum SyncStartOn : int { SyncStartOnBar = 0, SyncStartOnBeat = 1 };
inline constexpr const char* kSyncStartOnNames[2] = {"Next Bar", "Next Beat"};

// "internal", "midi", "jack", "link" (the command line's words); -1 for anything else.
int SyncSource_FromWord(const std::string& word);

struct SyncFollower {
  int running = SyncInternal;  // what is followed now
  std::unique_ptr<MidiClockIn> midiClock;
  JackOwnClient* jack = nullptr;  // acquired while JACK transport is followed
  std::unique_ptr<JackTransportSource> jackTransport;
  std::unique_ptr<LinkSession> ownLink;
  LinkSession* link = nullptr;  // the session followed: ownLink or the caller's
  std::unique_ptr<LinkSyncSource> linkSource;
  // Leading with Internal.
  std::unique_ptr<JackTransportLeader> jackLeader;
  std::unique_ptr<LinkLeader> linkLeader;
  bool leadWasRunning = false;  // Kestrine's transport ran at the last lead tick
  bool following = false;      // the engine follows the source at the last tick
  double smoothedTempo = 0.0;  // the followed tempo, smoothed for the panel
  double shownTempo = 0.0;     // the tempo last given to the Tempo field (0: none yet)
  uint64_t lastBlockFrame = 0; // the engine's stream frame at the last tick
  uint32_t outOfRangeSeen = 0;
  uint32_t lossesSeen = 0;
  std::string status;          // the panel's sync line; empty with Internal

  SyncFollower();
  ~SyncFollower();
};

// What to follow or lead with, as chosen.
struct SyncChoice {
  int kind = SyncInternal;  // the source followed
  int startOn = SyncStartOnBar;
  bool leadJack = false;    // Internal: Kestrine is the JACK transport's timebase master
  bool leadLink = false;    // Internal: Kestrine is a Link peer
  double tempo = 120.0;     // a Link session Kestrine starts begins at this tempo
  int beatsPerBar = 4;
  JackOwnClient* jack = nullptr;  // the program's own JACK client (shared with JACK MIDI)
  LinkSession* link = nullptr;    // a session of the caller's; null: the follower starts one
};

// Follows (or leads, with Internal) as `choice` says from now on, after the MIDI ports are
// open. A source that is not there (no JACK server, no timebase master, no Link peers) is
// told in the status line and Kestrine keeps its own tempo until it comes; leading where
// JACK has no server just does not happen.
void SyncFollower_Start(SyncFollower* f, AudioEngine* engine, const SyncChoice& choice);
// Back to Internal: the engine lets go of the source before it is destroyed.
void SyncFollower_Stop(SyncFollower* f, AudioEngine* engine);

// One timer tick. The smoothing runs on the stream's time (the frames the callback moved
// since the last tick), so a render or a test faster than real time settles the same way.
// `tempo` is set when the Tempo field should
// show a new followed tempo (rounded to 0.1 BPM, with a little hysteresis so that a
// clock's jitter does not flicker in the panel).
struct SyncTick {
  bool tempoChanged = false;
  double tempo = 0.0;
};
SyncTick SyncFollower_Tick(SyncFollower* f, const AudioEngine* engine, int beatsPerBar);

// One timer tick while leading (Internal): as timebase master, Kestrine's Play and Record
// roll the JACK transport and its Stop and Pause stop it. Only on Kestrine's own changes:
// a transport another client starts or stops meanwhile is left as it is.
void SyncFollower_LeadTick(SyncFollower* f, const AudioEngine* engine);

// The status line beside the Tempo field: the source's tempo beside the current loop's own
// (`loopTempo` <= 0: no recorded loop), or what went wrong.
std::string SyncFollower_Status(const SyncFollower& f, double loopTempo);
