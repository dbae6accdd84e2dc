#pragma once
// Where OSC answers go: one-off replies to /kestrine/get and the registered clients that
// are told every state change. Each client has a UDP socket connected to its address,
// so that a client that stopped listening makes the sends fail (the system reports the
// refused port on the next send) and is dropped; a send never waits.
//
// User-interface thread only.
#include <cstdint>
#include <string>
#include <vector>

#include <lo/lo.h>

inline constexpr int kOscMaxClients = 16;
// Failed sends after which a client is dropped (a listening client never has one).
inline constexpr int kOscClientFailures = 3;

struct OscClient {
  std::string url;
  std::string path;
  int socket = -1;
  int failures = 0;
};

class OscClients {
 public:
  OscClients() = default;
  ~OscClients();
  OscClients(const OscClients&) = delete;
  OscClients& operator=(const OscClients&) = delete;

  // False when the list is full or the URL gives no reachable UDP address. Registering a
  // client twice keeps one.
  bool Register(const std::string& url, const std::string& path);
  void Unregister(const std::string& url, const std::string& path);
  void Clear();
  int Count() const { return static_cast<int>(clients_.size()); }

  // Sends `message` to every client at its own path; drops those whose sends keep failing.
  void SendAll(lo_message message);
  // One message to one address, on a socket of its own; false when it could not be sent.
  static bool SendOnce(const std::string& url, const std::string& path, lo_message message);

  uint64_t Sent() const { return sent_; }
  uint64_t Failed() const { return failed_; }
  uint64_t Dropped() const { return dropped_; }

 private:
  std::vector<OscClient> clients_;
  uint64_t sent_ = 0, failed_ = 0, dropped_ = 0;
};
