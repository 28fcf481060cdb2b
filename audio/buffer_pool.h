// The pool of eight buffers that capture fills, the echo thread rewrites and playback plays.
#pragma once

// Allocates eight blocks of BufferSize bytes and sets up their headers. A block that cannot
// be had gets the memo line "GlobalAlloc ERROR!" and is left without memory; its header
// then has no data address, which the devices refuse to prepare, and the echo thread skips
// any pass that would touch it, so the rest of the pool still runs. GUI thread, at power-on.
void AllocateBuffers();

// Releases the eight blocks. GUI thread, at power-off, once both streams are stopped and no
// echo pass runs.
void FreeBuffers();
