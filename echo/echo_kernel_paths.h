// The two implementations behind EchoBlock, reachable one by one so that the tests can hold
// each to the definition on any processor and the benchmarks can time each. The engine
// calls EchoBlock and never these.
#pragma once

#include <cstdint>

#include "echo/echo_kernel.h"

namespace echo_kernel {

// Plain C++ that the compiler vectorises for the baseline instruction set; runs anywhere.
void EchoBlockPortable(std::int16_t* older, const std::int16_t* newer, std::int32_t slots,
                       std::int32_t begin, std::int32_t end, const EchoSettings& settings);

// AVX2 intrinsics. Call only when Avx2Available() says so.
void EchoBlockAvx2(std::int16_t* older, const std::int16_t* newer, std::int32_t slots,
                   std::int32_t begin, std::int32_t end, const EchoSettings& settings);

// Whether this processor and its operating system run AVX2 code.
bool Avx2Available();

}  // namespace echo_kernel
