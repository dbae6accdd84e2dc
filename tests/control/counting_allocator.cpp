// The program's allocator and mutex entry points, counting per thread to show a path allocates and locks nothing.
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <new>

thread_local long allocations = 0;
thread_local long lockAttempts = 0;

namespace {

using MutexFn = int (*)(pthread_mutex_t*);
// Looked up without a function-local static, whose guard could itself take a lock.
MutexFn Next(std::atomic<MutexFn>& slot, const char* name) {
  if (!slot.load(std::memory_order_acquire)) slot.store(reinterpret_cast<MutexFn>(dlsym(RTLD_NEXT, name)));
  return slot.load(std::memory_order_acquire);
}
std::atomic<MutexFn> realLock{nullptr}, realTryLock{nullptr};
}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
// The nothrow forms too (the undo history allocates its blocks with them): each new is
// then this file's, as each delete below is.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++allocations;
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

// std::mutex, lock_guard and try_lock all come here.
extern "C" int pthread_mutex_lock(pthread_mutex_t* m) {
  ++lockAttempts;
  return Next(realLock, "pthread_mutex_lock")(m);
}
extern "C" int pthread_mutex_trylock(pthread_mutex_t* m) {
  ++lockAttempts;
  return Next(realTryLock, "pthread_mutex_trylock")(m);
}

