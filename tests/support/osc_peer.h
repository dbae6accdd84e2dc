#pragma once
// The other end of OSC in tests: a UDP socket on 127.0.0.1 that sends packets to the
// program and decodes what comes back. Nothing leaves the loopback interface.
#include <lo/lo.h>

#include <chrono>
#include <string>
#include <vector>

// One decoded message: its path and arguments as text (numbers printed with %g).
struct OscReceived {
  std::string path;
  std::vector<std::string> args;
  int senderPort = 0;  // the UDP port it came from
};

// The bytes of one OSC message: `types` as liblo spells them, then the values.
std::vector<char> OscPacket(const std::string& path, lo_message message);
// A message built with liblo's typed adder: OscPacketOf("/p", "si", "x", 2).
template <typename... Args>
std::vector<char> OscPacketOf(const char* path, const char* types, Args... args) {
  lo_message m = lo_message_new();
  lo_message_add(m, types, args...);
  std::vector<char> bytes = OscPacket(path, m);
  lo_message_free(m);
  return bytes;
}

class OscPeer {
 public:
  OscPeer();
  ~OscPeer();
  int Port() const { return port_; }
  std::string Url() const { return "osc.udp://127.0.0.1:" + std::to_string(port_) + "/"; }
  void SendTo(int port, const std::vector<char>& bytes) const;
  // The next message, or false after `timeout`.
  bool Receive(OscReceived* message, std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
  // Messages until one whose first argument is `what` (others are kept in *skipped).
  bool ReceiveWhat(const std::string& what, OscReceived* message,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(2000),
                   std::vector<OscReceived>* skipped = nullptr);
  // Discards whatever has arrived.
  void Drain();
  void Close();

 private:
  int socket_ = -1;
  int port_ = 0;
};

// A UDP port on 127.0.0.1 that was free a moment ago.
int OscFreePort();
