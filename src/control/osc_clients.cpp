#include "control/osc_clients.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

struct CFree {
  void operator()(char* p) const { std::free(p); }
};

// A UDP socket connected to the URL's host and port; -1 when there is none. Hosts are
// numeric addresses (or "localhost"): a name would need a lookup that may wait on the
// network, and the user-interface thread never waits.
int Connect(const std::string& url) {
  if (lo_url_get_protocol_id(url.c_str()) != LO_UDP) return -1;
  std::unique_ptr<char, CFree> host(lo_url_get_hostname(url.c_str()));
  std::unique_ptr<char, CFree> port(lo_url_get_port(url.c_str()));
  if (!host || !port || !*host || !*port) return -1;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
  const std::string name = std::string(host.get()) == "localhost" ? "127.0.0.1" : host.get();
  addrinfo* found = nullptr;
  if (::getaddrinfo(name.c_str(), port.get(), &hints, &found) != 0 || !found) return -1;
  int fd = ::socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
    ::close(fd);
    fd = -1;
  }
  ::freeaddrinfo(found);
  return fd;
}

bool Send(int fd, const std::string& path, lo_message message) {
  size_t size = 0;
  std::unique_ptr<char, CFree> data(static_cast<char*>(lo_message_serialise(message, path.c_str(), nullptr, &size)));
  return data && ::send(fd, data.get(), size, MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

}  // namespace

OscClients::~OscClients() { Clear(); }

bool OscClients::Register(const std::string& url, const std::string& path) {
  for (const OscClient& c : clients_)
    if (c.url == url && c.path == path) return true;
  if (Count() >= kOscMaxClients) return false;
  const int fd = Connect(url);
  if (fd < 0) return false;
  clients_.push_back(OscClient{url, path, fd, 0});
  return true;
}

void OscClients::Unregister(const std::string& url, const std::string& path) {
  auto gone = std::remove_if(clients_.begin(), clients_.end(), [&](const OscClient& c) {
    if (c.url != url || c.path != path) return false;
    ::close(c.socket);
    return true;
  });
  clients_.erase(gone, clients_.end());
}

void OscClients::Clear() {
  for (const OscClient& c : clients_) ::close(c.socket);
  clients_.clear();
}

void OscClients::SendAll(lo_message message) {
  for (OscClient& c : clients_) {
    // A refusal is reported on the send after the one refused, and the send after that
    // succeeds again: failures are therefore counted, never forgiven.
    if (Send(c.socket, c.path, message)) {
      ++sent_;
    } else {
      ++failed_;
      ++c.failures;
    }
  }
  auto gone = std::remove_if(clients_.begin(), clients_.end(), [this](const OscClient& c) {
    if (c.failures < kOscClientFailures) return false;
    ::close(c.socket);
    ++dropped_;
    return true;
  });
  clients_.erase(gone, clients_.end());
}

bool OscClients::SendOnce(const std::string& url, const std::string& path, lo_message message) {
  const int fd = Connect(url);
  if (fd < 0) return false;
  const bool sent = Send(fd, path, message);
  ::close(fd);
  return sent;
}
