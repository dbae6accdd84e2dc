#include "jack_delay_client.h"

#include <utility>

JackDelayClient::JackDelayClient(const std::string& name, int delay, float noise) : noise_(noise) {
  client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
  if (!client_) return;
  name_ = jack_get_client_name(client_);
  const char* names[2][2] = {{"in_0", "in_1"}, {"out_0", "out_1"}};
  for (int c = 0; c < 2; ++c) {
    in_[c] = jack_port_register(client_, names[0][c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    out_[c] = jack_port_register(client_, names[1][c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    line_[c].assign(static_cast<size_t>(delay > 0 ? delay : 0), 0.0f);
  }
  jack_set_process_callback(client_, Process, this);
  if (!in_[0] || !in_[1] || !out_[0] || !out_[1] || jack_activate(client_) != 0) {
    jack_client_close(client_);
    client_ = nullptr;
  }
}

JackDelayClient::~JackDelayClient() {
  if (!client_) return;
  jack_deactivate(client_);
  jack_client_close(client_);
}

int JackDelayClient::Process(jack_nframes_t frames, void* self) {
  auto* d = static_cast<JackDelayClient*>(self);
  const float* in[2];
  float* out[2];
  for (int c = 0; c < 2; ++c) {
    in[c] = static_cast<const float*>(jack_port_get_buffer(d->in_[c], frames));
    out[c] = static_cast<float*>(jack_port_get_buffer(d->out_[c], frames));
  }
  const size_t length = d->line_[0].size();
  for (jack_nframes_t f = 0; f < frames; ++f) {
    for (int c = 0; c < 2; ++c) {
      d->random_ ^= d->random_ << 13, d->random_ ^= d->random_ >> 17, d->random_ ^= d->random_ << 5;
      const float hiss = d->noise_ * (static_cast<float>(d->random_) / 4294967295.0f * 2.0f - 1.0f);
      float v = in[c][f];
      if (length) std::swap(v, d->line_[c][d->at_]);
      out[c][f] = v + hiss;
    }
    if (length) d->at_ = (d->at_ + 1) % length;
  }
  return 0;
}

JackPatchBay::JackPatchBay() { client_ = jack_client_open("patchbay", JackNoStartServer, nullptr); }

JackPatchBay::~JackPatchBay() {
  if (client_) jack_client_close(client_);
}

bool JackPatchBay::Connect(const std::string& from, const std::string& to) {
  return client_ && jack_connect(client_, from.c_str(), to.c_str()) == 0;
}

void JackPatchBay::Unplug(const std::string& port) {
  if (!client_) return;
  jack_port_t* p = jack_port_by_name(client_, port.c_str());
  if (!p) return;
  const bool input = (jack_port_flags(p) & JackPortIsInput) != 0;
  if (const char** others = jack_port_get_all_connections(client_, p)) {
    for (const char** other = others; *other; ++other)
      input ? jack_disconnect(client_, *other, port.c_str()) : jack_disconnect(client_, port.c_str(), *other);
    jack_free(others);
  }
}

int JackPatchBay::Period() const { return client_ ? static_cast<int>(jack_get_buffer_size(client_)) : 0; }

std::vector<std::string> JackPatchBay::Ports(const std::string& pattern) const {
  std::vector<std::string> names;
  if (!client_) return names;
  if (const char** ports = jack_get_ports(client_, pattern.c_str(), nullptr, 0)) {
    for (const char** port = ports; *port; ++port) names.emplace_back(*port);
    jack_free(ports);
  }
  return names;
}
