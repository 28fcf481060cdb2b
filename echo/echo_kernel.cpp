// The echo arithmetic of echo_kernel.h, bit for bit, a block at a time.
//
// Cutting a block into runs. For slot i, tap g >= 1 is live while i + g*delay < rowEnd, and
// it reads the older buffer while i + g*delay < slots and the newer one after that. Both
// thresholds are fixed slots, so a block splits into a handful of runs inside which the
// number of live taps is constant and every tap reads one contiguous stretch of one buffer.
// A run is then a branch-free sum of shifted, weighted copies of the row, which vectorises.
//
// Why float arithmetic gives the exact truncated quotients.
//  * Tap: trunc(x*w/100) == trunc(float(x) * k), k the smallest float >= w/100. As k < 1 its
//    ulp is at most 2^-24, so x*k exceeds x*w/100 in magnitude by under 32768 * 2^-24 < 0.002,
//    and rounding the product to float moves it by under 0.001. A quotient with denominator
//    100 is either whole or at least 0.01 short of the next whole number in magnitude, so the
//    float never crosses a whole number and truncation agrees. The product is also exact in
//    extended precision, so x87 evaluation cannot break this either.
//  * Volume: trunc(sum*volume/100) == trunc(float(sum) * v), v the smallest float >=
//    volume/100, whenever the quotient is below 32768 in magnitude: |sum| <= 32768 * 5.94
//    < 2^24 is exact in float, v is high by a relative 2^-23 at most, so the product is high
//    by under 0.004 plus under 0.002 of rounding. Larger quotients give a float of at least
//    32768 in magnitude, which clips exactly as the true quotient would.
// Both were checked exhaustively (every sample at every weight; every reachable sum at every
// volume); the tests keep the per-tap check.
//
// The sum fits comfortably in 32 bits: at most 11 taps of at most 32768 * 0.99 each.
#include "echo/echo_kernel.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <utility>

#include "echo/echo_kernel_paths.h"
#include "echo/echo_rules.h"

#if defined(__x86_64__) || defined(__i386__)
#define ECHORA_HAVE_X86 1
#include <immintrin.h>
#else
#define ECHORA_HAVE_X86 0
#endif

