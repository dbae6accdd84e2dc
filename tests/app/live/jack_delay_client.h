#pragma once
// A JACK client of the test's own, standing in for a loop cable with a known delay: what
// reaches its inputs in_0/in_1 leaves its outputs out_0/out_1 exactly `delay` frames
// later, with white noise of `noise` peak added (a noisy line). Everything its process
// callback touches is allocated before it is activated.
#include <jack/jack.h>

#include <cstdint>

#include <string>
#include <vector>

class JackDelayClient {
 public:
  JackDelayClient(const std::string& name, int delay, float noise);
  ~JackDelayClient();
  JackDelayClient(const JackDelayClient&) = delete;
  JackDelayClient& operator=(const JackDelayClient&) = delete;

  bool ok() const { return client_ != nullptr; }
  std::string port(const char* shortName) const { return name_ + ":" + shortName; }

 private:
  static int Process(jack_nframes_t frames, void* self);

  std::string name_;
  jack_client_t* client_ = nullptr;
  jack_port_t* in_[2] = {};
  jack_port_t* out_[2] = {};
  std::vector<float> line_[2];  // `delay` frames of each channel, read and written at `at_`
  size_t at_ = 0;
  float noise_;
  uint32_t random_ = 0x12345678u;
};

// A plain client for patching and asking the server (connections, period).
class JackPatchBay {
 public:
  JackPatchBay();
  ~JackPatchBay();
  bool ok() const { return client_ != nullptr; }
  bool Connect(const std::string& from, const std::string& to);
  // Removes every connection of `port`.
  void Unplug(const std::string& port);
  int Period() const;
  // The ports whose names match the regular expression, in the server's order.
  std::vector<std::string> Ports(const std::string& pattern) const;

 private:
  jack_client_t* client_ = nullptr;
};
