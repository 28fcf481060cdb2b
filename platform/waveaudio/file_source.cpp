#include "platform/waveaudio/file_source.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

FileSource::FileSource(std::unique_ptr<SoundFileReader> reader, std::int32_t rate)
    : reader_(std::move(reader)), rate_(rate) {
  const std::int32_t fileRate = reader_->rate();
  // libsoxr gives the input's length times the ratio, rounded.
  const auto atCardRate = [&](std::optional<std::uint64_t> frames) -> std::optional<std::uint64_t> {
    if (!frames) return std::nullopt;
    return (*frames * static_cast<std::uint64_t>(rate) + fileRate / 2) /
           static_cast<std::uint64_t>(fileRate);
  };
  declaredFrames_ = atCardRate(reader_->frames());
  announcedFrames_ = atCardRate(reader_->announcedFrames());
  if (reader_->sixteenBit()) {
    block16_.resize(2 * kBlockFrames);
  } else {
    blockFloat_.resize(2 * kBlockFrames);
  }
  if (fileRate != rate) {
    // 16-bit samples go in as integers, which libsoxr turns into exactly the floating-point
    // values libsndfile would have given. Undithered: libsoxr seeds its dither afresh for
    // every converter, and a render must come out the same every time it is run.
    soxr_io_spec_t io =
        soxr_io_spec(reader_->sixteenBit() ? SOXR_INT16_I : SOXR_FLOAT32_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    converter_ = soxr_create(fileRate, rate, 2, &error, &io, &quality, nullptr);
    if (error != nullptr) {
      throw SoundFileError(reader_->name() + ": cannot convert " + std::to_string(fileRate) +
                           " Hz to " + std::to_string(rate) + " Hz: " + error);
    }
  }
  // One frame tells whether there is sound; a stream need not fill a whole block first.
  Refill(1);
}

FileSource::~FileSource() {
  if (converter_ != nullptr) soxr_delete(converter_);
}

bool FileSource::Refill(std::size_t frames) {
  blockAt_ = 0;
  held_ = 0;
  if (heldEnd_) return false;
  try {
    held_ = block16_.empty() ? reader_->read(blockFloat_.data(), frames)
                             : reader_->read(block16_.data(), frames);
  } catch (const SoundFileError&) {
    // The sound ends where the data stopped making sense; what came before is kept.
    brokenOff_ = reader_->brokenOff();
  }
  heldEnd_ = held_ == 0;
  return held_ > 0;
}

void FileSource::Read(std::int16_t* slots, std::size_t frames, std::int32_t) {
  std::size_t got = 0;
  if (!ended_) {
    try {
      got = converter_ != nullptr ? ReadConverted(slots, frames) : ReadFile(slots, frames);
    } catch (const SoundFileError& e) {
      brokenOff_ = e.what();
    }
    heardFrames_ += got;
    if (got < frames) ended_ = true;
  }
  std::fill(slots + 2 * got, slots + 2 * frames, std::int16_t{0});
}

std::size_t FileSource::ReadFile(std::int16_t* slots, std::size_t frames) {
  std::size_t got = 0;
  // A stream hands over what it has, which may be less than asked for before its end.
  while (got < frames) {
    if (blockAt_ == held_ && !block16_.empty() && frames - got >= kBlockFrames && !heldEnd_) {
      // Large requests of 16-bit samples go straight to the card, not through the block.
      const std::size_t n = ReadStraight(slots + 2 * got, frames - got);
      if (n == 0) break;
      got += n;
      continue;
    }
    if (blockAt_ == held_ && !Refill()) break;
    const std::size_t n = std::min(frames - got, held_ - blockAt_);
    if (!block16_.empty()) {
      std::memcpy(slots + 2 * got, block16_.data() + 2 * blockAt_, 4 * n);
    } else {
      for (std::size_t i = 0; i < 2 * n; ++i) {
        const float scaled = std::nearbyint(blockFloat_[2 * blockAt_ + i] * 32768.0F);
        slots[2 * got + i] = static_cast<std::int16_t>(std::clamp(scaled, -32768.0F, 32767.0F));
      }
    }
    blockAt_ += n;
    got += n;
  }
  return got;
}

std::size_t FileSource::ReadStraight(std::int16_t* slots, std::size_t frames) {
  try {
    const std::size_t n = reader_->read(slots, frames);
    heldEnd_ = n == 0;
    return n;
  } catch (const SoundFileError&) {
    brokenOff_ = reader_->brokenOff();
    heldEnd_ = true;
    return 0;
  }
}

template <typename Sample>
std::size_t FileSource::Convert(const Sample* in, std::size_t frames, std::int16_t* out,
                                std::size_t room, std::size_t& used) {
  std::size_t made = 0;
  const soxr_error_t error = soxr_process(converter_, in, frames, &used, out, room, &made);
  if (error != nullptr) {
    throw SoundFileError(reader_->name() + ": the rate conversion failed: " + error);
  }
  return made;
}

std::size_t FileSource::ReadConverted(std::int16_t* slots, std::size_t frames) {
  std::size_t got = 0;
  while (got < frames) {
    if (blockAt_ == held_) Refill();
    // No input at all tells libsoxr the file has ended: it then gives out what its filter
    // still holds.
    const bool end = held_ == 0;
    std::size_t used = 0;
    const std::size_t made = block16_.empty()
                                 ? Convert(end ? nullptr : blockFloat_.data() + 2 * blockAt_,
                                           held_ - blockAt_, slots + 2 * got, frames - got, used)
                                 : Convert(end ? nullptr : block16_.data() + 2 * blockAt_,
                                           held_ - blockAt_, slots + 2 * got, frames - got, used);
    blockAt_ += used;
    got += made;
    if (end && made == 0) break;
  }
  return got;
}
