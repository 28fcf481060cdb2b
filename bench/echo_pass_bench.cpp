// Time of one echo pass over a whole buffer, fed to the kernel in blocks of 4096 slots as the
// echo thread does. Each case runs the kernel EchoBlock picks on this machine, the portable
// kernel, and a plain slot-by-slot loop written from the definition for comparison.
//
// The buffer is echoed in place again on every iteration, so its contents drift from pass
// to pass; none of the kernels' timing depends on the sample values.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "echo/echo_kernel.h"
#include "echo/echo_kernel_paths.h"

namespace {

using BlockFn = void (*)(std::int16_t*, const std::int16_t*, std::int32_t, std::int32_t,
                         std::int32_t, const EchoSettings&);

struct PassCase {
  std::int32_t slots;
  EchoSettings settings;
};

// Default settings: a 352800-byte buffer, step 33 (three taps), delay 7056.
const PassCase kDefault{176400, {33, 7056, 100, 2 * 176400}};

// Heaviest load: the largest buffer, step 9 (eleven taps) and the largest even delay with
// 11 * delay <= slots, 2 * ((220500 / 11) / 2) = 20044, so every tap of every slot is live.
const PassCase kWorst{220500, {9, 2 * ((220500 / 11) / 2), 100, 2 * 220500}};

// The same at volume 150: volume 100 skips the volume step, any other volume pays for it.
const PassCase kDefaultLouder{176400, {33, 7056, 150, 2 * 176400}};
const PassCase kWorstLouder{220500, {9, 2 * ((220500 / 11) / 2), 150, 2 * 220500}};

// Slot by slot, exactly as the definition reads.
void ScalarBlock(std::int16_t* older, const std::int16_t* newer, std::int32_t slots,
                 std::int32_t begin, std::int32_t end, const EchoSettings& s) {
  for (std::int32_t i = begin; i < end; ++i) {
    std::int32_t w = s.step, g = 0, sum = 0, e = i;
    for (;;) {
      const std::int32_t x = e < slots ? older[e] : newer[e - slots];
      sum += x * w / 100;
      w += s.step;
      g += 1;
      e = i + g * s.delay;
      if (w > 100 || e > s.rowEnd - 1) break;
    }
    older[i] = static_cast<std::int16_t>(std::clamp(sum * s.volume / 100, -32768, 32767));
  }
}

void EchoPass(benchmark::State& state, BlockFn block, const PassCase& c) {
  std::vector<std::int16_t> older(static_cast<std::size_t>(c.slots));
  std::vector<std::int16_t> newer(older.size());
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  for (auto& x : older) x = static_cast<std::int16_t>(sample(rng));
  for (auto& x : newer) x = static_cast<std::int16_t>(sample(rng));
  constexpr std::int32_t kBlock = 4096;
  for (auto _ : state) {
    for (std::int32_t b = 0; b < c.slots; b += kBlock) {
      block(older.data(), newer.data(), c.slots, b, std::min(b + kBlock, c.slots), c.settings);
    }
    benchmark::DoNotOptimize(older.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * c.slots);
}

void Optimised(benchmark::State& state, const PassCase& c) {
  state.SetLabel(EchoKernelName());
  EchoPass(state, EchoBlock, c);
}
void Portable(benchmark::State& state, const PassCase& c) {
  EchoPass(state, echo_kernel::EchoBlockPortable, c);
}
void Scalar(benchmark::State& state, const PassCase& c) {
  EchoPass(state, ScalarBlock, c);
}

BENCHMARK_CAPTURE(Optimised, default_3_taps, kDefault)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Portable, default_3_taps, kDefault)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Scalar, default_3_taps, kDefault)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Optimised, worst_11_taps, kWorst)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Portable, worst_11_taps, kWorst)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Scalar, worst_11_taps, kWorst)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Optimised, default_3_taps_volume_150, kDefaultLouder)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Portable, default_3_taps_volume_150, kDefaultLouder)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Scalar, default_3_taps_volume_150, kDefaultLouder)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Optimised, worst_11_taps_volume_150, kWorstLouder)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Portable, worst_11_taps_volume_150, kWorstLouder)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Scalar, worst_11_taps_volume_150, kWorstLouder)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
