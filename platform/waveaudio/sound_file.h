// Sound files: every format libsndfile reads (WAV of any common sample format, RF64, AIFF,
// FLAC, Ogg/Vorbis, Opus...) delivered as the engine's stereo, and the renderer's 16-bit
// stereo written as plain PCM WAV by our own code (RF64 past 4 GiB) or as FLAC by libsndfile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sf_private_tag;

// Rates outside this range are refused on reading: no sound device runs at them, and a
// value outside it almost always means a corrupt header.
constexpr std::int32_t kSoundFileMinRate = 1000;
constexpr std::int32_t kSoundFileMaxRate = 768000;

// A file that cannot be read or written. what() is one line that names the file and says
// what is wrong in words a user can act on, e.g.
//   "song.wav: 6-channel files are not supported; mix them down to stereo first".
class SoundFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a sound file as stereo: a mono file is heard on both channels; more channels are
// refused. Not copyable; one thread at a time.
class SoundFileReader {
 public:
  // Opens the file at `path`. Throws SoundFileError when it is missing, a folder, not a
  // sound file libsndfile knows, has more than two channels or a rate outside
  // [kSoundFileMinRate, kSoundFileMaxRate].
  explicit SoundFileReader(const std::string& path);
  // Reads from `fd`, which it closes when done; `name` stands for it in messages. A pipe or
  // FIFO is read as a stream, in one pass, as far as the format allows it.
  SoundFileReader(int fd, const std::string& name);
  ~SoundFileReader();
  SoundFileReader(const SoundFileReader&) = delete;
  SoundFileReader& operator=(const SoundFileReader&) = delete;

  const std::string& name() const { return name_; }
  std::int32_t rate() const { return rate_; }
  int channels() const { return channels_; }
  // The length the file can hold, as far as libsndfile can tell from the header and the
  // file's size; none for a stream that does not say.
  std::optional<std::uint64_t> frames() const { return frames_; }
  // The length the header itself claims, which is longer than frames() for a file cut
  // short; none for a stream that does not say.
  std::optional<std::uint64_t> announcedFrames() const { return announced_; }
  // Whether the samples are integers of at most 16 bits, which the 16-bit form reads as
  // they are, with no rounding to do.
  bool sixteenBit() const { return sixteenBit_; }

  // Reads the next frames, at most `frames` of them, as interleaved stereo, left then right;
  // returns how many were read, 0 at the end. Full scale is 1.0 in the floating-point
  // form; the 16-bit form clips louder samples. Throws SoundFileError on a read error or
  // damaged data, with what was read before it lost.
  std::size_t read(std::int16_t* slots, std::size_t frames);
  std::size_t read(float* slots, std::size_t frames);
  // Why reading stopped before the end (e.g. "the data is damaged or cut off"); empty
  // while it has not.
  const std::string& brokenOff() const { return brokenOff_; }

 private:
  void open(int fd);
  void close();
  template <typename Sample, typename Read>
  std::size_t readWith(Sample* slots, std::size_t frames, Read readFrames);

  std::string name_;
  sf_private_tag* file_ = nullptr;
  int fd_ = -1;
  std::int32_t rate_ = 0;
  int channels_ = 0;
  std::optional<std::uint64_t> frames_;
  std::optional<std::uint64_t> announced_;
  bool sixteenBit_ = false;
  std::string brokenOff_;      // why reading stopped short, once it has
  std::vector<float> floats_;  // what a 16-bit read of other samples goes through
};

enum class SoundFileContainer { Wav, Flac };

// WAV for any name but one ending in ".flac" (in any case).
SoundFileContainer ContainerForName(const std::string& name);

// The WAV header for `frames` frames of 16-bit stereo at `rate`: plain RIFF (44 bytes,
// format tag 1), or RF64 when the audio passes 4 GiB; for an unknown length, the longest
// plain RIFF file, which readers take as "read to the end".
std::vector<unsigned char> WavStreamHeader(std::int32_t rate, std::optional<std::uint64_t> frames);

// Writes 16-bit stereo to an open descriptor, which it does not close: WAV itself (libsndfile
// marks WAV files as WAVE_FORMAT_EXTENSIBLE, which simple readers refuse), FLAC through
// libsndfile. Not copyable; one thread at a time.
class SoundFileWriter {
 public:
  // `seekable` (a regular file): the header is completed at the end, and a WAV file turns
  // to RF64 then if its audio has passed 4 GiB. Otherwise the file is written as a stream,
  // in one pass: a WAV header first announces `frames` (see WavStreamHeader). Throws
  // SoundFileError when the descriptor or libsndfile refuses.
  SoundFileWriter(int fd, const std::string& name, SoundFileContainer container, std::int32_t rate,
                  bool seekable, std::optional<std::uint64_t> frames);
  ~SoundFileWriter();
  SoundFileWriter(const SoundFileWriter&) = delete;
  SoundFileWriter& operator=(const SoundFileWriter&) = delete;

  // Appends `frames` interleaved stereo frames. Throws SoundFileError on a write error (a
  // full disk, a reader gone); the writer is then unusable.
  void append(const std::int16_t* slots, std::size_t frames);
  // Completes the header and flushes libsndfile's buffers. Throws SoundFileError on error.
  void finish();
  // Whether the WAV written is RF64: announced so at the start, or past 4 GiB at the end.
  bool rf64() const { return rf64_; }

 private:
  [[noreturn]] void fail(const std::string& problem);
  void MakeRoomForRf64();

  std::string name_;
  int fd_;
  std::int32_t rate_;
  bool seekable_;
  sf_private_tag* file_ = nullptr;  // FLAC only
  std::uint64_t dataBytes_ = 0;     // WAV audio written
  bool rf64_ = false;
  bool failed_ = false;
  bool finished_ = false;
};
