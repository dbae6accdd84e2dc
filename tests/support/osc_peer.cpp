#include "support/osc_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int BindLoopback(int* port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  *port = ntohs(a.sin_port);
  return fd;
}

// Arguments sit on 4-byte boundaries, lo_arg wants 8: values are copied out.
std::string ArgText(char type, lo_arg* arg) {
  char text[64];
  int32_t i;
  float f;
  switch (type) {
    case 's': return reinterpret_cast<const char*>(arg);
    case 'i': std::memcpy(&i, arg, sizeof i); return std::to_string(i);
    case 'f': std::memcpy(&f, arg, sizeof f); std::snprintf(text, sizeof text, "%g", f); return text;
    default: return std::string("?") + type;
  }
}

}  // namespace

std::vector<char> OscPacket(const std::string& path, lo_message message) {
  size_t size = 0;
  char* data = static_cast<char*>(lo_message_serialise(message, path.c_str(), nullptr, &size));
  std::vector<char> bytes(data, data + size);
  std::free(data);
  return bytes;
}

OscPeer::OscPeer() { socket_ = BindLoopback(&port_); }
OscPeer::~OscPeer() { Close(); }

void OscPeer::Close() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
}

void OscPeer::SendTo(int port, const std::vector<char>& bytes) const {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  ::sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

bool OscPeer::Receive(OscReceived* message, std::chrono::milliseconds timeout) {
  pollfd fd{socket_, POLLIN, 0};
  if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char buffer[65536];
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  const ssize_t size = ::recvfrom(socket_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (size <= 0) return false;
  int result = 0;
  lo_message m = lo_message_deserialise(buffer, static_cast<size_t>(size), &result);
  if (!m) return false;
  message->path = buffer;
  message->senderPort = ntohs(from.sin_port);
  message->args.clear();
  const char* types = lo_message_get_types(m);
  lo_arg** argv = lo_message_get_argv(m);
  for (int i = 0; i < lo_message_get_argc(m); ++i) message->args.push_back(ArgText(types[i], argv[i]));
  lo_message_free(m);
  return true;
}

bool OscPeer::ReceiveWhat(const std::string& what, OscReceived* message, std::chrono::milliseconds timeout,
                          std::vector<OscReceived>* skipped) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Receive(message, left)) return false;
    if (!message->args.empty() && message->args[0] == what) return true;
    if (skipped) skipped->push_back(*message);
  }
}

void OscPeer::Drain() {
  OscReceived m;
  while (Receive(&m, std::chrono::milliseconds(0))) {
  }
}

int OscFreePort() {
  int port = 0;
  const int fd = BindLoopback(&port);
  ::close(fd);
  return port;
}
