// Test files made and read with libsndfile itself, so that what the program reads and writes
// is checked against the library, not against our own code.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

struct TestSound {
  int rate = 0;
  int channels = 0;
  int format = 0;                   // SF_FORMAT_* of the file read
  std::vector<std::int16_t> slots;  // interleaved
};

// Writes `slots` (interleaved, `channels` a frame) as a file of `format` (SF_FORMAT_*).
inline void WriteTestSound(const std::string& path, int format, int rate, int channels,
                           const std::vector<std::int16_t>& slots) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) throw std::runtime_error(path + ": " + sf_strerror(nullptr));
  const sf_count_t frames = static_cast<sf_count_t>(slots.size()) / channels;
  sf_count_t wrote = 0;
  const int subtype = format & SF_FORMAT_SUBMASK;
  if (subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE) {
    // As other programs write them: full scale at 1.0 (libsndfile would store 16-bit values
    // given to it unscaled).
    std::vector<float> floats(slots.begin(), slots.end());
    for (float& f : floats) f /= 32768.0F;
    wrote = sf_writef_float(file, floats.data(), frames);
  } else {
    wrote = sf_writef_short(file, slots.data(), frames);
  }
  sf_close(file);
  if (wrote != frames) throw std::runtime_error(path + ": short write");
}

inline TestSound ReadTestSound(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) throw std::runtime_error(path + ": " + sf_strerror(nullptr));
  TestSound sound{info.samplerate, info.channels, info.format, {}};
  sound.slots.resize(static_cast<std::size_t>(info.frames * info.channels));
  const sf_count_t got = sf_readf_short(file, sound.slots.data(), info.frames);
  sf_close(file);
  sound.slots.resize(static_cast<std::size_t>(got * info.channels));
  return sound;
}

// A sine of `hertz` on both channels at `rate`, `frames` long, at `amplitude`.
inline std::vector<std::int16_t> StereoTone(double hertz, int rate, std::size_t frames,
                                            double amplitude) {
  std::vector<std::int16_t> slots(2 * frames);
  for (std::size_t i = 0; i < frames; ++i) {
    const double v = amplitude * std::sin(2 * std::numbers::pi * hertz * i / rate);
    slots[2 * i] = slots[2 * i + 1] = static_cast<std::int16_t>(std::lround(v));
  }
  return slots;
}

// Root mean square of slots [from, to).
inline double Rms(const std::vector<std::int16_t>& slots, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += double(slots[i]) * slots[i];
  return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}
