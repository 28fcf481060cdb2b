// The arithmetic of the echo: one block of output slots of a pass, with no threads and no
// shared state. The echo thread (echo_process.cpp) reads the live settings and the buffer
// indices once per block and hands them here.
//
// Definition, for every output slot i of the older buffer. The row is the older buffer
// (slots 0 .. slots-1) followed by the newer one (slots .. 2*slots-1):
//   w = step, g = 0, e = i, sum = 0
//   loop: sum += row[e] * w / 100            (32-bit, truncating toward zero)
//         w += step; g += 1; e = i + g*delay
//         stop when w > 100 or e > rowEnd - 1
//   out = sum * volume / 100, clipped to [-32768, 32767], stored in older[i].
// Taps of slot i lie at i or later, so writing slot i after reading its taps never
// disturbs a tap still to be read.
#pragma once

#include <cstdint>

struct EchoSettings {
  std::int32_t step;    // weight increment per tap, percent; 9..100 in use
  std::int32_t delay;   // tap spacing in 16-bit slots; even, 0..slots in use
  std::int32_t volume;  // output gain, percent; 1..5000 in use
  std::int32_t rowEnd;  // first row position that is never tapped (BufferSize)
};

// Rewrites slots [begin, end) of `older` in place, reading ahead into `newer`.
// `slots` is the length of each buffer in 16-bit slots. Settings outside the ranges in use
// are brought into them, and rowEnd is capped at 2*slots, so no call reads or writes
// outside the two buffers. Allocates nothing; safe to call from any thread.
void EchoBlock(std::int16_t* older, const std::int16_t* newer, std::int32_t slots,
               std::int32_t begin, std::int32_t end, const EchoSettings& settings);

// Which implementation EchoBlock runs on this processor ("avx2" or "portable"). Both give
// bit-identical results; echo_kernel_paths.h exposes each for tests and benchmarks.
const char* EchoKernelName();
