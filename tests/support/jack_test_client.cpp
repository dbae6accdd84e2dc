#include "support/jack_test_client.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cmath>
#include <cstring>

JackTestClient::JackTestClient(const std::string& name) {
  client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
  if (!client_) return;
  in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(client_, &Process, this);
  if (!in_ || !out_ || jack_activate(client_) != 0) {
    jack_client_close(client_);
    client_ = nullptr;
  }
}

JackTestClient::~JackTestClient() {
  if (!client_) return;
  jack_deactivate(client_);
  jack_client_close(client_);
}

std::string JackTestClient::Name() const { return client_ ? jack_get_client_name(client_) : ""; }

bool JackTestClient::Connect(const std::string& from, const std::string& to) {
  return jack_connect(client_, from.c_str(), to.c_str()) == 0;
}

bool JackTestClient::Disconnect(const std::string& from, const std::string& to) {
  return jack_disconnect(client_, from.c_str(), to.c_str()) == 0;
}

void JackTestClient::SendAt(int64_t frame, std::vector<uint8_t> bytes) {
  Out o{};
  o.frame = frame;
  o.size = std::min(bytes.size(), sizeof o.bytes);
  std::memcpy(o.bytes, bytes.data(), o.size);
  toSend_.push(o);
}

const std::vector<JackTestClient::Event>& JackTestClient::Received() {
  for (Event e; got_.pop(e);) received_.push_back(e);
  return received_;
}

int JackTestClient::Process(jack_nframes_t nframes, void* arg) {
  auto* self = static_cast<JackTestClient*>(arg);
  const int64_t period = jack_last_frame_time(self->client_);
  void* in = jack_port_get_buffer(self->in_, nframes);
  const uint32_t count = jack_midi_get_event_count(in);
  for (uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t e;
    if (jack_midi_event_get(&e, in, i) != 0) continue;
    Event got;
    got.frame = period + e.time;
    got.size = e.size;
    for (size_t b = 0; b < std::min<size_t>(e.size, 3); ++b) got.message |= static_cast<uint32_t>(e.buffer[b]) << (8 * b);
    self->got_.push(got);
  }
  void* out = jack_port_get_buffer(self->out_, nframes);
  jack_midi_clear_buffer(out);
  int64_t last = 0;
  for (;;) {
    if (!self->haveHeld_ && !(self->haveHeld_ = self->toSend_.pop(self->held_))) break;
    int64_t offset = self->held_.frame - period;
    if (offset >= nframes) break;
    offset = std::max(offset, last);
    jack_midi_event_write(out, static_cast<jack_nframes_t>(offset), self->held_.bytes, self->held_.size);
    last = offset;
    self->haveHeld_ = false;
  }
  return 0;
}

void JackTestClient::Timebase(jack_transport_state_t, jack_nframes_t, jack_position_t* pos, int, void* arg) {
  auto* self = static_cast<JackTestClient*>(arg);
  const double bpm = self->bpm_.load();
  const int perBar = self->beatsPerBar_.load();
  // A relocation's request may come without the rate filled in.
  const double rate = pos->frame_rate ? pos->frame_rate : jack_get_sample_rate(self->client_);
  const double beats = static_cast<double>(pos->frame) / rate * bpm / 60.0;
  const double bars = std::floor(beats / perBar);
  const double inBar = beats - bars * perBar;
  pos->valid = static_cast<jack_position_bits_t>(pos->valid | JackPositionBBT);
  pos->bar = static_cast<int32_t>(bars) + 1;
  pos->beat = static_cast<int32_t>(std::floor(inBar)) + 1;
  pos->ticks_per_beat = 1920;
  pos->tick = static_cast<int32_t>((inBar - std::floor(inBar)) * 1920);
  pos->bar_start_tick = bars * perBar * 1920;
  pos->beats_per_bar = static_cast<float>(perBar);
  pos->beat_type = 4;
  pos->beats_per_minute = bpm;
}

bool JackTestClient::BecomeMaster(double bpm, int beatsPerBar) {
  bpm_.store(bpm), beatsPerBar_.store(beatsPerBar);
  return jack_set_timebase_callback(client_, 0, &Timebase, this) == 0;
}

void JackTestClient::ReleaseMaster() { jack_release_timebase(client_); }
