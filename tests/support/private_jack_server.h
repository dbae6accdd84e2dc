#pragma once
// A JACK server of the test's own (dummy backend, 48 kHz, 256 frames per period), named
// after the process so that nothing else shares it. While the object lives, the JACK
// clients of this process (PortAudio's and the JACK tools run by the test) look for that
// server: it can be absent, started, killed and started again under the program's feet.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

class PrivateJackServer {
 public:
  explicit PrivateJackServer(const std::string& tag);
  ~PrivateJackServer();
  PrivateJackServer(const PrivateJackServer&) = delete;
  PrivateJackServer& operator=(const PrivateJackServer&) = delete;

  static bool Installed();  // jackd is on the path
  // Installed(); where it is not, a failure on CI (which must have it) and false.
  static bool Usable();
  // Starts jackd and waits (up to 10 s) until it answers; false when it does not.
  bool Start();
  // SIGKILL: the server crashes; SIGTERM: it shuts down in order. Waits for its end.
  void Stop(int signal);
  bool Running() const { return pid_ > 0; }
  // Every port of the server, as jack_lsp lists them.
  std::vector<std::string> Ports() const;
  const std::string& name() const { return name_; }

 private:
  std::string name_, previous_;
  bool hadPrevious_ = false;
  pid_t pid_ = -1;
};

// Polls `done` every 5 ms for up to `seconds`: what a live test waits for from the server
// or the stream. False when it never came true.
template <class F>
bool Within(double seconds, F&& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}
