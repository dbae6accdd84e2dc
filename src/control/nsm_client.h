#pragma once
// The session manager's side of the program: the NSM protocol spoken over OSC (UDP) with
// the manager named by NSM_URL. A thread of its own owns the socket: it looks up the
// manager's address, announces the program, reads the manager's messages and sends what
// the user-interface thread hands it. Requests are queued for the user-interface thread,
// which takes them with Take and acts on them there, as it does with OSC control and
// MIDI input; nothing here touches the application or the audio thread.
//
// Looking the manager up may wait on the network (a host name), so it happens on the
// client's thread: start-up never waits for a manager, present or not.
//
// Threads: Start, Stop, Take and the senders on the user-interface thread; the counters
// from any thread; the notify function is called on the client's thread.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

// The protocol's error codes, as the manager reads them.
enum NsmError : int32_t {
  NSM_ERR_GENERAL = -1,
  NSM_ERR_INCOMPATIBLE_API = -2,
  NSM_ERR_BLACKLISTED = -3,
  NSM_ERR_LAUNCH_FAILED = -4,
  NSM_ERR_NO_SUCH_FILE = -5,
  NSM_ERR_NO_SESSION_OPEN = -6,
  NSM_ERR_UNSAVED_CHANGES = -7,
  NSM_ERR_NOT_NOW = -8,
  NSM_ERR_BAD_PROJECT = -9,
  NSM_ERR_CREATE_FAILED = -10,
};

// What the program tells the manager about itself in its announce.
struct NsmIdentity {
  std::string name;          // the program's name as the manager shows it
  std::string capabilities;  // ":dirty:optional-gui:..."
  std::string executable;    // the name the manager starts it by
  int pid = 0;
};

enum class NsmRequestKind : uint8_t {
  Announced,  // the manager accepted the announce: text = its message, manager, capabilities
  Refused,    // the manager answered the announce with an error: code, text
  Open,       // /nsm/client/open: path, displayName, clientId
  Save,       // /nsm/client/save
  ShowGui,    // /nsm/client/show_optional_gui
  HideGui,    // /nsm/client/hide_optional_gui
  Loaded,     // /nsm/client/session_is_loaded: every client of the session is open
};

struct NsmRequest {
  NsmRequestKind kind = NsmRequestKind::Save;
  std::string path;  // Open: the folder the session lives in (without extension)
  std::string displayName;
  std::string clientId;
  std::string text;  // Announced, Refused: the manager's message
  std::string manager;
  std::string capabilities;
  int32_t code = 0;  // Refused
};

// Decodes one packet from the manager; false for anything the protocol does not send a
// client (it is counted and dropped). Pure and thread-free.
bool NsmRequest_Parse(const void* data, size_t size, NsmRequest* request);

// One message for the manager: its path and arguments (32-bit integers and strings).
struct NsmMessage {
  std::string path;
  std::vector<std::variant<int32_t, std::string>> args;
};

// Requests waiting beyond this are dropped (a manager does not flood; a stranger might).
inline constexpr size_t kNsmInboxCapacity = 64;
// Messages for the manager waiting beyond this are dropped (nothing is waiting to send).
inline constexpr size_t kNsmOutboxCapacity = 256;

class NsmClient {
 public:
  using NotifyFn = void (*)();

  NsmClient() = default;
  ~NsmClient();
  NsmClient(const NsmClient&) = delete;
  NsmClient& operator=(const NsmClient&) = delete;

  // Checks `url` (osc.udp://host:port/) and starts the thread, which looks the manager
  // up and announces `who`. False, with the reason in *error, for a URL that is not one.
  bool Start(const std::string& url, const NsmIdentity& who, std::string* error);
  void Stop();
  bool Running() const { return thread_.joinable(); }

  // The oldest queued request; false when none waits.
  bool Take(NsmRequest* request);
  // Called after a request is queued (the window schedules its drain).
  void SetNotify(NotifyFn fn) { notify_.store(fn); }

  // Queues a message for the manager; it is sent once the manager's address is known.
  void Send(NsmMessage message);
  // "/reply" to a request: the request's path and a message.
  void Reply(const std::string& requestPath, const std::string& message);
  // "/error" to a request: the request's path, an error code and a message.
  void Fail(const std::string& requestPath, int32_t code, const std::string& message);
  // A message without arguments ("/nsm/client/is_dirty", ".../gui_is_shown", ...).
  void Tell(const std::string& path);

  // Empty while all is well; why the manager cannot be reached otherwise.
  std::string Problem() const;
  uint64_t Received() const { return received_.load(); }  // packets read, handled or not
  uint64_t Ignored() const { return ignored_.load(); }
  uint64_t Sent() const { return sent_.load(); }
  uint64_t SendFailed() const { return sendFailed_.load(); }

 private:
  void Run(std::string host, std::string port, NsmIdentity who);
  bool Connect(const std::string& host, const std::string& port);
  void Accept(const char* packet, size_t size);
  void Flush();
  void Post(NsmMessage message);  // client's thread

  int socket_ = -1;
  int wake_ = -1;  // an eventfd: messages to send, or the end
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<NotifyFn> notify_{nullptr};
  mutable std::mutex lock_;
  std::deque<NsmRequest> inbox_;
  std::deque<NsmMessage> outbox_;
  std::string problem_;
  std::atomic<uint64_t> received_{0};
  std::atomic<uint64_t> ignored_{0};
  std::atomic<uint64_t> sent_{0};
  std::atomic<uint64_t> sendFailed_{0};
  // Client's thread only: where the manager is.
  std::vector<char> address_;
};
