#pragma once
// A JACK client for live tests, standing for the rest of the rig: it sends MIDI at exact frames from its port
// "out", records what reaches its port "in" with the frame of each event, and can be the transport's timebase
// master at a set tempo (bars and beats from the transport frame).
#include <jack/jack.h>
#include <jack/transport.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/spsc_queue.h"

class JackTestClient {
 public:
  struct Event {
    int64_t frame = 0;
    uint32_t message = 0;
    size_t size = 0;
  };

  explicit JackTestClient(const std::string& name);
  ~JackTestClient();
  bool Ok() const { return client_ != nullptr; }
  std::string Name() const;
  jack_client_t* client() const { return client_; }
  bool Connect(const std::string& from, const std::string& to);
  bool Disconnect(const std::string& from, const std::string& to);

  // Test thread: `bytes` (1..3 bytes, or longer system exclusive) leave "out" at JACK frame `frame`.
  void SendAt(int64_t frame, std::vector<uint8_t> bytes);
  // Test thread: what "in" received so far (this call and earlier ones).
  const std::vector<Event>& Received();
  int64_t FrameNow() const { return jack_frame_time(client_); }

  // Test thread: the timebase master at `bpm`, `beatsPerBar` to the beat (a quarter note).
  bool BecomeMaster(double bpm, int beatsPerBar);
  void ReleaseMaster();

 private:
  struct Out {
    int64_t frame;
    uint8_t bytes[16];
    size_t size;
  };
  static int Process(jack_nframes_t nframes, void* arg);
  static void Timebase(jack_transport_state_t, jack_nframes_t, jack_position_t* pos, int, void* arg);

  jack_client_t* client_ = nullptr;
  jack_port_t* in_ = nullptr;
  jack_port_t* out_ = nullptr;
  SpscQueue<Out, 1024> toSend_;
  SpscQueue<Event, 4096> got_;
  std::vector<Event> received_;
  Out held_{};
  bool haveHeld_ = false;
  std::atomic<double> bpm_{120};
  std::atomic<int> beatsPerBar_{4};
};
