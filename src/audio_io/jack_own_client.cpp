#include "audio_io/jack_own_client.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/transport.h>

#include <chrono>
#include <cmath>

#include "audio_io/jack_client_loss.h"

namespace {

jack_client_t* C(void* client) { return static_cast<jack_client_t*>(client); }
jack_port_t* P(void* port) { return static_cast<jack_port_t*>(port); }

int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// JACK's frame counter is 32 bits wide (a day at 48 kHz): widened against a recent 64-bit
// frame, which it lies within half the range of.
int64_t Widen(jack_nframes_t frame, int64_t near) {
  return near + static_cast<int32_t>(frame - static_cast<jack_nframes_t>(near));
}

// Bytes of a short message by its status byte (0 for what is not sent: system exclusive).
size_t MessageSize(uint32_t status) {
  if (status < 0x80) return 0;
  if (status >= 0xF8) return 1;  // real time: clock, start, continue, stop...
  switch (status) {
    case 0xF1: case 0xF3: return 2;
    case 0xF2: return 3;
    case 0xF6: return 1;
    case 0xF0: case 0xF4: case 0xF5: case 0xF7: return 0;
    default: break;
  }
  const uint32_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

// A sequence-numbered record's writer side: odd while writing.
template <class F>
void WriteRecord(std::atomic<uint64_t>& seq, F&& write) {
  const uint64_t s = seq.load(std::memory_order_relaxed);
  seq.store(s + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  write();
  seq.store(s + 2, std::memory_order_release);
}

// The reader side: a few tries at a consistent copy.
template <class F>
bool ReadRecord(const std::atomic<uint64_t>& seq, F&& read) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const uint64_t before = seq.load(std::memory_order_acquire);
    if (before & 1) continue;
    read();
    std::atomic_thread_fence(std::memory_order_acquire);
    if (seq.load(std::memory_order_relaxed) == before) return true;
  }
  return false;
}

}  // namespace

// The callbacks libjack calls, with access to the client's insides.
struct JackOwnClientCallbacks {
  // JACK's process thread (real time).
  static int Process(jack_nframes_t nframes, void* arg) {
    auto* self = static_cast<JackOwnClient*>(arg);
    jack_client_t* client = C(self->client_);
    const int64_t periodFrame = Widen(jack_last_frame_time(client), self->rPeriodFrame_.load(std::memory_order_relaxed));
    const int64_t periodTimeNs = self->JackUsToSteadyNs(jack_frames_to_time(client, static_cast<jack_nframes_t>(periodFrame)));
    self->ProcessMidiIn(nframes, periodFrame);
    self->ProcessMidiOut(nframes, periodFrame);
    self->ProcessTransport(periodFrame, periodTimeNs);
    return 0;
  }

  // JACK's process thread, while Kestrine is timebase master: bars and beats for the
  // next period (JACK asks for the position the coming period starts at) from what the
  // engine fed, extended at its tempo to that period's first frame, timed as every other
  // frame is (JACK's frame-to-time mapping).
  static void Timebase(jack_transport_state_t, jack_nframes_t nframes, jack_position_t* pos, int, void* arg) {
    auto* self = static_cast<JackOwnClient*>(arg);
    JackOwnClient::Lead lead;
    if (!self->ReadLead(&lead)) {  // nothing fed yet, or mid-write: no bars and beats this period
      pos->valid = static_cast<jack_position_bits_t>(pos->valid & ~JackPositionBBT);
      return;
    }
    const double bpm = lead.bpm > 0 ? lead.bpm : 120.0;
    const double perBar = lead.beatsPerBar >= 1 ? lead.beatsPerBar : 4.0;
    jack_client_t* client = C(self->client_);
    const int64_t periodNs = self->JackUsToSteadyNs(jack_frames_to_time(client, jack_last_frame_time(client) + nframes));
    double beat = lead.beat + static_cast<double>(periodNs - lead.atTimeNs) * 1e-9 * bpm / 60.0;
    if (beat < 0) beat -= std::floor(beat / perBar) * perBar;  // before bar 1: counted within its bar
    const double ticksPerBeat = 1920.0;
    const double bars = std::floor(beat / perBar);
    const double inBar = beat - bars * perBar;
    const double beatInBar = std::floor(inBar);
    pos->valid = static_cast<jack_position_bits_t>(pos->valid | JackPositionBBT);
    pos->bar = static_cast<int32_t>(bars) + 1;
    pos->beat = static_cast<int32_t>(beatInBar) + 1;
    pos->tick = static_cast<int32_t>((inBar - beatInBar) * ticksPerBeat);
    pos->bar_start_tick = bars * perBar * ticksPerBeat;
    pos->beats_per_bar = static_cast<float>(perBar);
    pos->beat_type = 4.0f;
    pos->ticks_per_beat = ticksPerBeat;
    pos->beats_per_minute = bpm;
  }

