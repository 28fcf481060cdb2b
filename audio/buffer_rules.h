// How the sample rate and the buffer multiplier size the pool, as plain rules that the
// Setup page and the renderer share.
#pragma once

#include <array>
#include <cstdint>

// The rates of the rate selector, in its order.
constexpr std::array<std::int32_t, 13> kSampleRates = {
    5510, 6620, 8000, 9600, 11025, 16000, 18900, 22050, 27420, 32000, 33075, 37800, 44100};

constexpr std::int32_t kMinMultiplier = 2;
constexpr std::int32_t kMaxMultiplier = 99;
// The largest pool buffer: 2.5 s at 44100 Hz.
constexpr std::int32_t kMaxBufferSize = 441000;

// The Setup page shows a buffer size as seven buffers' worth, not the pool's eight, and its
// maximum likewise: the figures the program has always shown.
constexpr std::int32_t kBuffersInShownSize = 7;
constexpr std::int64_t ShownBufferSize(std::int32_t bufferSize) {
  return std::int64_t{bufferSize} * kBuffersInShownSize;
}
constexpr std::int64_t kMaxShownBufferSize = ShownBufferSize(kMaxBufferSize);  // 3087000

// Bytes per pool buffer: multiplier x rate, rounded up to whole stereo frames.
constexpr std::int32_t BufferSizeFor(std::int32_t multiplier, std::int32_t sampleRate) {
  return (multiplier * sampleRate + 3) & 0x7FFFFFFC;
}

// The largest multiplier not above `multiplier` whose buffer fits in kMaxBufferSize.
constexpr std::int32_t FittingMultiplier(std::int32_t multiplier, std::int32_t sampleRate) {
  while (multiplier > kMinMultiplier && BufferSizeFor(multiplier, sampleRate) > kMaxBufferSize) {
    --multiplier;
  }
  return multiplier;
}

constexpr bool IsSelectableRate(std::int32_t rate) {
  for (std::int32_t r : kSampleRates) {
    if (r == rate) return true;
  }
  return false;
}
