#include "platform/waveaudio/file_source.h"

#include <soxr.h>

#include <algorithm>

namespace {

// Frames read from the file at a time for conversion: 32 KiB of floating-point stereo.
constexpr std::size_t kBlockFrames = 4096;

}  // namespace

FileSource::FileSource(std::unique_ptr<SoundFileReader> reader, std::int32_t rate)
    : reader_(std::move(reader)), rate_(rate) {
  const std::int32_t fileRate = reader_->rate();
  if (const auto frames = reader_->frames()) {
    // libsoxr gives the input's length times the ratio, rounded.
    declaredFrames_ = (*frames * static_cast<std::uint64_t>(rate) + fileRate / 2) /
                      static_cast<std::uint64_t>(fileRate);
  }
  if (fileRate == rate) return;
  // Floating point in, so that 24-bit and float files keep their resolution until the one
  // rounding to 16 bits. Undithered: libsoxr seeds its dither afresh for every converter,
  // and a render must come out the same every time it is run.
  soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
  io.flags |= SOXR_NO_DITHER;
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  soxr_error_t error = nullptr;
  converter_ = soxr_create(fileRate, rate, 2, &error, &io, &quality, nullptr);
  if (error != nullptr) {
    throw SoundFileError(reader_->name() + ": cannot convert " + std::to_string(fileRate) +
                         " Hz to " + std::to_string(rate) + " Hz: " + error);
  }
  input_.resize(2 * kBlockFrames);
}

FileSource::~FileSource() {
  if (converter_ != nullptr) soxr_delete(converter_);
}

void FileSource::Read(std::int16_t* slots, std::size_t frames, std::int32_t) {
  std::size_t got = 0;
  if (!ended_) {
    try {
      got = converter_ != nullptr ? ReadConverted(slots, frames) : ReadAtFileRate(slots, frames);
    } catch (const SoundFileError& e) {
      error_ = e.what();
    }
    heardFrames_ += got;
    if (got < frames) ended_ = true;
  }
  std::fill(slots + 2 * got, slots + 2 * frames, std::int16_t{0});
}

std::size_t FileSource::ReadAtFileRate(std::int16_t* slots, std::size_t frames) {
  std::size_t got = 0;
  // A stream hands over what it has, which may be less than asked for before its end.
  while (got < frames) {
    const std::size_t n = reader_->read(slots + 2 * got, frames - got);
    if (n == 0) break;
    got += n;
  }
  return got;
}

bool FileSource::Refill() {
  inputAt_ = 0;
  inputFrames_ = reader_->read(input_.data(), kBlockFrames);
  return inputFrames_ > 0;
}

std::size_t FileSource::ReadConverted(std::int16_t* slots, std::size_t frames) {
  std::size_t got = 0;
  while (got < frames) {
    if (inputAt_ == inputFrames_ && !fileEnded_) fileEnded_ = !Refill();
    // No input at all tells libsoxr the file has ended: it then gives out what its filter
    // still holds.
    const float* in = fileEnded_ ? nullptr : input_.data() + 2 * inputAt_;
    std::size_t used = 0;
    std::size_t made = 0;
    const soxr_error_t error = soxr_process(converter_, in, inputFrames_ - inputAt_, &used,
                                            slots + 2 * got, frames - got, &made);
    if (error != nullptr) {
      throw SoundFileError(reader_->name() + ": the rate conversion failed: " + error);
    }
    inputAt_ += used;
    got += made;
    if (fileEnded_ && made == 0) break;
  }
  return got;
}
