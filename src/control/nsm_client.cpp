#include "control/nsm_client.h"

#include <arpa/inet.h>
#include <lo/lo.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct CFree {
  void operator()(void* p) const { std::free(p); }
};
struct MessageFree {
  void operator()(lo_message m) const { lo_message_free(m); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageFree>;

// Larger packets are no message of the protocol.
constexpr size_t kMaxPacketBytes = 4096;

// liblo's arguments sit on 4-byte boundaries while its lo_arg union asks for 8: values
// are copied out rather than read through the union.
int32_t Int(lo_arg* arg) {
  int32_t v;
  std::memcpy(&v, arg, sizeof v);
  return v;
}
std::string Text(lo_arg* arg) { return reinterpret_cast<const char*>(arg); }

bool Types(const char* types, const char* wanted) { return std::strcmp(types, wanted) == 0; }

// A manager on this machine is reached from the loopback address alone: nothing is
// listened for on the other interfaces.
bool IsLoopback(const sockaddr* a) {
  if (a->sa_family == AF_INET)
    return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
  return a->sa_family == AF_INET6 && IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr);
}

void Wake(int fd) {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

}  // namespace

bool NsmRequest_Parse(const void* data, size_t size, NsmRequest* request) {
  if (size < 4 || size > kMaxPacketBytes) return false;
  // The library decodes a block it may write to: it gets a copy.
  std::vector<char> copy(static_cast<const char*>(data), static_cast<const char*>(data) + size);
  int result = 0;
  Message m(lo_message_deserialise(copy.data(), copy.size(), &result));
  if (!m || result != 0) return false;
  const char* path = copy.data();  // the deserialiser checked it is a terminated string
  const char* types = lo_message_get_types(m.get());
  lo_arg** argv = lo_message_get_argv(m.get());
  if (!path || !types) return false;
  const std::string address = path;
  *request = NsmRequest{};
  if (address == "/reply") {
    // Replies to our own requests: only the announce's carries news.
    if (!Types(types, "ssss") || Text(argv[0]) != "/nsm/server/announce") return false;
    request->kind = NsmRequestKind::Announced;
    request->text = Text(argv[1]);
    request->manager = Text(argv[2]);
    request->capabilities = Text(argv[3]);
    return true;
  }
  if (address == "/error") {
    if (!Types(types, "sis") || Text(argv[0]) != "/nsm/server/announce") return false;
    request->kind = NsmRequestKind::Refused;
    request->code = Int(argv[1]);
    request->text = Text(argv[2]);
    return true;
  }
  if (address == "/nsm/client/open") {
    if (!Types(types, "sss")) return false;
    request->kind = NsmRequestKind::Open;
    request->path = Text(argv[0]);
    request->displayName = Text(argv[1]);
    request->clientId = Text(argv[2]);
    return !request->path.empty();
  }
  static const struct {
    const char* path;
    NsmRequestKind kind;
  } kPlain[] = {{"/nsm/client/save", NsmRequestKind::Save},
                {"/nsm/client/show_optional_gui", NsmRequestKind::ShowGui},
                {"/nsm/client/hide_optional_gui", NsmRequestKind::HideGui},
                {"/nsm/client/session_is_loaded", NsmRequestKind::Loaded}};
  for (const auto& p : kPlain)
    if (address == p.path) {
      request->kind = p.kind;
      return true;  // extra arguments are no reason to refuse a plain request
    }
  return false;
}

NsmClient::~NsmClient() { Stop(); }

bool NsmClient::Start(const std::string& url, const NsmIdentity& who, std::string* error) {
  Stop();
  std::unique_ptr<char, CFree> host(lo_url_get_hostname(url.c_str()));
  std::unique_ptr<char, CFree> port(lo_url_get_port(url.c_str()));
  if (lo_url_get_protocol_id(url.c_str()) != LO_UDP || !host || !port || !*host || !*port) {
    *error = "NSM_URL \"" + url + "\" is not an osc.udp:// address of a session manager.";
    return false;
  }
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) {
    *error = std::string("The session manager client cannot start: ") + std::strerror(errno) + ".";
    return false;
  }
  stop_ = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    problem_.clear();
  }
  thread_ = std::thread(&NsmClient::Run, this, std::string(host.get()), std::string(port.get()), who);
  return true;
}

void NsmClient::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    Wake(wake_);
    thread_.join();
  }
  if (wake_ >= 0) ::close(wake_);
  wake_ = -1;
  std::lock_guard<std::mutex> guard(lock_);
  inbox_.clear();
  outbox_.clear();
}

bool NsmClient::Take(NsmRequest* request) {
  std::lock_guard<std::mutex> guard(lock_);
  if (inbox_.empty()) return false;
  *request = std::move(inbox_.front());
  inbox_.pop_front();
  return true;
}

void NsmClient::Send(NsmMessage message) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (outbox_.size() >= kNsmOutboxCapacity) {
      sendFailed_.fetch_add(1);
      return;
    }
    outbox_.push_back(std::move(message));
  }
  if (wake_ >= 0) Wake(wake_);
}

