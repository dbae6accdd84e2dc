#include "support/private_jack_server.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

PrivateJackServer::PrivateJackServer(const std::string& tag)
    : name_("kestrine-" + tag + "-" + std::to_string(::getpid())) {
  if (const char* previous = ::getenv("JACK_DEFAULT_SERVER")) previous_ = previous, hadPrevious_ = true;
  ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
}

PrivateJackServer::~PrivateJackServer() {
  Stop(SIGTERM);
  // The semaphores of a client that lost its server stay behind otherwise.
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ec))
    if (entry.path().filename().string().find("_" + name_ + "_") != std::string::npos)
      std::filesystem::remove(entry.path(), ec);
  if (hadPrevious_)
    ::setenv("JACK_DEFAULT_SERVER", previous_.c_str(), 1);
  else
    ::unsetenv("JACK_DEFAULT_SERVER");
}

bool PrivateJackServer::Installed() { return std::system("command -v jackd >/dev/null 2>&1") == 0; }

bool PrivateJackServer::Usable() {
  if (Installed()) return true;
  const char* ci = std::getenv("CI");
  if (ci && *ci && std::string(ci) != "false") ADD_FAILURE() << "jackd is not installed on CI";
  return false;
}

bool PrivateJackServer::Start() {
  pid_ = ::fork();
  if (pid_ == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1), ::dup2(null, 2);
    ::execlp("jackd", "jackd", "-n", name_.c_str(), "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid_ < 0) return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    if (std::system("jack_lsp >/dev/null 2>&1") == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void PrivateJackServer::Stop(int signal) {
  if (pid_ <= 0) return;
  ::kill(pid_, signal);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::vector<std::string> PrivateJackServer::Ports() const {
  std::vector<std::string> ports;
  FILE* out = ::popen("jack_lsp 2>/dev/null", "r");
  if (!out) return ports;
  char line[512];
  while (::fgets(line, sizeof line, out)) {
    std::string port = line;
    while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
    ports.push_back(port);
  }
  ::pclose(out);
  return ports;
}
