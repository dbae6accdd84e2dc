#pragma once
// Flush-to-zero and denormals-are-zero for the life of the guard, restoring the caller's
// setting afterwards: decaying feedback paths then end in exact zeros and never run at
// the processor's slow denormal speed. Audio-thread safe (two register accesses).
#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define KESTRINE_HAVE_MXCSR 1
#endif

class DenormalGuard {
 public:
  DenormalGuard() {
#ifdef KESTRINE_HAVE_MXCSR
    saved_ = _mm_getcsr();
    if ((saved_ & kFlush) != kFlush) _mm_setcsr(saved_ | kFlush);
#endif
  }
  ~DenormalGuard() {
#ifdef KESTRINE_HAVE_MXCSR
    if ((saved_ & kFlush) != kFlush) _mm_setcsr(saved_);
#endif
  }
  DenormalGuard(const DenormalGuard&) = delete;
  DenormalGuard& operator=(const DenormalGuard&) = delete;

 private:
  static constexpr unsigned kFlush = 0x8040;  // FTZ | DAZ
  unsigned saved_ = 0;
};
