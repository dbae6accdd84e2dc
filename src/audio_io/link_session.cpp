#include "audio_io/link_session.h"

#include <ableton/Link.hpp>

#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>

namespace {
using std::chrono::microseconds;

int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

struct LinkSession::Impl {
  explicit Impl(double bpm) : link(bpm) {}
  ableton::Link link;
  // Link's peer count, as its own thread reports it, for readers that must not wait.
  std::atomic<int> peers{0};
};

LinkSession::LinkSession(double bpm) {
  try {
    impl_ = std::make_unique<Impl>(bpm > 0 ? bpm : 120.0);
    Impl* impl = impl_.get();
    impl->link.setNumPeersCallback([impl](std::size_t n) { impl->peers.store(static_cast<int>(n)); });
  } catch (const std::exception& e) {
    impl_.reset();
    error_ = e.what();
  }
}

LinkSession::~LinkSession() {
  if (impl_) impl_->link.enable(false);
}

bool LinkSession::Usable() const { return impl_ != nullptr; }
const std::string& LinkSession::Error() const { return error_; }

void LinkSession::Enable(bool on) {
  if (!impl_) return;
  try {
    impl_->link.enable(on);
  } catch (const std::exception& e) {
    error_ = e.what();
  }
  if (!on) impl_->peers.store(0);
}

bool LinkSession::Enabled() const { return impl_ && impl_->link.isEnabled(); }

void LinkSession::EnableStartStopSync(bool on) {
  if (impl_) impl_->link.enableStartStopSync(on);
}

void LinkSession::SetTempo(double bpm) {
  if (!impl_ || !(bpm > 0)) return;
  auto state = impl_->link.captureAppSessionState();
  state.setTempo(bpm, impl_->link.clock().micros());
  impl_->link.commitAppSessionState(state);
}

double LinkSession::Tempo() const { return impl_ ? impl_->link.captureAppSessionState().tempo() : 120.0; }

void LinkSession::SetPlaying(bool playing) {
  if (!impl_) return;
  auto state = impl_->link.captureAppSessionState();
  state.setIsPlaying(playing, impl_->link.clock().micros());
  impl_->link.commitAppSessionState(state);
}

int LinkSession::Peers() const { return impl_ ? impl_->peers.load(std::memory_order_relaxed) : 0; }

int64_t LinkSession::NowMicros() const {
  return impl_ ? impl_->link.clock().micros().count() : SteadyNs() / 1000;
}

int64_t LinkSession::MicrosAtSteadyNs(int64_t steadyNs) const {
  // Both clocks read back to back; the instant is carried over by its distance from now.
  const int64_t link = NowMicros();
  const int64_t steady = SteadyNs();
  return link + (steadyNs - steady) / 1000;
}

LinkReading LinkSession::Read(int64_t hostMicros, double quantum) const {
  LinkReading r;
  if (!impl_) {
    r.bpm = 120.0;
    return r;
  }
  const double q = quantum > 0 ? quantum : 4.0;
  const auto state = impl_->link.captureAudioSessionState();
  const microseconds at(hostMicros);
  r.bpm = state.tempo();
  r.beat = state.beatAtTime(at, q);
  r.phase = state.phaseAtTime(at, q);
  r.playing = state.isPlaying();
  if (r.playing) r.startBeat = state.beatAtTime(state.timeForIsPlaying(), q);
  r.peers = impl_->peers.load(std::memory_order_relaxed);
  return r;
}

void LinkSession::CommitTempoFromAudio(double bpm, int64_t hostMicros) {
  if (!impl_ || !(bpm > 0)) return;
  auto state = impl_->link.captureAudioSessionState();
  if (std::fabs(state.tempo() - bpm) < 1e-9) return;
  state.setTempo(bpm, microseconds(hostMicros));
  impl_->link.commitAudioSessionState(state);
}

void LinkSession::SetPlayingFromAudio(bool playing, bool atBar1, int64_t hostMicros, double quantum) {
  if (!impl_) return;
  auto state = impl_->link.captureAudioSessionState();
  if (playing && atBar1)
    state.setIsPlayingAndRequestBeatAtTime(true, microseconds(hostMicros), 0.0, quantum > 0 ? quantum : 4.0);
  else
    state.setIsPlaying(playing, microseconds(hostMicros));
  impl_->link.commitAudioSessionState(state);
}

void LinkSession::RequestBeatFromAudio(double beat, int64_t hostMicros, double quantum) {
  if (!impl_) return;
  auto state = impl_->link.captureAudioSessionState();
  state.requestBeatAtTime(beat, microseconds(hostMicros), quantum > 0 ? quantum : 4.0);
  impl_->link.commitAudioSessionState(state);
}
