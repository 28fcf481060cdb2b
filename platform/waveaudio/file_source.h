// A sound file as what a capture device of the virtual sound card hears: read a block at a
// time as the card asks for it, converted to the card's rate by libsoxr when the file has
// another, then silence. Memory stays the same however long the file is.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/waveaudio/capture_source.h"
#include "platform/waveaudio/sound_file.h"

struct soxr;

class FileSource final : public CaptureSource {
 public:
  // Plays `reader` at `rate`, which the card must then read it at. Throws SoundFileError
  // when libsoxr cannot convert between the two rates.
  FileSource(std::unique_ptr<SoundFileReader> reader, std::int32_t rate);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Called on the thread that steps the card, or the card's clock thread.
  void Read(std::int16_t* slots, std::size_t frames, std::int32_t rate) override;

  // The file's length at the card's rate, as its header declares it; none for a stream.
  std::optional<std::uint64_t> DeclaredFrames() const { return declaredFrames_; }
  // Whether the whole file has been heard, and how many frames of it (at the card's rate)
  // came before the silence. May be called from any thread.
  bool Ended() const { return ended_; }
  std::uint64_t HeardFrames() const { return heardFrames_; }
  // What ended the sound early, when a read failed; empty otherwise. Read it once the card
  // has stopped.
  const std::string& Error() const { return error_; }

 private:
  std::size_t ReadAtFileRate(std::int16_t* slots, std::size_t frames);
  std::size_t ReadConverted(std::int16_t* slots, std::size_t frames);
  // The next block of the file into input_; false at its end.
  bool Refill();

  std::unique_ptr<SoundFileReader> reader_;
  const std::int32_t rate_;
  std::optional<std::uint64_t> declaredFrames_;
  soxr* converter_ = nullptr;
  std::vector<float> input_;  // a block of the file, interleaved stereo
  std::size_t inputAt_ = 0;   // frames of it already converted
  std::size_t inputFrames_ = 0;
  bool fileEnded_ = false;
  std::atomic<bool> ended_{false};
  std::atomic<std::uint64_t> heardFrames_{0};
  std::string error_;
};
