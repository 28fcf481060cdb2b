// The echo pass written straight from its definition, slot by slot, each tap read from the
// row as it stands at that moment: what the engine's output is checked against.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// Slots `begin` to before `end` of `older` (all of it when `end` is left out); in-range
// settings only.
inline void ReferenceEchoPass(std::int16_t* older, const std::int16_t* newer, std::int32_t slots,
                              std::int32_t step, std::int32_t delay, std::int32_t volume,
                              std::int32_t rowEnd, std::int32_t begin = 0, std::int32_t end = -1) {
  for (std::int32_t i = begin; i < (end < 0 ? slots : end); ++i) {
    std::int32_t w = step;
    std::int32_t g = 0;
    std::int32_t sum = 0;
    std::int32_t e = i;
    for (;;) {
      const std::int32_t slot = e < slots ? older[e] : newer[e - slots];
      sum += slot * w / 100;
      w += step;
      g += 1;
      e = i + g * delay;
      if (w > 100 || e > rowEnd - 1) break;
    }
    older[i] = static_cast<std::int16_t>(std::clamp(sum * volume / 100, -32768, 32767));
  }
}

// What the engine plays for an input cut into periods of `period` frames, with the fixed
// latency removed: period 0 silent, period 1 rewritten twice (first reading ahead into
// itself), every later period rewritten once from itself and the period after it.
inline std::vector<std::int16_t> ReferenceAlignedOutput(const std::vector<std::int16_t>& input,
                                                        std::int32_t period, std::int32_t step,
                                                        std::int32_t delay, std::int32_t volume,
                                                        bool echo = true) {
  const std::int32_t slots = 2 * period;
  const std::size_t periods = (input.size() + slots - 1) / slots;
  std::vector<std::int16_t> padded(input);
  padded.resize((periods + 1) * slots, 0);
  std::vector<std::int16_t> out(padded.size(), 0);
  for (std::size_t c = 1; c < periods; ++c) {
    std::vector<std::int16_t> older(padded.begin() + c * slots, padded.begin() + (c + 1) * slots);
    const std::vector<std::int16_t> newer(padded.begin() + (c + 1) * slots,
                                          padded.begin() + (c + 2) * slots);
    if (echo) {
      if (c == 1)
        ReferenceEchoPass(older.data(), older.data(), slots, step, delay, volume, 2 * slots);
      ReferenceEchoPass(older.data(), newer.data(), slots, step, delay, volume, 2 * slots);
    }
    std::copy(older.begin(), older.end(), out.begin() + c * slots);
  }
  out.resize(input.size());
  return out;
}
