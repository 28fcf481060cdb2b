// Global memory blocks over malloc, with a table of live handles so that bad handles are
// recognised instead of dereferenced, and the memory status read from /proc.
#include "platform/memory/global_memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <optional>

#include "platform/handle_table.h"
#include "platform/memory/global_memory_faults.h"

namespace {

struct Block {
  void* address;
  UINT lockCount;
};

// Handles are odd numbers with a tag in the high bits: never a malloc address (those are
// aligned), never a canonical user-space pointer on 64-bit hosts, so a caller who
// dereferences one by mistake faults at once instead of scribbling on someone's block.
constexpr std::uintptr_t kHandleTag =
    sizeof(std::uintptr_t) >= 8 ? static_cast<std::uintptr_t>(0xEC00'0000'0000'0000ULL) : 0;

using BlockTable = HandleTable<Block>;

// Never destroyed, so blocks may still be freed from other static destructors at exit.
BlockTable& Blocks() {
  static BlockTable* const table =
      new BlockTable([](BlockTable::Number id) { return kHandleTag | (id << 1) | 1U; });
  return *table;
}

BlockTable::Number Number(HGLOBAL handle) {
  return reinterpret_cast<BlockTable::Number>(handle);
}

// The fault plans installed by tests, newest first.
struct FaultPlans {
  std::mutex mutex;
  ScopedGlobalAllocFaults* newest = nullptr;
};

FaultPlans& Plans() {
  static FaultPlans* const plans = new FaultPlans;
  return *plans;
}

}  // namespace

struct GlobalAllocFaultAccess {
  // Counts one GlobalAlloc call; true when that call is to fail.
  static bool nextCallFails() {
    FaultPlans& plans = Plans();
    std::lock_guard lock(plans.mutex);
    ScopedGlobalAllocFaults* faults = plans.newest;
    if (faults == nullptr) return false;
    const int number = faults->calls_++;
    return std::find(faults->failing_.begin(), faults->failing_.end(), number) !=
           faults->failing_.end();
  }

  static void install(ScopedGlobalAllocFaults* faults) {
    FaultPlans& plans = Plans();
    std::lock_guard lock(plans.mutex);
    faults->previous_ = plans.newest;
    plans.newest = faults;
  }

  static void remove(ScopedGlobalAllocFaults* faults) {
    FaultPlans& plans = Plans();
    std::lock_guard lock(plans.mutex);
    // Out-of-order destruction would otherwise leave a dangling pointer installed.
    for (ScopedGlobalAllocFaults** link = &plans.newest; *link != nullptr;
         link = &(*link)->previous_) {
      if (*link == faults) {
        *link = faults->previous_;
        break;
      }
    }
  }

  static int calls(const ScopedGlobalAllocFaults* faults) {
    std::lock_guard lock(Plans().mutex);
    return faults->calls_;
  }
};

ScopedGlobalAllocFaults::ScopedGlobalAllocFaults(std::vector<int> failingCalls)
    : failing_(std::move(failingCalls)) {
  GlobalAllocFaultAccess::install(this);
}

ScopedGlobalAllocFaults::~ScopedGlobalAllocFaults() {
  GlobalAllocFaultAccess::remove(this);
}

int ScopedGlobalAllocFaults::calls() const {
  return GlobalAllocFaultAccess::calls(this);
}

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  if (GlobalAllocFaultAccess::nextCallFails()) return nullptr;
  // Refused here rather than by malloc: no object may exceed PTRDIFF_MAX, and sanitizer
  // allocators abort on such requests instead of returning null.
  if (dwBytes > static_cast<SIZE_T>(std::numeric_limits<std::ptrdiff_t>::max())) return nullptr;
  // A zero-byte block still gets a unique address so that GlobalLock can succeed on it.
  const SIZE_T bytes = std::max<SIZE_T>(dwBytes, 1);
  void* address = (uFlags & GMEM_ZEROINIT) != 0 ? std::calloc(bytes, 1) : std::malloc(bytes);
  if (address == nullptr) return nullptr;
  try {
    return reinterpret_cast<HGLOBAL>(Blocks().Add(Block{address, 0}));
  } catch (const std::bad_alloc&) {
    std::free(address);
    return nullptr;
  }
}

LPVOID GlobalLock(HGLOBAL hMem) {
  LPVOID address = nullptr;
  Blocks().With(Number(hMem), [&](Block& block) {
    if (block.lockCount < std::numeric_limits<UINT>::max()) ++block.lockCount;
    address = block.address;
  });
  return address;
}