  // libjack's own thread: the server shut down or dropped the client.
  static void Shutdown(void* arg) { static_cast<JackOwnClient*>(arg)->lost_.store(true); }
};

JackOwnClient::~JackOwnClient() { Close(); }

bool JackOwnClient::Open(const std::string& name, std::string* error) {
  Close();
  jack_status_t status{};
  jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (!client) {
    if (error) {
      *error = (status & JackServerFailed) || (status & JackServerError)
                   ? "No JACK server is running."
                   : "The JACK server refused the client (status " + std::to_string(static_cast<int>(status)) + ").";
    }
    return false;
  }
  JackClientLoss_AddOwnClient(client);
  client_ = client;
  name_ = jack_get_client_name(client);
  sampleRate_ = jack_get_sample_rate(client);
  lost_.store(false);
  leading_.store(false);
  haveHeld_ = false;
  JackMidiEvent staleIn;
  while (in_.pop(staleIn)) {
  }
  // Nothing produces into out_ while closed, and no process callback runs yet: this thread
  // may drain it.
  OutMessage staleOut;
  while (out_.pop(staleOut)) {
  }
  readingSeq_.store(0);
  rPeriod_.store(0);
  rPeriodFrame_.store(jack_frame_time(client));
  // Both clocks read back to back; their difference is the conversion's offset.
  const int64_t steady = SteadyNs();
  clockOffsetNs_ = steady - static_cast<int64_t>(jack_get_time()) * 1000;

  midiIn_ = jack_port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  midiOut_ = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  if (!midiIn_ || !midiOut_) {
    if (error) *error = "The JACK server refused the MIDI ports.";
    Close();
    return false;
  }
  jack_set_process_callback(client, &JackOwnClientCallbacks::Process, this);
  jack_on_shutdown(client, &JackOwnClientCallbacks::Shutdown, this);
  if (jack_activate(client) != 0) {
    if (error) *error = "The JACK client could not be activated.";
    Close();
    return false;
  }
  open_.store(true);
  return true;
}

void JackOwnClient::Close() {
  if (!client_) return;
  jack_client_t* client = C(client_);
  open_.store(false);
  if (!lost_.load()) {
    if (leading_.load()) jack_release_timebase(client);
    jack_deactivate(client);
  }
  jack_client_close(client);
  JackClientLoss_RemoveOwnClient(client);
  client_ = midiIn_ = midiOut_ = nullptr;
  leading_.store(false);
  name_.clear();
}

bool JackOwnClient::Acquire(const std::string& name, std::string* error) {
  ++users_;
  if (IsOpen()) return true;
  return Open(name, error);
}

void JackOwnClient::Release() {
  if (users_ > 0 && --users_ == 0) Close();
}

