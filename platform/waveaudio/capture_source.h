// What a capture device of the virtual sound card hears: a stereo signal that it reads on
// demand. Sources are read on the card's clock thread (or the thread stepping it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/waveaudio/wav_file.h"

class CaptureSource {
 public:
  virtual ~CaptureSource() = default;
  // Fills `frames` stereo frames (2 * frames slots, left then right) with the next part of
  // the signal, as heard at `rate` frames per second.
  virtual void Read(std::int16_t* slots, std::size_t frames, std::int32_t rate) = 0;
};

std::shared_ptr<CaptureSource> MakeSilence();
// The same sine on both channels.
std::shared_ptr<CaptureSource> MakeSine(double hertz, std::int16_t amplitude);
// One frame of `amplitude` on both channels every `periodFrames` frames, the first at once.
std::shared_ptr<CaptureSource> MakeImpulseTrain(std::size_t periodFrames, std::int16_t amplitude);
// The file once, then silence. Read at another rate than the file's, it is resampled
// linearly, so that it keeps its pitch and length.
std::shared_ptr<CaptureSource> MakeWavSource(WavAudio audio);
// A file read a block at a time as the card needs it, then silence: for inputs heard at
// their own rate, however long. A read error (the file cut short meanwhile) ends the sound
// early, and Error() says what happened.
class WavStreamSource final : public CaptureSource {
 public:
  explicit WavStreamSource(std::unique_ptr<WavReader> reader) : reader_(std::move(reader)) {}
  void Read(std::int16_t* slots, std::size_t frames, std::int32_t rate) override;
  std::string Error() const;

 private:
  std::unique_ptr<WavReader> reader_;
  std::string error_;
};

// The given slots (interleaved stereo) once, then silence; or over and over.
std::shared_ptr<CaptureSource> MakeTestVector(std::vector<std::int16_t> slots, bool loop = false);
