// Fault injection for GlobalAlloc, so that tests can drive the out-of-memory paths of the
// code that allocates blocks, one chosen allocation at a time.
#pragma once

#include <vector>

// While an instance lives, the GlobalAlloc calls whose 0-based number, counted from the
// instance's construction across all threads, is listed in failingCalls return nullptr.
// Instances nest: a newer one takes over counting, and the older one resumes (with its
// own count unchanged) once the newer one is destroyed. Create and destroy instances in
// stack order on one thread; GlobalAlloc itself may run on any thread meanwhile.
class ScopedGlobalAllocFaults {
 public:
  explicit ScopedGlobalAllocFaults(std::vector<int> failingCalls);
  ~ScopedGlobalAllocFaults();
  ScopedGlobalAllocFaults(const ScopedGlobalAllocFaults&) = delete;
  ScopedGlobalAllocFaults& operator=(const ScopedGlobalAllocFaults&) = delete;

  // GlobalAlloc calls counted so far, failed or not.
  int calls() const;

 private:
  friend struct GlobalAllocFaultAccess;
  std::vector<int> failing_;
  int calls_ = 0;
  ScopedGlobalAllocFaults* previous_ = nullptr;
};
