// What a capture device of the virtual sound card hears: a stereo signal that it reads on
// demand. Sources are read on the card's clock thread (or the thread stepping it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CaptureSource {
 public:
  virtual ~CaptureSource() = default;
  // Fills `frames` stereo frames (2 * frames slots, left then right) with the next part of
  // the signal, as heard at `rate` frames per second.
  virtual void Read(std::int16_t* slots, std::size_t frames, std::int32_t rate) = 0;
};

// The same sine on both channels.
std::shared_ptr<CaptureSource> MakeSine(double hertz, std::int16_t amplitude);
// The given slots (interleaved stereo) once, then silence; or over and over.
std::shared_ptr<CaptureSource> MakeTestVector(std::vector<std::int16_t> slots, bool loop = false);
