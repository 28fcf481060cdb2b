// A short spin before a thread blocks. Handing work back and forth between two threads for
// a few microseconds costs less spun than slept: waking a sleeping core costs tens of
// microseconds on a virtual machine, and a render makes hundreds of such handoffs. Used
// only in waits whose other side normally answers at once.
#pragma once

#include <chrono>

// Returns true as soon as `ready()` holds, false once `limit` has passed without it.
template <typename Ready>
bool SpinUntil(Ready ready, std::chrono::microseconds limit = std::chrono::microseconds(50)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (unsigned i = 1;; ++i) {
    if (ready()) return true;
    if (i % 64 == 0 && std::chrono::steady_clock::now() > end) return false;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
}
