// RIFF/WAVE files of 16-bit stereo PCM: read whole or a block at a time by the virtual
// sound card's file sources, written block by block by the renderer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

// Sample rates outside this range are refused by both reader and writer, as no sound
// device runs at them and a value outside it almost always means a corrupt header.
constexpr std::int32_t kWavMinRate = 1000;
constexpr std::int32_t kWavMaxRate = 768000;

// A whole file of audio: interleaved stereo slots, left then right.
struct WavAudio {
  std::int32_t rate = 0;
  std::vector<std::int16_t> slots;
};

// A file that cannot be read or written. what() is one line that names the file and says
// what is wrong in words a user can act on, e.g.
//   "song.wav: 8-bit samples are not supported; use 16-bit stereo PCM".
class WavError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a 16-bit stereo PCM file (plain PCM or WAVE_FORMAT_EXTENSIBLE with the PCM
// sub-format). Unknown chunks (LIST and the like) are skipped, odd-sized chunks are taken
// with their pad byte, and a trailing half frame in the data is dropped. Throws WavError
// for a missing or unreadable file, anything that is not RIFF/WAVE, a missing fmt or data
// chunk, any other sample format, width or channel count, a rate outside
// [kWavMinRate, kWavMaxRate], or a file cut short.
WavAudio ReadWavFile(const std::string& path);

// Reads a 16-bit stereo PCM file a block at a time, for inputs too long to hold whole.
// Opening checks everything ReadWavFile does, the data chunk's full length included.
class WavReader {
 public:
  // Throws WavError as ReadWavFile does.
  explicit WavReader(const std::string& path);
  ~WavReader();
  WavReader(const WavReader&) = delete;
  WavReader& operator=(const WavReader&) = delete;

  std::int32_t rate() const { return rate_; }
  std::uint64_t frames() const { return frames_; }
  // Reads the next frames, at most `frames` of them, into `slots`; returns how many were
  // read, 0 at the end. Throws WavError on a read error or a file cut short meanwhile.
  std::size_t read(std::int16_t* slots, std::size_t frames);

 private:
  [[noreturn]] void fail(const std::string& problem) const;
  void open();
  // Reads exactly n bytes at offset, or fails as truncated / unreadable.
  void readAt(std::uint64_t offset, void* buffer, std::size_t n, const std::string& what);
  // Validates the fmt chunk at `offset`; returns the sample rate.
  std::uint32_t checkFormat(std::uint64_t offset, std::uint32_t size);

  std::string path_;
  std::FILE* file_ = nullptr;
  std::uint64_t fileSize_ = 0;
  std::int32_t rate_ = 0;
  std::uint64_t frames_ = 0;
  std::uint64_t framesRead_ = 0;
};

// Writes a 16-bit stereo PCM file. The audio goes to a temporary file in the same folder,
// which finish() renames over `path`: until then an existing file at `path` is untouched,
// and a writer destroyed without finish() deletes its temporary file, so a failed or
// abandoned render leaves nothing behind. Not copyable or movable; one thread at a time.
class WavWriter {
 public:
  // Throws WavError if the rate is out of range or the file cannot be created.
  WavWriter(const std::string& path, std::int32_t rate);
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Appends `count` interleaved slots; count must be even (whole frames), else
  // std::invalid_argument. Throws WavError on a write error or when the file would pass
  // the 4 GiB limit of the format; the writer is then unusable and finish() throws too.
  void append(const std::int16_t* slots, std::size_t count);

  // Completes the header, flushes the file to disk and moves it to `path`. Throws WavError
  // on any I/O error (disk full), in which case nothing is left at the temporary name and
  // `path` is untouched. Throws std::logic_error if called twice.
  void finish();

  // Frames appended so far.
  std::uint64_t frames() const { return dataBytes_ / 4; }

 private:
  void fail(const std::string& problem);
  void discard();

  std::string path_;
  std::string tempPath_;
  std::FILE* file_ = nullptr;
  std::uint64_t dataBytes_ = 0;
  bool failed_ = false;
  bool finished_ = false;
};
