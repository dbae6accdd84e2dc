#pragma once
// The OSC server: a UDP socket read on a thread of its own. Each packet is decoded there
// (osc_request.h) and a request that means something is queued for the user-interface
// thread, which takes it with Take and acts on it there, as it does with MIDI input;
// nothing here touches the application or the audio thread. Packets that mean nothing
// are counted by reason and dropped.
//
// Threads: Start, Stop and Take on the user-interface thread; the counters from any
// thread; the notify function is called on the server's thread.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/osc_request.h"

// Requests waiting beyond this are dropped (and counted): a flood never grows memory.
inline constexpr size_t kOscInboxCapacity = 4096;

class OscServer {
 public:
  using NotifyFn = void (*)();

  OscServer() = default;
  ~OscServer();
  OscServer(const OscServer&) = delete;
  OscServer& operator=(const OscServer&) = delete;

  // Binds UDP `port` on 127.0.0.1, or on every interface, and starts reading. Port 0
  // asks the system for a free port (tests). False with the reason in *error.
  bool Start(int port, bool allInterfaces, std::string* error);
  void Stop();
  bool Running() const { return thread_.joinable(); }
  // The port bound (useful after Start with port 0); 0 when not running.
  int Port() const { return port_; }

  // The oldest queued request; false when none waits.
  bool Take(OscRequest* request);
  // Called after a request is queued (the window schedules its drain).
  void SetNotify(NotifyFn fn) { notify_.store(fn); }

  // Packets read and already queued or set aside (a test waits on it before draining).
  uint64_t Received() const { return received_.load(); }
  uint64_t Ignored() const;                    // every reason together, full inbox included
  uint64_t Ignored(OscReject reason) const { return ignored_[static_cast<int>(reason)].load(); }
  uint64_t DroppedFull() const { return droppedFull_.load(); }

 private:
  // Server thread: parses one packet and queues its requests (a bundle holds several);
  // false when none was queued.
  bool Accept(const char* packet, size_t size);
  void Run();

  int socket_ = -1;
  int wake_ = -1;  // an eventfd that ends the thread's wait
  int port_ = 0;
  std::thread thread_;
  std::atomic<NotifyFn> notify_{nullptr};
  mutable std::mutex lock_;
  std::deque<OscRequest> inbox_;
  std::vector<OscParsed> parsed_;  // the server thread's, kept to spare an allocation a packet
  std::atomic<uint64_t> received_{0};
  std::atomic<uint64_t> ignored_[kOscRejectCount] = {};
  std::atomic<uint64_t> droppedFull_{0};
};
