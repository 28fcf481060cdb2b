// The engine's shared state: the five settings, the device handles, the buffer pool, the
// ring indices, the histories and the flags. The GUI thread, the devices' service threads
// and the echo thread share every word here, so each is an atomic; none is ever updated
// together with another under a lock, and the order of the writes is what keeps the
// threads apart (streams.cpp).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/memory/global_memory.h"
#include "platform/waveaudio/mmsystem.h"

constexpr int kPoolBuffers = 8;

// Settings, written on the GUI thread; SampleRate and BufferSize only while the processor
// is off.
extern std::atomic<std::int32_t> SampleRate;  // Hz
extern std::atomic<std::int32_t> BufferSize;  // bytes per pool buffer, a multiple of 4
extern std::atomic<std::int32_t> EchoDelay;   // tap spacing in 16-bit slots, even
extern std::atomic<std::int32_t> EchoStep;    // weight increment per tap, percent
extern std::atomic<std::int32_t> EchoVolume;  // output gain, percent

extern std::atomic<HWAVEIN> hWaveIn;
extern std::atomic<HWAVEOUT> hWaveOut;

// The pool. The handles are the GUI thread's alone; the addresses are read by the echo
// thread; the headers are handed to the devices, which change their flags under their own
// locks.
extern HGLOBAL BufferHandle[kPoolBuffers];
extern std::atomic<std::int16_t*> BufferData[kPoolBuffers];
extern WAVEHDR WaveHeader[kPoolBuffers];

// Ring indices: the capture and the playback buffer queued last.
extern std::atomic<std::int32_t> bufinnum;
extern std::atomic<std::int32_t> bufoutnum;
// Capture history: the buffer whose completion comes next, the one completed last and the
// one before it. Playback history: the buffer whose completion comes next.
extern std::atomic<std::int32_t> InLast;
extern std::atomic<std::int32_t> InNewer;
extern std::atomic<std::int32_t> InOlder;
extern std::atomic<std::int32_t> OutLast;

extern std::atomic<bool> InputActive;
extern std::atomic<bool> OutputActive;
extern std::atomic<bool> FirstInBuffer;
extern std::atomic<bool> FirstOutBuffer;
extern std::atomic<bool> BufferReady;

// Wakes the echo thread to look at BufferReady, the "Echo active" tick, its stop request
// and the active flags again. Called after any of them changes; any thread.
void WakeEchoThread();
// The word the echo thread sleeps on; each wake-up changes it.
extern std::atomic<std::uint32_t> EchoWake;

// Echo passes ended since the program started: counted by the echo thread as a pass ends
// (a release), and read by the completion handlers before they hand the next buffer to a
// device (an acquire). A device's copy of a buffer then follows the pass that rewrote it in
// the memory model, as it does in time.
extern std::atomic<std::uint32_t> EchoPassesEnded;
void SeeEndedEchoPasses();
