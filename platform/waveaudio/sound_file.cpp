#include "platform/waveaudio/sound_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace {

// The action followed by the system's reason; strerror is not safe to call from several
// threads at once.
std::string problemWith(const char* action, int error) {
  return action + std::generic_category().message(error);
}

// libsndfile's messages are written for its developers ("Internal error : SF_INFO struct
// incomplete", "System error : ..."); a user gets what they mean for the file.
std::string libraryReason(SNDFILE* file) {
  std::string reason = sf_strerror(file);
  while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) reason.pop_back();
  constexpr std::string_view kSystem = "System error : ";
  if (reason.starts_with(kSystem)) {
    reason.erase(0, kSystem.size());
    if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(reason[0]));
    return reason;
  }
  struct Plain {
    std::string_view says;
    const char* means;
  };
  static constexpr Plain kPlain[] = {
      {"lost sync", "the data is damaged or cut off"},
      {"flac decoder", "the data is damaged or cut off"},
      {"unknown format", "its format is not one of the sound file formats known here"},
      {"not recognised", "its format is not one of the sound file formats known here"},
      {"SF_INFO struct incomplete", "its header is incomplete"},
      {"Internal error", "its header or data is damaged"},
      {"malformed", "its header is damaged"},
      {"unexpected end of file", "it is cut off"},
      {"Unsupported encoding", "its sample encoding is not supported"},
  };
  for (const Plain& p : kPlain) {
    if (reason.find(p.says) != std::string::npos) return p.means;
  }
  if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(reason[0]));
  return reason;
}

// Integer samples of at most 16 bits come to a 16-bit read as they are.
bool holdsSixteenBits(int format) {
  const int subtype = format & SF_FORMAT_SUBMASK;
  return subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8;
}

// libsndfile fits a sound chunk that runs past the end of the file to the file, and says
// so only in its log, as "data : 529200 (should be 199956)" (the chunk, or the whole
// container, as claimed and as it fits). The difference is what the file lacks.
std::uint64_t missingBytes(SNDFILE* file) {
  char log[8192] = {};
  sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
  const std::string_view text(log);
  constexpr std::string_view kShould = "(should be ";
  const std::size_t at = text.find(kShould);
  if (at == std::string_view::npos) return 0;
  const std::size_t colon = text.rfind(':', at);
  if (colon == std::string_view::npos) return 0;
  const std::uint64_t claimed = std::strtoull(log + colon + 1, nullptr, 10);
  const std::uint64_t fits = std::strtoull(log + at + kShould.size(), nullptr, 10);
  return claimed > fits ? claimed - fits : 0;
}

// Bytes a frame of the file takes, for the containers whose sizes are in bytes.
std::uint64_t bytesPerFrame(int format, int channels) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
      return static_cast<std::uint64_t>(channels);
    case SF_FORMAT_PCM_16:
      return 2U * static_cast<std::uint64_t>(channels);
    case SF_FORMAT_PCM_24:
      return 3U * static_cast<std::uint64_t>(channels);
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      return 4U * static_cast<std::uint64_t>(channels);
    case SF_FORMAT_DOUBLE:
      return 8U * static_cast<std::uint64_t>(channels);
    default:
      return 0;
  }
}

bool isStream(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}

}  // namespace

SoundFileReader::SoundFileReader(const std::string& path) : name_(path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw SoundFileError(name_ + ": " + problemWith("cannot open the file: ", errno));
  open(fd);
}

SoundFileReader::SoundFileReader(int fd, const std::string& name) : name_(name) {
  open(fd);
}