namespace {

using std::int16_t;
using std::int32_t;
using std::int64_t;

constexpr int32_t kMinStep = 9;
constexpr int32_t kMaxStep = 100;
constexpr int32_t kMinVolume = 1;
constexpr int32_t kMaxTaps = kMaxStep / kMinStep;  // weights 9, 18, ..., 99

// The settings of one call, brought into range, with the float factors worked out.
struct TapWeights {
  int32_t taps;  // taps by weight alone: 100 / step
  int32_t weight[kMaxTaps];
  float factor[kMaxTaps];  // smallest float >= weight / 100
  int32_t volume;
  float gain;  // smallest float >= volume / 100
};

// A run of `count` slots written to out[0 .. count), tap g read from src[g][0 .. count).
// src[0] == out: the kernels read every tap of a group of slots before storing the group.
struct Run {
  const int16_t* src[kMaxTaps];
  int32_t taps;
  int32_t count;
  int16_t* out;
};

using RunKernel = void (*)(const Run&, const TapWeights&);

// Smallest float not below percent / 100. The quotient rounded to nearest is at most one step
// too low, and the product with 100 is exact in double, so one check settles it.
constexpr float RoundUpPercent(int32_t percent) {
  float f = static_cast<float>(percent / 100.0);
  if (static_cast<double>(f) * 100.0 < percent) {
    f = std::bit_cast<float>(std::bit_cast<std::uint32_t>(f) + 1);
  }
  return f;
}

// Worked out at compile time: doing it per call cost more than a whole block of samples.
constexpr auto kPercentFactor = [] {
  std::array<float, kVolumeLimit + 1> table{};
  for (int32_t p = 1; p <= kVolumeLimit; ++p) table[p] = RoundUpPercent(p);
  return table;
}();

int16_t Clip(int32_t v) {
  return static_cast<int16_t>(std::clamp(v, -32768, 32767));
}

// One slot straight from the definition; for the few slots left over at the end of a run.
int16_t ExactSlot(const Run& run, const TapWeights& pass, int32_t j) {
  int32_t sum = 0;
  for (int32_t g = 0; g < run.taps; ++g) sum += run.src[g][j] * pass.weight[g] / 100;
  return Clip(sum * pass.volume / 100);
}

void Drive(int16_t* older, const int16_t* newer, int32_t slots, int32_t begin, int32_t end,
           const EchoSettings& settings, RunKernel kernel) {
  if (slots <= 0) return;
  begin = std::max(begin, 0);
  end = std::min(end, slots);
  if (begin >= end) return;

  TapWeights pass;
  const int32_t step = std::clamp(settings.step, kMinStep, kMaxStep);
  pass.taps = kMaxStep / step;
  for (int32_t g = 0; g < pass.taps; ++g) {
    pass.weight[g] = step * (g + 1);
    pass.factor[g] = kPercentFactor[pass.weight[g]];
  }
  pass.volume = std::clamp(settings.volume, kMinVolume, kVolumeLimit);
  pass.gain = kPercentFactor[pass.volume];

  // A delay beyond the row, or a row end at or before slot 0, leaves only the first tap;
  // clamping them there keeps the arithmetic below in range without changing any result.
  const int64_t rowSlots = 2 * static_cast<int64_t>(slots);
  const int64_t delay = std::clamp<int64_t>(settings.delay, 0, rowSlots);
  const int64_t rowEnd = std::clamp<int64_t>(settings.rowEnd, 0, rowSlots);

  Run run;
  for (int64_t at = begin; at < end;) {
    int64_t next = end;
    run.src[0] = older + at;
    run.taps = 1;
    for (int32_t g = 1; g < pass.taps; ++g) {
      const int64_t shift = g * delay;
      // Live thresholds fall as g grows, so the first dead tap ends the list.
      const int64_t liveBelow = rowEnd - shift;
      if (liveBelow <= at) break;
      next = std::min(next, liveBelow);
      const int64_t olderBelow = slots - shift;
      if (olderBelow > at) {
        next = std::min(next, olderBelow);
        run.src[run.taps++] = older + (at + shift);
      } else {
        run.src[run.taps++] = newer + (at + shift - slots);
      }
    }
    run.count = static_cast<int32_t>(next - at);
    run.out = older + at;
    kernel(run, pass);
    at = next;
  }
}

// Portable kernel: fixed-length loops over a chunk with the sum on the stack, a shape the
// compiler vectorises even under its cheapest cost model.
void RunPortable(const Run& run, const TapWeights& pass) {
  constexpr int32_t kChunk = 64;
  int32_t j = 0;
  for (; j + kChunk <= run.count; j += kChunk) {
    int32_t sum[kChunk];
    {
      const int16_t* src = run.src[0] + j;
      const float factor = pass.factor[0];
      for (int32_t i = 0; i < kChunk; ++i) {
        sum[i] = static_cast<int32_t>(static_cast<float>(src[i]) * factor);
      }
    }
    for (int32_t g = 1; g < run.taps; ++g) {
      const int16_t* src = run.src[g] + j;
      const float factor = pass.factor[g];
      for (int32_t i = 0; i < kChunk; ++i) {
        sum[i] += static_cast<int32_t>(static_cast<float>(src[i]) * factor);
      }
    }
    int16_t* out = run.out + j;
    for (int32_t i = 0; i < kChunk; ++i) {
      out[i] = Clip(static_cast<int32_t>(static_cast<float>(sum[i]) * pass.gain));
    }
  }
  for (; j < run.count; ++j) run.out[j] = ExactSlot(run, pass, j);
}

#if ECHORA_HAVE_X86

#define ECHORA_AVX2 __attribute__((target("avx2")))

// Eight slots of one tap: trunc(x * factor) as 32-bit integers.
ECHORA_AVX2 inline __m256i Avx2Tap(const int16_t* at, __m256 factor) {
  const __m256i x = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
  return _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(x), factor));
}

