// The global memory calls by their classic names: handle-based blocks for buffers that are
// handed between the engine and the sound devices, and the memory status report shown to
// the user.
//
// Every call may be made from any thread. Blocks never move: the address GlobalLock gives
// stays valid until GlobalFree, whatever the lock count. Handles are opaque tokens that are
// looked up in a table, never dereferenced, so a null, made-up or already freed handle is
// answered with a failure value, never a crash.
#pragma once

#include "platform/wintypes.h"

using HGLOBAL = void*;

// GlobalAlloc flags. GMEM_MOVEABLE is accepted for compatibility; blocks still keep one
// address for their whole life. Other bits are ignored.
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// Allocates a block of dwBytes bytes (a zero-byte request still gets a lockable block).
// With GMEM_ZEROINIT the block is zero-filled; otherwise its contents are unspecified.
// Returns nullptr when the memory cannot be had; never throws.
HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);

// Returns the block's address and adds one to its lock count; nullptr for a bad handle.
LPVOID GlobalLock(HGLOBAL hMem);

// Takes one from the lock count. Returns nonzero while the block is still locked after the
// call, FALSE once it is unlocked, when it was not locked at all, or for a bad handle.
BOOL GlobalUnlock(HGLOBAL hMem);

// Frees the block, locked or not. Returns nullptr on success and hMem itself for a bad
// handle (null, made up or already freed). Freed handles are never handed out again.
HGLOBAL GlobalFree(HGLOBAL hMem);

// How many blocks are allocated and not yet freed: what the program holds at this moment.
SIZE_T GlobalLiveBlocks();

struct MEMORYSTATUS {
  DWORD dwLength;          // set to sizeof(MEMORYSTATUS) by GlobalMemoryStatus
  DWORD dwMemoryLoad;      // percentage of physical memory in use, 0..100
  SIZE_T dwTotalPhys;      // bytes of physical memory
  SIZE_T dwAvailPhys;      // bytes of physical memory available without swapping
  SIZE_T dwTotalPageFile;  // commit limit: physical memory plus swap
  SIZE_T dwAvailPageFile;  // available physical memory plus free swap
  SIZE_T dwTotalVirtual;   // the process's user address space
  SIZE_T dwAvailVirtual;   // the part of it not yet mapped by the process
};

// Fills *lpBuffer from the kernel's memory accounting; does nothing for a null pointer.
// dwTotalVirtual is RLIMIT_AS when that is set, otherwise the x86-64 user address space
// of 2^47 bytes less the top page the kernel keeps unmapped. dwAvailVirtual is that less
// the process's current mapped size (VmSize), and so counts address space reserved by the
// runtime (sanitizer shadow memory, thread stacks) as used.
void GlobalMemoryStatus(MEMORYSTATUS* lpBuffer);