void NsmClient::Reply(const std::string& requestPath, const std::string& message) {
  Send(NsmMessage{"/reply", {requestPath, message}});
}

void NsmClient::Fail(const std::string& requestPath, int32_t code, const std::string& message) {
  Send(NsmMessage{"/error", {requestPath, code, message}});
}

void NsmClient::Tell(const std::string& path) { Send(NsmMessage{path, {}}); }

std::string NsmClient::Problem() const {
  std::lock_guard<std::mutex> guard(lock_);
  return problem_;
}

bool NsmClient::Connect(const std::string& host, const std::string& port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int looked = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
  if (looked != 0 || !found) {
    std::lock_guard<std::mutex> guard(lock_);
    problem_ = "The session manager at " + host + ":" + port + " cannot be found: " + ::gai_strerror(looked) + ".";
    return false;
  }
  const addrinfo* a = found;
  socket_ = ::socket(a->ai_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (socket_ >= 0 && IsLoopback(a->ai_addr)) {
    sockaddr_storage local{};
    local.ss_family = static_cast<sa_family_t>(a->ai_family);
    if (a->ai_family == AF_INET)
      reinterpret_cast<sockaddr_in*>(&local)->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    else
      reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr = in6addr_loopback;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&local), a->ai_addrlen) != 0) {
      ::close(socket_);
      socket_ = -1;
    }
  }
  if (socket_ < 0) {
    std::lock_guard<std::mutex> guard(lock_);
    problem_ = std::string("No socket for the session manager: ") + std::strerror(errno) + ".";
  } else {
    const char* begin = reinterpret_cast<const char*>(a->ai_addr);
    address_.assign(begin, begin + a->ai_addrlen);
  }
  ::freeaddrinfo(found);
  return socket_ >= 0;
}

void NsmClient::Post(NsmMessage message) {
  Message m(lo_message_new());
  for (const auto& arg : message.args) {
    if (const int32_t* i = std::get_if<int32_t>(&arg))
      lo_message_add_int32(m.get(), *i);
    else
      lo_message_add_string(m.get(), std::get<std::string>(arg).c_str());
  }
  size_t size = 0;
  std::unique_ptr<char, CFree> data(static_cast<char*>(lo_message_serialise(m.get(), message.path.c_str(), nullptr, &size)));
  // A manager that is gone makes the send fail; nothing waits for it.
  const bool sent = data && ::sendto(socket_, data.get(), size, MSG_DONTWAIT | MSG_NOSIGNAL,
                                     reinterpret_cast<const sockaddr*>(address_.data()),
                                     static_cast<socklen_t>(address_.size())) == static_cast<ssize_t>(size);
  (sent ? sent_ : sendFailed_).fetch_add(1);
}

void NsmClient::Flush() {
  std::deque<NsmMessage> waiting;
  {
    std::lock_guard<std::mutex> guard(lock_);
    waiting.swap(outbox_);
  }
  for (NsmMessage& m : waiting) Post(std::move(m));
}

void NsmClient::Accept(const char* packet, size_t size) {
  NsmRequest request;
  if (!NsmRequest_Parse(packet, size, &request)) {
    ignored_.fetch_add(1);
    return;
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (inbox_.size() >= kNsmInboxCapacity) {
      ignored_.fetch_add(1);
      return;
    }
    inbox_.push_back(std::move(request));
  }
  if (NotifyFn notify = notify_.load()) notify();
}

void NsmClient::Run(std::string host, std::string port, NsmIdentity who) {
  if (!Connect(host, port)) {
    // Nothing to talk to: the program runs as without a manager. Wait for the end.
    // Whatever is handed over meanwhile cannot be sent: it is counted as failed.
    pollfd end{wake_, POLLIN, 0};
    while (!stop_) {
      if (::poll(&end, 1, -1) < 0 && errno != EINTR) break;
      uint64_t count;
      [[maybe_unused]] const ssize_t n = ::read(wake_, &count, sizeof count);
      std::lock_guard<std::mutex> guard(lock_);
      sendFailed_.fetch_add(outbox_.size());
      outbox_.clear();
    }
    return;
  }
  Post(NsmMessage{"/nsm/server/announce", {who.name, who.capabilities, who.executable, 1, 2, who.pid}});
  char buffer[kMaxPacketBytes + 1];
  pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
  while (!stop_) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) {
      uint64_t count;
      [[maybe_unused]] const ssize_t n = ::read(wake_, &count, sizeof count);
      Flush();
    }
    if (!(fds[0].revents & POLLIN)) continue;
    const ssize_t size = ::recv(socket_, buffer, sizeof buffer, MSG_TRUNC | MSG_DONTWAIT);
    if (size < 0) continue;  // an ICMP "port unreachable" from a manager that is gone
    Accept(buffer, static_cast<size_t>(size));
    received_.fetch_add(1);
  }
  Flush();  // the last words (a reply just queued) go out before the socket closes
  ::close(socket_);
  socket_ = -1;
}
