// The echo kernel against a slot-by-slot transcription of its definition, on every
// implementation this processor can run: cases with known answers, every sample at every
// weight, and random settings, sizes and block splits compared bit for bit.
#include "echo/echo_kernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "echo/echo_kernel_paths.h"
#include "tests/support/echo_reference.h"

namespace {

using Samples = std::vector<std::int16_t>;
using Kernel = void (*)(std::int16_t*, const std::int16_t*, std::int32_t, std::int32_t,
                        std::int32_t, const EchoSettings&);

// The definition, read literally, for the kernel's arguments.
void Reference(std::int16_t* older, const std::int16_t* newer, std::int32_t slots,
               std::int32_t begin, std::int32_t end, const EchoSettings& s) {
  ReferenceEchoPass(older, newer, slots, s.step, s.delay, s.volume, s.rowEnd, begin, end);
}

Samples Noise(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Samples out(size);
  for (auto& x : out) x = static_cast<std::int16_t>(rng());
  return out;
}

struct Path {
  std::string name;
  Kernel run;
  friend void PrintTo(const Path& path, std::ostream* os) { *os << path.name; }
};

class EchoKernel : public testing::TestWithParam<Path> {
 protected:
  void SetUp() override {
    if (GetParam().name == "avx2" && !echo_kernel::Avx2Available()) GTEST_SKIP();
  }
  // Echoes the whole of `older` in blocks of `block` slots; `newer` must come out untouched.
  Samples Echo(Samples older, const Samples& newer, const EchoSettings& s,
               std::int32_t block = 4096) {
    const Samples before = newer;
    const auto slots = static_cast<std::int32_t>(older.size());
    for (std::int32_t b = 0; b < slots; b += block) {
      GetParam().run(older.data(), newer.data(), slots, b, std::min(b + block, slots), s);
    }
    EXPECT_EQ(newer, before);
    return older;
  }
};

TEST_P(EchoKernel, StepOfHundredAtFullVolumeLeavesBufferAsCaptured) {
  const Samples older = Noise(5001, 7);
  EXPECT_EQ(Echo(older, Noise(5001, 8), {100, 2, 100, 10002}), older);
}

TEST_P(EchoKernel, TapsAddTruncatedProductsAndTheSumIsScaledAndClipped) {
  EXPECT_EQ(Echo(Samples(100, 1000), Samples(100, 5), {33, 0, 100, 200}), Samples(100, 1980));
  // A delay of a whole buffer sends the later taps to an all-zero newer buffer.
  const Samples alone{-1, -150, 150, 1, -32768, 32767, 7, -7};
  EXPECT_EQ(Echo(alone, Samples(8), {33, 8, 100, 16}),
            (Samples{0, -49, 49, 0, -10813, 10813, 2, -2}));
  EXPECT_EQ(Echo(alone, Samples(8), {100, 8, 150, 16}),
            (Samples{-1, -225, 225, 1, -32768, 32767, 10, -10}));
  // Weights 50 and 100: sums of -40000 and 39600.
  EXPECT_EQ(Echo({-16000, 15200}, {-32000, 32000}, {50, 2, 100, 4}), (Samples{-32768, 32767}));
}

TEST_P(EchoKernel, EverySampleTruncatesExactlyAtEveryWeightAndVolume) {
  Samples all(65536);
  for (std::int32_t i = 0; i < 65536; ++i) all[i] = static_cast<std::int16_t>(i - 32768);
  // A delay of the whole buffer with rowEnd at its end leaves only the first tap, weight `step`.
  for (std::int32_t w = 9; w <= 100; ++w) {
    const Samples got = Echo(all, Samples(65536), {w, 65536, 100, 65536});
    for (std::int32_t i = 0; i < 65536; ++i) ASSERT_EQ(got[i], all[i] * w / 100) << w << " " << i;
  }
  for (std::int32_t v : {1, 3, 33, 99, 101, 149, 151, 333, 1001, 4999, 5000}) {
    const Samples got = Echo(all, Samples(65536), {100, 65536, v, 65536});
    for (std::int32_t i = 0; i < 65536; ++i) {
      ASSERT_EQ(got[i], std::clamp(all[i] * v / 100, -32768, 32767)) << v << " " << i;
    }
  }
}

TEST_P(EchoKernel, ImpulsesLandOneDelayApartWithWeightsNineToNinetyNine) {
  const std::int32_t S = 2000;
  Samples older(S), newer(S), want(S);
  older[1500] = 1234;   // reached by all eleven taps
  newer[350] = -10000;  // row position 2350: taps 4 and up reach back into the older buffer
  for (std::int32_t g = 0; g <= 10; ++g) {
    want[1500 - 100 * g] = static_cast<std::int16_t>(1234 * 9 * (g + 1) / 100);
    if (g >= 4) want[2350 - 100 * g] = static_cast<std::int16_t>(-900 * (g + 1));
  }
  EXPECT_EQ(Echo(older, newer, {9, 100, 100, 2 * S}, 96), want);
  // The last slot takes every tap after the first from the newer buffer: tap g reads
  // newer[2g-1] = 200g at weight 9(g+1), giving 18g(g+1), plus 1000 at weight 9.
  older.assign(S, 0);
  older.back() = 1000;
  for (std::int32_t k = 0; k < 20; ++k) newer[k] = static_cast<std::int16_t>(100 * (k + 1));
  EXPECT_EQ(Echo(older, newer, {9, 2, 100, 2 * S}).back(), 90 + 18 * 440);
}

TEST_P(EchoKernel, RowEndCutsTapsThatFallBeyondIt) {
  const std::int32_t S = 1000;
  const Samples flat(S, 100);
  const Samples far = Echo(flat, flat, {33, 800, 100, 2 * S});  // third tap live up to slot 399
  EXPECT_EQ(std::vector<int>(far.begin() + 398, far.begin() + 402),
            (std::vector{198, 198, 99, 99}));
  const Samples cut = Echo(flat, flat, {33, 2, 100, S - 10});
  EXPECT_EQ(std::vector<int>(cut.end() - 16, cut.end() - 10),
            (std::vector{198, 198, 99, 99, 33, 33}));
  EXPECT_EQ(Echo(flat, flat, {33, 2, 100, 0}), Samples(S, 33));
}

TEST_P(EchoKernel, RandomSettingsSizesAndBlocksMatchTheDefinitionBitForBit) {
  std::mt19937 rng(2024);
  auto pick = [&](std::int32_t lo, std::int32_t hi) {
    return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng);
  };
  for (int round = 0; round < 400; ++round) {
    const std::int32_t S = round == 0 ? 176400 : pick(1, 3000);
    const std::int32_t loud = pick(0, 2);  // some rounds pile up toward the clip
    Samples older(S), newer(S);
    for (auto* buffer : {&older, &newer}) {
      for (auto& x : *buffer) {
        x = static_cast<std::int16_t>(
            loud == 0 ? pick(-32768, 32767) : (pick(0, 1) ? 1 : -1) * loud * pick(10000, 16383));
      }
    }
    EchoSettings s{pick(9, 100), pick(0, S / 2) * 2, pick(0, 1) ? 100 : pick(1, 5000), 2 * S};
    if (round % 5 == 1) s.delay = pick(0, S);  // odd delays must work as well
    if (round % 6 == 3) s.delay = pick(0, std::max(1, S / 40));
    if (round % 4 == 2) s.rowEnd = pick(0, 2 * S);
    const std::int32_t begin = pick(0, S), end = pick(begin, S), block = pick(1, 700);
    Samples got = older, want = older;
    for (std::int32_t b = begin; b < end; b += block) {
      GetParam().run(got.data(), newer.data(), S, b, std::min(b + block, end), s);
    }
    Reference(want.data(), newer.data(), S, begin, end, s);
    ASSERT_EQ(got, want) << "round " << round << " S " << S << " step " << s.step << " delay "
                         << s.delay << " volume " << s.volume << " rowEnd " << s.rowEnd;
  }
}