BOOL GlobalUnlock(HGLOBAL hMem) {
  BOOL stillLocked = FALSE;
  Blocks().With(Number(hMem), [&](Block& block) {
    if (block.lockCount == 0) return;
    --block.lockCount;
    stillLocked = block.lockCount > 0 ? TRUE : FALSE;
  });
  return stillLocked;
}

SIZE_T GlobalLiveBlocks() {
  return Blocks().Size();
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
  const std::optional<Block> block = Blocks().Take(Number(hMem));
  if (!block) return hMem;
  std::free(block->address);
  return nullptr;
}

namespace {

constexpr std::uint64_t kKiB = 1024;

// The x86-64 user address space: 2^47 bytes less the top page, which the kernel never maps
// so that no user object ends at the edge of the non-canonical hole.
constexpr std::uint64_t kUserAddressSpace = (std::uint64_t{1} << 47) - 4096;

// Reads "Name:   <number> kB" lines of a /proc file; fields not present keep their value.
// Returns false when the file cannot be read.
template <std::size_t N>
bool readProcFields(const char* path, const char* const (&names)[N], std::uint64_t (&kib)[N],
                    bool (&found)[N]) {
  std::FILE* file = std::fopen(path, "re");
  if (file == nullptr) return false;
  char line[256];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    for (std::size_t i = 0; i < N; ++i) {
      const std::size_t length = std::strlen(names[i]);
      if (std::strncmp(line, names[i], length) != 0 || line[length] != ':') continue;
      char* end = nullptr;
      const unsigned long long value = std::strtoull(line + length + 1, &end, 10);
      if (end != line + length + 1) {
        kib[i] = value;
        found[i] = true;
      }
    }
  }
  std::fclose(file);
  return true;
}

SIZE_T toSize(std::uint64_t bytes) {
  return static_cast<SIZE_T>(std::min<std::uint64_t>(bytes, std::numeric_limits<SIZE_T>::max()));
}

}  // namespace

void GlobalMemoryStatus(MEMORYSTATUS* lpBuffer) {
  if (lpBuffer == nullptr) return;

  enum { kTotal, kAvailable, kFree, kBuffers, kCached, kSwapTotal, kSwapFree, kFields };
  const char* const names[kFields] = {"MemTotal", "MemAvailable", "MemFree", "Buffers",
                                      "Cached",   "SwapTotal",    "SwapFree"};
  std::uint64_t kib[kFields] = {};
  bool found[kFields] = {};

  std::uint64_t totalPhys = 0;
  std::uint64_t availPhys = 0;
  if (readProcFields("/proc/meminfo", names, kib, found) && found[kTotal]) {
    totalPhys = kib[kTotal] * kKiB;
    // Kernels before 3.14 have no MemAvailable; free plus reclaimable cache is its estimate.
    availPhys = found[kAvailable] ? kib[kAvailable] * kKiB
                                  : (kib[kFree] + kib[kBuffers] + kib[kCached]) * kKiB;
  } else {
    const long pageSize = sysconf(_SC_PAGESIZE);
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long freePages = sysconf(_SC_AVPHYS_PAGES);
    if (pageSize > 0 && pages > 0) totalPhys = std::uint64_t(pages) * std::uint64_t(pageSize);
    if (pageSize > 0 && freePages > 0) {
      availPhys = std::uint64_t(freePages) * std::uint64_t(pageSize);
    }
  }
  availPhys = std::min(availPhys, totalPhys);

  std::uint64_t totalVirtual = kUserAddressSpace;
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    totalVirtual = std::min<std::uint64_t>(totalVirtual, limit.rlim_cur);
  }
  const char* const statusNames[1] = {"VmSize"};
  std::uint64_t vmKib[1] = {};
  bool vmFound[1] = {};
  readProcFields("/proc/self/status", statusNames, vmKib, vmFound);
  const std::uint64_t used = vmKib[0] * kKiB;

  lpBuffer->dwLength = sizeof(MEMORYSTATUS);
  lpBuffer->dwMemoryLoad =
      totalPhys == 0
          ? 0
          : static_cast<DWORD>(((totalPhys - availPhys) * 100 + totalPhys / 2) / totalPhys);
  lpBuffer->dwTotalPhys = toSize(totalPhys);
  lpBuffer->dwAvailPhys = toSize(availPhys);
  lpBuffer->dwTotalPageFile = toSize(totalPhys + kib[kSwapTotal] * kKiB);
  lpBuffer->dwAvailPageFile = toSize(availPhys + std::min(kib[kSwapFree], kib[kSwapTotal]) * kKiB);
  lpBuffer->dwTotalVirtual = toSize(totalVirtual);
  lpBuffer->dwAvailVirtual = toSize(totalVirtual > used ? totalVirtual - used : 0);
}
