// Global memory blocks: contents, locking, handle validation, injected faults and the memory
// status report.
#include "platform/memory/global_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include "platform/memory/global_memory_faults.h"

namespace {

constexpr SIZE_T kBlockBytes = 1 << 20;

TEST(GlobalMemory, ZeroInitBlocksAreZeroEvenWhenMemoryIsReused) {
  // Dirty a block first so that a reused allocation would show through.
  HGLOBAL dirty = GlobalAlloc(GMEM_MOVEABLE, kBlockBytes);
  ASSERT_NE(dirty, nullptr);
  std::memset(GlobalLock(dirty), 0xAB, kBlockBytes);
  ASSERT_EQ(GlobalFree(dirty), nullptr);

  for (UINT flags : {GHND, GPTR}) {
    HGLOBAL block = GlobalAlloc(flags, kBlockBytes);
    const auto* bytes = static_cast<const unsigned char*>(GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(std::all_of(bytes, bytes + kBlockBytes, [](auto b) { return b == 0; }));
    EXPECT_EQ(GlobalFree(block), nullptr);
  }
}

TEST(GlobalMemory, LockGivesOneAddressAndCountsLocks) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 64);
  auto* first = static_cast<char*>(GlobalLock(block));
  ASSERT_NE(first, nullptr);
  EXPECT_NE(static_cast<void*>(first), block) << "handles must not be addresses";
  std::strcpy(first, "kept");
  EXPECT_EQ(GlobalLock(block), first);
  EXPECT_NE(GlobalUnlock(block), FALSE);  // still locked once
  EXPECT_EQ(GlobalUnlock(block), FALSE);  // now unlocked
  EXPECT_EQ(GlobalUnlock(block), FALSE);  // was not locked
  EXPECT_EQ(GlobalLock(block), first);
  EXPECT_STREQ(first, "kept");
  EXPECT_EQ(GlobalFree(block), nullptr);  // freeing a locked block is allowed

  HGLOBAL empty = GlobalAlloc(GPTR, 0);
  EXPECT_NE(GlobalLock(empty), nullptr);
  EXPECT_EQ(GlobalFree(empty), nullptr);
}

TEST(GlobalMemory, BadAndStaleHandlesAreRefusedHarmlessly) {
  HGLOBAL stale = GlobalAlloc(GHND, 16);
  void* address = GlobalLock(stale);
  ASSERT_EQ(GlobalFree(stale), nullptr);

  const auto garbage = reinterpret_cast<HGLOBAL>(0x1235);
  for (HGLOBAL handle : {HGLOBAL{}, stale, address, garbage}) {
    EXPECT_EQ(GlobalLock(handle), nullptr) << handle;
    EXPECT_EQ(GlobalUnlock(handle), FALSE) << handle;
    EXPECT_EQ(GlobalFree(handle), handle) << handle;
  }
  // A freed handle is not handed out again soon, so it stays recognisably stale.
  for (int i = 0; i < 1000; ++i) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, 8);
    EXPECT_NE(block, stale);
    GlobalFree(block);
  }
  EXPECT_EQ(GlobalAlloc(GHND, ~SIZE_T{0}), nullptr);
}

TEST(GlobalMemory, ConcurrentUseGivesDistinctHandles) {
  std::vector<HGLOBAL> kept[2];
  const auto work = [](std::vector<HGLOBAL>& mine) {
    for (int i = 0; i < 2000; ++i) {
      HGLOBAL block = GlobalAlloc(GHND, 32);
      *static_cast<int*>(GlobalLock(block)) = i;
      GlobalUnlock(block);
      mine.push_back(block);
    }
  };
  std::thread first(work, std::ref(kept[0])), second(work, std::ref(kept[1]));
  first.join();
  second.join();
  std::set<HGLOBAL> distinct(kept[0].begin(), kept[0].end());
  distinct.insert(kept[1].begin(), kept[1].end());
  EXPECT_EQ(distinct.size(), 4000U);
  for (auto& mine : kept) {
    for (HGLOBAL block : mine) EXPECT_EQ(GlobalFree(block), nullptr);
  }
}

TEST(GlobalMemory, InjectedFaultsHitExactlyTheNamedCalls) {
  ScopedGlobalAllocFaults faults({1, 3});
  std::vector<bool> failed;
  for (int i = 0; i < 5; ++i) {
    HGLOBAL block = GlobalAlloc(GHND, 8);
    failed.push_back(block == nullptr);
    GlobalFree(block);
  }
  EXPECT_EQ(failed, (std::vector<bool>{false, true, false, true, false}));
  EXPECT_EQ(faults.calls(), 5);

  {
    ScopedGlobalAllocFaults inner({0});
    EXPECT_EQ(GlobalAlloc(GHND, 8), nullptr);
    EXPECT_EQ(inner.calls(), 1);
  }
  EXPECT_EQ(faults.calls(), 5) << "the outer counter pauses while the inner one lives";
  HGLOBAL block = GlobalAlloc(GHND, 8);
  EXPECT_NE(block, nullptr);
  GlobalFree(block);
  EXPECT_EQ(faults.calls(), 6);
}

TEST(GlobalMemory, MemoryStatusIsSaneAndTracksAddressSpace) {
  GlobalMemoryStatus(nullptr);
  MEMORYSTATUS before{};
  GlobalMemoryStatus(&before);
  EXPECT_EQ(before.dwLength, sizeof(MEMORYSTATUS));
  EXPECT_GE(before.dwTotalPhys, before.dwAvailPhys);
  EXPECT_LE(before.dwMemoryLoad, 100U);
  EXPECT_GE(before.dwTotalPageFile, before.dwAvailPageFile);
  EXPECT_GE(before.dwAvailPageFile, before.dwAvailPhys);
  EXPECT_GT(before.dwTotalVirtual, before.dwAvailVirtual);
  EXPECT_GT(before.dwAvailVirtual, 0U);

  // A large block is mapped at once, even if untouched, so the free address space shrinks.
  constexpr SIZE_T kLarge = SIZE_T{256} << 20;
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, kLarge);
  ASSERT_NE(block, nullptr);
  MEMORYSTATUS during{};
  GlobalMemoryStatus(&during);
  GlobalFree(block);
  EXPECT_GE(before.dwAvailVirtual - during.dwAvailVirtual, kLarge - (SIZE_T{16} << 20));
}

}  // namespace
