// A sound file as what a capture device of the virtual sound card hears: read a block at a
// time as the card asks for it, converted to the card's rate by libsoxr when the file has
// another, then silence. Memory stays the same however long the file is. The sound ends
// where the file's data really ends, whatever its header claims.
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
  // Plays `reader` at `rate`, which the card must then read it at. Reads the file's first
  // block at once, so that HoldsSound() can be asked before the card runs. Throws
  // SoundFileError when libsoxr cannot convert between the two rates, or the first read
  // fails.
  FileSource(std::unique_ptr<SoundFileReader> reader, std::int32_t rate);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Called on the thread that steps the card, or the card's clock thread.
  void Read(std::int16_t* slots, std::size_t frames, std::int32_t rate) override;

  // Whether the file has at least one frame of sound; ask before the card reads.
  bool HoldsSound() const { return held_ > 0; }
  // The file's length at the card's rate, as its header gives it and its size allows;
  // none for a stream. Damaged data can still end the sound before it.
  std::optional<std::uint64_t> DeclaredFrames() const { return declaredFrames_; }
  // The length the header claims, which a file cut short does not reach.
  std::optional<std::uint64_t> AnnouncedFrames() const { return announcedFrames_; }
  // Whether the whole file has been heard, and how many frames of it (at the card's rate)
  // came before the silence. May be called from any thread.
  bool Ended() const { return ended_; }
  std::uint64_t HeardFrames() const { return heardFrames_; }
  // Why the sound ended before the end of the file (damaged or cut-off data, a read
  // error), in plain words; empty otherwise. Read it once the card has stopped.
  const std::string& BrokenOff() const { return brokenOff_; }

 private:
  // Frames read from the file at a time: 64 KiB of 16-bit stereo.
  static constexpr std::size_t kBlockFrames = 16384;

  template <typename Sample>
  std::size_t Convert(const Sample* in, std::size_t frames, std::int16_t* out, std::size_t room,
                      std::size_t& used);
  std::size_t ReadFile(std::int16_t* slots, std::size_t frames);
  std::size_t ReadStraight(std::int16_t* slots, std::size_t frames);
  std::size_t ReadConverted(std::int16_t* slots, std::size_t frames);
  // The next block of the file, at most `frames`, into the block buffer; false at its end.
  bool Refill(std::size_t frames = kBlockFrames);

  std::unique_ptr<SoundFileReader> reader_;
  const std::int32_t rate_;
  std::optional<std::uint64_t> declaredFrames_;
  std::optional<std::uint64_t> announcedFrames_;
  soxr* converter_ = nullptr;
  // The block read ahead of what the card has taken: 16-bit samples go to libsoxr (or the
  // card) as they are, others as floating point, keeping 24-bit and float files' resolution
  // until the one rounding to 16 bits.
  std::vector<std::int16_t> block16_;
  std::vector<float> blockFloat_;
  std::size_t blockAt_ = 0;  // frames of the block already used
  std::size_t held_ = 0;     // frames in the block
  bool heldEnd_ = false;     // the file has nothing after the block
  std::atomic<bool> ended_{false};
  std::atomic<std::uint64_t> heardFrames_{0};
  std::string brokenOff_;
};