bool JackOwnClient::QueueMidi(uint32_t message, int64_t dueNs) {
  OutMessage m;
  m.dueNs = dueNs;
  m.message = message;
  if (!open_.load(std::memory_order_acquire) || !out_.push(m)) {
    outDropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  return true;
}

bool JackOwnClient::QueueMidiAtFrame(uint32_t message, int64_t frame) {
  OutMessage m;
  m.frame = frame;
  m.message = message;
  if (!open_.load(std::memory_order_acquire) || !out_.push(m)) {
    outDropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  return true;
}

bool JackOwnClient::InputConnected() const {
  return IsOpen() && midiIn_ && jack_port_connected(static_cast<jack_port_t*>(midiIn_)) > 0;
}

void JackOwnClient::ProcessMidiIn(uint32_t nframes, int64_t periodFrame) {
  void* buffer = jack_port_get_buffer(P(midiIn_), nframes);
  const uint32_t count = jack_midi_get_event_count(buffer);
  for (uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t e;
    if (jack_midi_event_get(&e, buffer, i) != 0) continue;
    const size_t size = e.size > 0 ? MessageSize(e.buffer[0]) : 0;
    if (size == 0 || e.size < size) {
      inDropped_.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    JackMidiEvent event;
    event.offset = e.time;
    event.frame = periodFrame + e.time;
    event.timeNs = JackUsToSteadyNs(jack_frames_to_time(C(client_), static_cast<jack_nframes_t>(event.frame)));
    event.message = e.buffer[0] | (size > 1 ? e.buffer[1] << 8 : 0u) | (size > 2 ? e.buffer[2] << 16 : 0u);
    if (!in_.push(event)) inDropped_.fetch_add(1, std::memory_order_relaxed);
  }
}

void JackOwnClient::ProcessMidiOut(uint32_t nframes, int64_t periodFrame) {
  void* buffer = jack_port_get_buffer(P(midiOut_), nframes);
  jack_midi_clear_buffer(buffer);
  int64_t lastOffset = 0;
  for (;;) {
    if (!haveHeld_ && !(haveHeld_ = out_.pop(held_))) break;
    int64_t frame = held_.frame;
    if (frame < 0) {
      // A message due at a time goes one period after that time's frame, the latency the
      // audio output has too: one handed over by its due time thus always finds its
      // period still ahead and lands on its frame, never squeezed to a period's start.
      frame = held_.dueNs <= 0 ? periodFrame
                               : Widen(jack_time_to_frames(C(client_), static_cast<jack_time_t>(
                                                                          (held_.dueNs - clockOffsetNs_) / 1000)),
                                       periodFrame) +
                                     nframes;
    }
    int64_t offset = frame - periodFrame;
    if (offset >= static_cast<int64_t>(nframes)) break;  // a later period's: kept in held_
    // Late ones go first thing; none goes before one queued ahead of it.
    if (offset < lastOffset) offset = lastOffset;
    const uint32_t m = held_.message;
    const size_t size = MessageSize(m & 0xFF);
    const jack_midi_data_t bytes[3] = {static_cast<jack_midi_data_t>(m & 0xFF),
                                       static_cast<jack_midi_data_t>((m >> 8) & 0x7F),
                                       static_cast<jack_midi_data_t>((m >> 16) & 0x7F)};
    if (size == 0 || jack_midi_event_write(buffer, static_cast<jack_nframes_t>(offset), bytes, size) != 0)
      outDropped_.fetch_add(1, std::memory_order_relaxed);
    lastOffset = offset;
    haveHeld_ = false;
  }
}

void JackOwnClient::ProcessTransport(int64_t periodFrame, int64_t periodTimeNs) {
  jack_position_t pos;
  const jack_transport_state_t state = jack_transport_query(C(client_), &pos);
  const bool valid = (pos.valid & JackPositionBBT) && pos.beats_per_minute > 0 && pos.beats_per_bar > 0 &&
                     pos.ticks_per_beat > 0 && pos.bar >= 1 && pos.beat >= 1;
  double beat = 0;
  if (valid) {
    beat = (pos.bar - 1) * static_cast<double>(pos.beats_per_bar) + (pos.beat - 1) + pos.tick / pos.ticks_per_beat;
  }
  WriteRecord(readingSeq_, [&] {
    rValid_.store(valid, std::memory_order_relaxed);
    rRolling_.store(state == JackTransportRolling, std::memory_order_relaxed);
    rBpm_.store(valid ? pos.beats_per_minute : 0.0, std::memory_order_relaxed);
    rBeatsPerBar_.store(valid ? pos.beats_per_bar : 0.0, std::memory_order_relaxed);
    rBeat_.store(beat, std::memory_order_relaxed);
    rFrame_.store(pos.frame, std::memory_order_relaxed);
    rPeriodFrame_.store(periodFrame, std::memory_order_relaxed);
    rPeriodTimeNs_.store(periodTimeNs, std::memory_order_relaxed);
    rPeriod_.store(rPeriod_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  });
}

bool JackOwnClient::Transport(JackTransportReading* reading) const {
  JackTransportReading r;
  const bool ok = ReadRecord(readingSeq_, [&] {
    r.valid = rValid_.load(std::memory_order_relaxed);
    r.rolling = rRolling_.load(std::memory_order_relaxed);
    r.bpm = rBpm_.load(std::memory_order_relaxed);
    r.beatsPerBar = rBeatsPerBar_.load(std::memory_order_relaxed);
    r.beat = rBeat_.load(std::memory_order_relaxed);
    r.frame = rFrame_.load(std::memory_order_relaxed);
    r.periodFrame = rPeriodFrame_.load(std::memory_order_relaxed);
    r.periodTimeNs = rPeriodTimeNs_.load(std::memory_order_relaxed);
    r.period = rPeriod_.load(std::memory_order_relaxed);
  });
  if (!ok || r.period == 0) return false;
  *reading = r;
  return true;
}

bool JackOwnClient::LeadTransport(bool lead) {
  if (!IsOpen()) return false;
  if (lead == leading_.load()) return true;
  if (lead) {
    if (jack_set_timebase_callback(C(client_), 0, &JackOwnClientCallbacks::Timebase, this) != 0) return false;
  } else {
    jack_release_timebase(C(client_));
  }
  leading_.store(lead);
  return true;
}

void JackOwnClient::FeedTransport(double bpm, double beatsPerBar, double beat, int64_t atTimeNs) {
  WriteRecord(leadSeq_, [&] {
    lBpm_.store(bpm, std::memory_order_relaxed);
    lBeatsPerBar_.store(beatsPerBar, std::memory_order_relaxed);
    lBeat_.store(beat, std::memory_order_relaxed);
    lAtTimeNs_.store(atTimeNs, std::memory_order_relaxed);
    lFed_.store(true, std::memory_order_relaxed);
  });
}

bool JackOwnClient::ReadLead(Lead* lead) const {
  bool fed = false;
  Lead l;
  const bool ok = ReadRecord(leadSeq_, [&] {
    l.bpm = lBpm_.load(std::memory_order_relaxed);
    l.beatsPerBar = lBeatsPerBar_.load(std::memory_order_relaxed);
    l.beat = lBeat_.load(std::memory_order_relaxed);
    l.atTimeNs = lAtTimeNs_.load(std::memory_order_relaxed);
    fed = lFed_.load(std::memory_order_relaxed);
  });
  if (!ok || !fed) return false;
  *lead = l;
  return true;
}

void JackOwnClient::StartTransport() {
  if (IsOpen()) jack_transport_start(C(client_));
}

void JackOwnClient::StopTransport() {
  if (IsOpen()) jack_transport_stop(C(client_));
}

int64_t JackOwnClient::FrameNow() const {
  if (!IsOpen()) return 0;
  return Widen(jack_frame_time(C(client_)), rPeriodFrame_.load(std::memory_order_relaxed));
}

int64_t JackOwnClient::FrameToTimeNs(int64_t frame) const {
  if (!IsOpen()) return 0;
  return JackUsToSteadyNs(jack_frames_to_time(C(client_), static_cast<jack_nframes_t>(frame)));
}

int64_t JackOwnClient::TimeNsToFrame(int64_t timeNs) const {
  if (!IsOpen()) return 0;
  return Widen(jack_time_to_frames(C(client_), static_cast<jack_time_t>((timeNs - clockOffsetNs_) / 1000)),
               rPeriodFrame_.load(std::memory_order_relaxed));
}
