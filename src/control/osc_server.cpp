#include "control/osc_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

OscServer::~OscServer() { Stop(); }

bool OscServer::Start(int port, bool allInterfaces, std::string* error) {
  Stop();
  if (port < 0 || port > 65535) {
    *error = "OSC port " + std::to_string(port) + " is not a port number (1 to 65535).";
    return false;
  }
  socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(allInterfaces ? INADDR_ANY : INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (socket_ < 0 || wake_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int e = errno;
    *error = e == EADDRINUSE ? "OSC port " + std::to_string(port) + " is in use by another program."
                             : "OSC port " + std::to_string(port) + " cannot be opened: " + std::strerror(e) + ".";
    Stop();
    return false;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread(&OscServer::Run, this);
  return true;
}

void OscServer::Stop() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    thread_.join();
  }
  if (socket_ >= 0) ::close(socket_);
  if (wake_ >= 0) ::close(wake_);
  socket_ = wake_ = -1;
  port_ = 0;
  std::lock_guard<std::mutex> guard(lock_);
  inbox_.clear();
}

bool OscServer::Take(OscRequest* request) {
  std::lock_guard<std::mutex> guard(lock_);
  if (inbox_.empty()) return false;
  *request = std::move(inbox_.front());
  inbox_.pop_front();
  return true;
}

uint64_t OscServer::Ignored() const {
  uint64_t total = droppedFull_.load();
  for (const auto& n : ignored_) total += n.load();
  return total;
}

bool OscServer::Accept(const char* packet, size_t size) {
  // A bundle's messages are counted, refused or queued one by one, as if each came alone.
  OscRequest_ParsePacket(packet, size, &parsed_);
  bool queued = false;
  for (OscParsed& p : parsed_) {
    if (p.reason != OscReject::None) {
      ignored_[static_cast<int>(p.reason)].fetch_add(1);
      continue;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (inbox_.size() >= kOscInboxCapacity) {
      droppedFull_.fetch_add(1);
      continue;
    }
    inbox_.push_back(std::move(p.request));
    queued = true;
  }
  return queued;
}

void OscServer::Run() {
  // One byte more than the largest packet taken, so that MSG_TRUNC tells a longer one.
  char buffer[kOscMaxPacketBytes + 1];
  pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    const ssize_t size = ::recv(socket_, buffer, sizeof buffer, MSG_TRUNC | MSG_DONTWAIT);
    if (size < 0) continue;
    const bool queued = Accept(buffer, static_cast<size_t>(size));
    // Counted once it is queued or set aside, so whoever sees the count sees it handled.
    received_.fetch_add(1);
    if (queued)
      if (NotifyFn notify = notify_.load()) notify();
  }
}
