#pragma once
// Kestrine as a peer of an Ableton Link session: tempo, beat phase and start/stop
// shared with other programs on the network. Link's own headers stay inside
// link_session.cpp.
//
// Link runs threads of its own for discovery and measurement. A session starts
// disabled (no network traffic) and never fails to start: on a machine without a
// network it simply finds no peers and keeps its own tempo.
//
// Times are Link's host clock in microseconds (the raw monotonic clock on Linux);
// MicrosAtSteadyNs converts from the steady clock the engine and MIDI use.
#include <cstdint>
#include <memory>
#include <string>

struct LinkReading {
  double bpm = 0;        // the session's tempo
  double beat = 0;       // beat at the host time (its magnitude is this peer's own; its
                         // phase against the quantum is the session's)
  double phase = 0;      // beat phase in [0, quantum): 0 is the session's bar line
  bool playing = false;  // the session's start/stop state (with start/stop sync)
  double startBeat = 0;  // while playing: the beat (as `beat` counts) the session started on
  int peers = 0;         // other peers in the session
};

class LinkSession {
 public:
  // UI thread. `bpm` is the tempo this peer brings to a session it starts.
  explicit LinkSession(double bpm = 120.0);
  ~LinkSession();
  LinkSession(const LinkSession&) = delete;
  LinkSession& operator=(const LinkSession&) = delete;

  // Link could not be set up at all (its text in Error()); every call is then harmless
  // and readings say 120 BPM, no peers.
  bool Usable() const;
  const std::string& Error() const;

  // UI thread (not real-time safe).
  void Enable(bool on);
  bool Enabled() const;
  void EnableStartStopSync(bool on);
  // Proposes a tempo to the session, now (tempos outside 20..999 are clamped by Link).
  void SetTempo(double bpm);
  double Tempo() const;
  // Starts or stops the session's transport (shared only with start/stop sync).
  void SetPlaying(bool playing);

  // Any thread, wait-free: the number of other peers, as Link last reported it.
  int Peers() const;
  // Any thread, wait-free (two clock reads): Link's clock now, and the Link time of a
  // steady-clock instant.
  int64_t NowMicros() const;
  int64_t MicrosAtSteadyNs(int64_t steadyNs) const;

  // ---- Audio thread only (one thread), real-time safe ----
  // The session at `hostMicros` with `quantum` beats per bar, from Link's real-time
  // capture of the session state.
  LinkReading Read(int64_t hostMicros, double quantum) const;
  // Kestrine leading: proposes `bpm` from `hostMicros` on (nothing sent when unchanged).
  void CommitTempoFromAudio(double bpm, int64_t hostMicros);
  // Kestrine starting: asks that `beat` fall on `hostMicros` (alone in the session the
  // beat grid moves there; with peers, the next time with that phase is taken).
  void RequestBeatFromAudio(double beat, int64_t hostMicros, double quantum);
  // Kestrine starting, resuming or stopping its transport: the session's start/stop state
  // follows from `hostMicros` (peers with start/stop sync start and stop with it); a start
  // `atBar1` also asks for bar 1 there, as RequestBeatFromAudio(0, ...) does.
  void SetPlayingFromAudio(bool playing, bool atBar1, int64_t hostMicros, double quantum);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string error_;  // UI thread
};
