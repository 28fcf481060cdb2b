// The pool of eight buffers that capture fills, the echo thread rewrites and playback plays.
#pragma once

// Allocates eight blocks of BufferSize bytes and sets up their headers. A block that cannot
// be had gets the memo line "GlobalAlloc ERROR!". The streams run the ring through all
// eight buffers, each device holding two of them, so one missing buffer would stall both
// for good: the blocks that were had are then released again and the pool stays empty,
// which BuffersAllocated tells. GUI thread, at power-on.
void AllocateBuffers();

// True from an AllocateBuffers that had all eight blocks until FreeBuffers. GUI thread.
bool BuffersAllocated();

// Releases the blocks and forgets their addresses. GUI thread, at power-off, once both
// streams are stopped and no echo pass runs.
void FreeBuffers();