void SoundFileReader::open(int fd) {
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    throw SoundFileError(name_ + ": it is a folder, not a sound file");
  }
  SF_INFO format{};
  // libsndfile is lent a copy of the descriptor and told to leave it open. Its FLAC reader
  // closes it all the same when it fails on a pipe, so after a failure the copy is closed
  // only if it is still open, and the original, still ours, tells what it was.
  const int lent = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  file_ = lent < 0 ? nullptr : sf_open_fd(lent, SFM_READ, &format, SF_FALSE);
  if (file_ == nullptr) {
    const std::string reason = lent < 0 ? problemWith("", errno) : libraryReason(nullptr);
    if (lent >= 0 && fcntl(lent, F_GETFD) >= 0) ::close(lent);
    const bool stream = isStream(fd);
    ::close(fd);
    if (stream) {
      throw SoundFileError(name_ +
                           ": not a sound file that can be read as it comes through a pipe or "
                           "FIFO; some formats, FLAC among them, need a file, so give it as a "
                           "file");
    }
    throw SoundFileError(name_ + ": not a sound file that can be read (" + reason + ")");
  }
  ::close(fd);
  // sf_close would not close it: keep it with the handle.
  fd_ = lent;
  const auto refuse = [this](const std::string& problem) {
    close();
    throw SoundFileError(name_ + ": " + problem);
  };
  if (format.channels > 2) {
    refuse(std::to_string(format.channels) +
           "-channel files are not supported; mix them down to stereo first");
  }
  if (format.channels < 1) refuse("the file declares no channels");
  if (format.samplerate < kSoundFileMinRate || format.samplerate > kSoundFileMaxRate) {
    refuse("sample rate " + std::to_string(format.samplerate) + " Hz is not supported (must be " +
           std::to_string(kSoundFileMinRate) + " to " + std::to_string(kSoundFileMaxRate) + " Hz)");
  }
  rate_ = format.samplerate;
  channels_ = format.channels;
  // A stream's header may promise anything (streaming writers put the largest length they
  // can); only a file libsndfile can seek in has a length to go by.
  if (format.seekable && format.frames >= 0 && format.frames != SF_COUNT_MAX) {
    frames_ = static_cast<std::uint64_t>(format.frames);
    announced_ = frames_;
    if (const std::uint64_t frameBytes = bytesPerFrame(format.format, format.channels)) {
      *announced_ += missingBytes(file_) / frameBytes;
    }
  }
  sixteenBit_ = holdsSixteenBits(format.format);
}