TEST_P(EchoKernel, OutOfRangeSettingsActAsTheNearestInRangeOnes) {
  const std::int32_t S = 301;
  const Samples older = Noise(S, 3), newer = Noise(S, 4);
  const EchoSettings given[][2] = {
      {{0, -6, 0, INT_MAX}, {9, 0, 1, 2 * S}},
      {{INT_MIN, 200, 100, INT_MAX}, {9, 200, 100, 2 * S}},
      {{INT_MAX, INT_MAX, INT_MAX, 2 * S}, {100, 2 * S, 5000, 2 * S}},
      {{20, INT_MIN, INT_MIN, INT_MIN}, {20, 0, 1, 0}},
  };
  for (const auto& [settings, meant] : given) {
    Samples got = older, want = older;
    GetParam().run(got.data(), newer.data(), S, -50, S + 50, settings);
    Reference(want.data(), newer.data(), S, 0, S, meant);
    EXPECT_EQ(got, want) << settings.step << " " << settings.delay << " " << settings.volume;
  }
  Samples untouched = older;
  GetParam().run(untouched.data(), newer.data(), S, 200, 100, {9, 2, 100, 2 * S});
  GetParam().run(untouched.data(), newer.data(), 0, 0, S, {9, 2, 100, 2 * S});
  GetParam().run(nullptr, nullptr, -5, 0, S, {9, 2, 100, 2 * S});
  EXPECT_EQ(untouched, older);
}

INSTANTIATE_TEST_SUITE_P(Paths, EchoKernel,
                         testing::Values(Path{"dispatch", EchoBlock},
                                         Path{"portable", echo_kernel::EchoBlockPortable},
                                         Path{"avx2", echo_kernel::EchoBlockAvx2}),
                         [](const testing::TestParamInfo<Path>& info) { return info.param.name; });

TEST(EchoKernelName, NamesTheImplementationThisProcessorRuns) {
  EXPECT_STREQ(EchoKernelName(), echo_kernel::Avx2Available() ? "avx2" : "portable");
}

}  // namespace