ECHORA_AVX2 inline __m256i Avx2Volume(__m256i sum, __m256 gain) {
  return _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(sum), gain));
}

// Sixteen slots per step, the taps unrolled and summed in registers. The signed saturating
// pack is the clip to 16 bits. At volume 100 the volume step is the identity and is skipped.
template <int32_t N, bool kUnity>
ECHORA_AVX2 void RunAvx2Taps(const Run& run, const TapWeights& pass) {
  const int16_t* src[N];
  __m256 factor[N];
  for (int32_t g = 0; g < N; ++g) {
    src[g] = run.src[g];
    factor[g] = _mm256_set1_ps(pass.factor[g]);
  }
  const __m256 gain = _mm256_set1_ps(pass.gain);
  // Locals, not run's fields: the vector stores may alias anything, so fields would be
  // reloaded on every step.
  const int32_t count = run.count;
  int16_t* const out = run.out;
  int32_t j = 0;
  for (; j + 16 <= count; j += 16) {
    __m256i lo = Avx2Tap(src[0] + j, factor[0]);
    __m256i hi = Avx2Tap(src[0] + j + 8, factor[0]);
#pragma GCC unroll 16
    for (int32_t g = 1; g < N; ++g) {
      lo = _mm256_add_epi32(lo, Avx2Tap(src[g] + j, factor[g]));
      hi = _mm256_add_epi32(hi, Avx2Tap(src[g] + j + 8, factor[g]));
    }
    if constexpr (!kUnity) {
      lo = Avx2Volume(lo, gain);
      hi = Avx2Volume(hi, gain);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j),
                        _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8));
  }
  // Left dirty, the upper halves slow down the SSE code of the caller: the compiler drops its
  // own vzeroupper on the path that calls the (non-AVX) ExactSlot.
  _mm256_zeroupper();
  for (; j < count; ++j) out[j] = ExactSlot(run, pass, j);
}

// Kernels by tap count, first at volume 100, then at any other volume.
template <bool kUnity, std::size_t... I>
constexpr std::array<RunKernel, kMaxTaps> Avx2Kernels(std::index_sequence<I...>) {
  return {RunAvx2Taps<static_cast<int32_t>(I) + 1, kUnity>...};
}
constexpr std::array<RunKernel, kMaxTaps> kAvx2Kernels[2] = {
    Avx2Kernels<true>(std::make_index_sequence<kMaxTaps>()),
    Avx2Kernels<false>(std::make_index_sequence<kMaxTaps>()),
};

void RunAvx2(const Run& run, const TapWeights& pass) {
  kAvx2Kernels[pass.volume == 100 ? 0 : 1][run.taps - 1](run, pass);
}

bool DetectAvx2() {
  // libgcc's answer already includes the operating system's consent to the YMM state.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

#else

void RunAvx2(const Run& run, const TapWeights& pass) {
  RunPortable(run, pass);
}
bool DetectAvx2() {
  return false;
}

#endif

}  // namespace

namespace echo_kernel {

void EchoBlockPortable(int16_t* older, const int16_t* newer, int32_t slots, int32_t begin,
                       int32_t end, const EchoSettings& settings) {
  Drive(older, newer, slots, begin, end, settings, RunPortable);
}

void EchoBlockAvx2(int16_t* older, const int16_t* newer, int32_t slots, int32_t begin, int32_t end,
                   const EchoSettings& settings) {
  Drive(older, newer, slots, begin, end, settings, RunAvx2);
}

bool Avx2Available() {
  static const bool available = DetectAvx2();
  return available;
}

}  // namespace echo_kernel

void EchoBlock(int16_t* older, const int16_t* newer, int32_t slots, int32_t begin, int32_t end,
               const EchoSettings& settings) {
  if (echo_kernel::Avx2Available()) {
    echo_kernel::EchoBlockAvx2(older, newer, slots, begin, end, settings);
  } else {
    echo_kernel::EchoBlockPortable(older, newer, slots, begin, end, settings);
  }
}

const char* EchoKernelName() {
  return echo_kernel::Avx2Available() ? "avx2" : "portable";
}
