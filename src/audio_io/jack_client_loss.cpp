#include "audio_io/jack_client_loss.h"

#include <dlfcn.h>
#include <jack/jack.h>

#include <atomic>

namespace {

std::atomic<JackClientLostFn> lostHandler{nullptr};
std::atomic<bool> lost{false};

// PortAudio's shutdown handler for its (one) client, kept so that it can be run again.
std::atomic<JackShutdownCallback> portAudioShutdown{nullptr};
std::atomic<void*> portAudioShutdownArg{nullptr};

// The program's own clients, whose calls are not PortAudio's.
std::atomic<void*> ownClients[4] = {};

bool Own(void* client) {
  if (!client) return false;
  for (const auto& c : ownClients)
    if (c.load() == client) return true;
  return false;
}

template <class Fn>
Fn Real(Fn, const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

void OnShutdown(void*) {
  lost.store(true);
  if (JackShutdownCallback fn = portAudioShutdown.load()) fn(portAudioShutdownArg.load());
  if (JackClientLostFn fn = lostHandler.load()) fn();
}

}  // namespace

void JackClientLoss_SetHandler(JackClientLostFn fn) { lostHandler.store(fn); }
bool JackClientLoss_Happened() { return lost.load(); }
void JackClientLoss_Reset() { lost.store(false); }

void JackClientLoss_AddOwnClient(void* client) {
  for (auto& c : ownClients) {
    void* empty = nullptr;
    if (c.compare_exchange_strong(empty, client)) return;
  }
}

void JackClientLoss_RemoveOwnClient(void* client) {
  for (auto& c : ownClients) {
    void* expected = client;
    c.compare_exchange_strong(expected, nullptr);
  }
}

void JackClientLoss_WakePortAudio() {
  if (!lost.load()) return;  // on a live client this would stop it for good
  if (JackShutdownCallback fn = portAudioShutdown.load()) fn(portAudioShutdownArg.load());
}

// The libjack functions PortAudio calls, seen first by the dynamic linker because the
// program defines them. Each forwards to libjack's own.
extern "C" {

void jack_on_shutdown(jack_client_t* client, JackShutdownCallback callback, void* arg) {
  static const auto real = Real(&jack_on_shutdown, "jack_on_shutdown");
  if (Own(client)) {
    if (real) real(client, callback, arg);
    return;
  }
  portAudioShutdownArg.store(arg);
  portAudioShutdown.store(callback);
  if (real) real(client, OnShutdown, nullptr);
}

// On a lost client these fail, and PortAudio asserts that they succeed.
int jack_deactivate(jack_client_t* client) {
  static const auto real = Real(&jack_deactivate, "jack_deactivate");
  const int result = real ? real(client) : -1;
  return lost.load() && !Own(client) ? 0 : result;
}

int jack_client_close(jack_client_t* client) {
  static const auto real = Real(&jack_client_close, "jack_client_close");
  const int result = real ? real(client) : -1;
  return lost.load() && !Own(client) ? 0 : result;
}

int jack_port_unregister(jack_client_t* client, jack_port_t* port) {
  static const auto real = Real(&jack_port_unregister, "jack_port_unregister");
  const int result = real ? real(client, port) : -1;
  return lost.load() && !Own(client) ? 0 : result;
}

}  // extern "C"