void SoundFileReader::close() {
  if (file_ != nullptr) sf_close(file_);
  file_ = nullptr;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

SoundFileReader::~SoundFileReader() {
  close();
}

namespace {

// Mono is spread in place from the end: slots 2i and 2i+1 lie at or after sample i, and
// every sample still to be spread lies before i.
template <typename Sample>
void spreadMono(Sample* slots, std::size_t frames) {
  for (std::size_t i = frames; i-- > 0;) slots[2 * i] = slots[2 * i + 1] = slots[i];
}

}  // namespace

template <typename Sample, typename Read>
std::size_t SoundFileReader::readWith(Sample* slots, std::size_t frames, Read readFrames) {
  if (!brokenOff_.empty()) throw SoundFileError(name_ + ": " + brokenOff_);
  const sf_count_t got = readFrames(file_, slots, static_cast<sf_count_t>(frames));
  if (got < 0 || sf_error(file_) != SF_ERR_NO_ERROR) {
    // What was decoded before the damage is still the file's sound; the error comes with
    // the next read.
    brokenOff_ = libraryReason(file_);
    if (got <= 0) throw SoundFileError(name_ + ": " + brokenOff_);
  }
  const auto n = static_cast<std::size_t>(got);
  if (channels_ == 1) spreadMono(slots, n);
  return n;
}

std::size_t SoundFileReader::read(float* slots, std::size_t frames) {
  return readWith(slots, frames, &sf_readf_float);
}

std::size_t SoundFileReader::read(std::int16_t* slots, std::size_t frames) {
  if (sixteenBit_) return readWith(slots, frames, &sf_readf_short);
  // Other samples go through floating point: libsndfile scales integer samples to full
  // scale 1.0 there (a 24-bit sample is then rounded, not cut, to 16 bits), but hands
  // floating-point files to 16-bit reads unscaled, so that a normal float file would read
  // as near silence.
  floats_.resize(2 * frames);
  const std::size_t n = read(floats_.data(), frames);
  for (std::size_t i = 0; i < 2 * n; ++i) {
    const float scaled = std::nearbyint(floats_[i] * 32768.0F);
    slots[i] = static_cast<std::int16_t>(std::clamp(scaled, -32768.0F, 32767.0F));
  }
  return n;
}

SoundFileContainer ContainerForName(const std::string& name) {
  constexpr std::string_view kFlac = ".flac";
  if (name.size() < kFlac.size()) return SoundFileContainer::Wav;
  const std::string_view end = std::string_view(name).substr(name.size() - kFlac.size());
  const bool flac = std::equal(end.begin(), end.end(), kFlac.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
  return flac ? SoundFileContainer::Flac : SoundFileContainer::Wav;
}

namespace {

constexpr int kStereo = 2;
constexpr std::uint64_t kFrameBytes = 4;  // 16-bit stereo
constexpr std::uint64_t kPlainHeaderBytes = 44;
constexpr std::uint64_t kRf64HeaderBytes = 80;  // the plain header and a 36-byte ds64 chunk
// Past this much audio a RIFF file's 32-bit sizes cannot say the length.
constexpr std::uint64_t kPlainDataLimit = 0xFFFFFFFFU - (kPlainHeaderBytes - 8);

class HeaderBytes {
 public:
  void Tag(const char (&tag)[5]) { bytes_.insert(bytes_.end(), tag, tag + 4); }
  void Le(std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes_.push_back(static_cast<unsigned char>(value >> (8 * i)));
  }
  std::vector<unsigned char> Take() { return std::move(bytes_); }

 private:
  std::vector<unsigned char> bytes_;
};

// The header of 16-bit stereo PCM with `dataBytes` of audio: plain RIFF with the format tag
// 1, which every reader takes, or RF64 (the EBU's 64-bit WAV) when the sizes do not fit.
std::vector<unsigned char> WavHeader(std::int32_t rate, std::uint64_t dataBytes) {
  const bool rf64 = dataBytes > kPlainDataLimit;
  const std::uint64_t headerBytes = rf64 ? kRf64HeaderBytes : kPlainHeaderBytes;
  HeaderBytes h;
  h.Tag(rf64 ? "RF64" : "RIFF");
  h.Le(rf64 ? 0xFFFFFFFFU : headerBytes - 8 + dataBytes, 4);
  h.Tag("WAVE");
  if (rf64) {
    h.Tag("ds64");
    h.Le(28, 4);
    h.Le(headerBytes - 8 + dataBytes, 8);
    h.Le(dataBytes, 8);
    h.Le(dataBytes / kFrameBytes, 8);
    h.Le(0, 4);  // no table of other chunks' sizes
  }
  h.Tag("fmt ");
  h.Le(16, 4);
  h.Le(1, 2);  // WAVE_FORMAT_PCM
  h.Le(kStereo, 2);
  h.Le(static_cast<std::uint64_t>(rate), 4);
  h.Le(static_cast<std::uint64_t>(rate) * kFrameBytes, 4);
  h.Le(kFrameBytes, 2);
  h.Le(16, 2);
  h.Tag("data");
  h.Le(rf64 ? 0xFFFFFFFFU : dataBytes, 4);
  return h.Take();
}

// Writes all of `bytes` at the descriptor's offset, or at `offset` when one is given; false
// with errno set when the system refuses.
bool WriteAll(int fd, const void* bytes, std::size_t count, std::optional<off_t> offset = {}) {
  const char* at = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t n = offset ? ::pwrite(fd, at, count, *offset) : ::write(fd, at, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    at += n;
    count -= static_cast<std::size_t>(n);
    if (offset) *offset += n;
  }
  return true;
}

}  // namespace

std::vector<unsigned char> WavStreamHeader(std::int32_t rate, std::optional<std::uint64_t> frames) {
  // An unknown length is announced as the longest plain RIFF file.
  return WavHeader(rate,
                   frames ? *frames * kFrameBytes : kPlainDataLimit / kFrameBytes * kFrameBytes);
}

SoundFileWriter::SoundFileWriter(int fd, const std::string& name, SoundFileContainer container,
                                 std::int32_t rate, bool seekable,
                                 std::optional<std::uint64_t> frames)
    : name_(name), fd_(fd), rate_(rate), seekable_(seekable) {
  if (container == SoundFileContainer::Wav) {
    // A file gets the header of no audio now and its real one at the end; a stream, which
    // cannot be gone back over, the one for the length the caller announces.
    const std::vector<unsigned char> header =
        seekable ? WavHeader(rate, 0) : WavStreamHeader(rate, frames);
    rf64_ = header[0] == 'R' && header[1] == 'F';
    if (!WriteAll(fd_, header.data(), header.size())) {
      throw SoundFileError(name_ + ": " + problemWith("cannot write: ", errno));
    }
    return;
  }
  // libsndfile writes FLAC to a stream itself; only a seekable file gets its length and
  // checksum filled in at the end.
  SF_INFO format{};
  format.samplerate = rate;
  format.channels = kStereo;
  format.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  file_ = sf_open_fd(fd, SFM_WRITE, &format, SF_FALSE);
  if (file_ == nullptr) {
    throw SoundFileError(name_ + ": cannot write a sound file here (" + libraryReason(nullptr) +
                         ")");
  }
}

SoundFileWriter::~SoundFileWriter() {
  if (file_ != nullptr) sf_close(file_);
}

void SoundFileWriter::fail(const std::string& problem) {
  if (file_ != nullptr) sf_close(file_);
  file_ = nullptr;
  failed_ = true;
  throw SoundFileError(name_ + ": " + problem);
}

void SoundFileWriter::append(const std::int16_t* slots, std::size_t frames) {
  if (failed_ || finished_) {
    throw SoundFileError(name_ + ": an earlier write to the file failed");
  }
  if (frames == 0) return;
  if (file_ != nullptr) {
    const sf_count_t wrote = sf_writef_short(file_, slots, static_cast<sf_count_t>(frames));
    if (wrote != static_cast<sf_count_t>(frames)) {
      fail("cannot write the file: " + libraryReason(file_));
    }
    return;
  }
  static_assert(std::endian::native == std::endian::little, "WAV samples are little-endian");
  if (!WriteAll(fd_, slots, frames * kFrameBytes))
    fail(problemWith("cannot write the file: ", errno));
  dataBytes_ += frames * kFrameBytes;
}

void SoundFileWriter::finish() {
  if (failed_ || finished_) {
    throw SoundFileError(name_ + ": an earlier write to the file failed");
  }
  finished_ = true;
  if (file_ != nullptr) {
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != SF_ERR_NO_ERROR) {
      failed_ = true;
      throw SoundFileError(name_ + ": cannot write the file: " + sf_error_number(closed));
    }
    return;
  }
  if (!seekable_) return;
  if (dataBytes_ > kPlainDataLimit) {
    MakeRoomForRf64();
    rf64_ = true;
  }
  const std::vector<unsigned char> header = WavHeader(rate_, dataBytes_);
  if (!WriteAll(fd_, header.data(), header.size(), off_t{0})) {
    failed_ = true;
    throw SoundFileError(name_ + ": " + problemWith("cannot write the file: ", errno));
  }
}

void SoundFileWriter::MakeRoomForRf64() {
  // The audio moves up by the ds64 chunk, from the end down so that nothing is read after
  // it has been overwritten. Only files past 4 GiB pay for this, once.
  constexpr std::uint64_t kShift = kRf64HeaderBytes - kPlainHeaderBytes;
  // A file the shell opened for writing only is read back through a second descriptor.
  int source = fd_;
  if (const int flags = fcntl(fd_, F_GETFL); flags >= 0 && (flags & O_ACCMODE) == O_WRONLY) {
    source = ::open(("/proc/self/fd/" + std::to_string(fd_)).c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) {
      failed_ = true;
      throw SoundFileError(name_ + ": " + problemWith("cannot read back the file: ", errno));
    }
  }
  struct Closer {
    int fd, own;
    ~Closer() {
      if (fd != own) ::close(fd);
    }
  } closer{source, fd_};
  std::vector<char> block(1 << 22);
  for (std::uint64_t end = dataBytes_; end > 0;) {
    const std::uint64_t n = std::min<std::uint64_t>(end, block.size());
    const std::uint64_t from = kPlainHeaderBytes + end - n;
    std::size_t got = 0;
    while (got < n) {
      const ssize_t r =
          ::pread(source, block.data() + got, n - got, static_cast<off_t>(from + got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        failed_ = true;
        throw SoundFileError(name_ + ": " +
                             problemWith("cannot read back the file: ", r == 0 ? EIO : errno));
      }
      got += static_cast<std::size_t>(r);
    }
    if (!WriteAll(fd_, block.data(), n, static_cast<off_t>(from + kShift))) {
      failed_ = true;
      throw SoundFileError(name_ + ": " + problemWith("cannot write the file: ", errno));
    }
    end -= n;
  }
}
