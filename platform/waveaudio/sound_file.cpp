#include "platform/waveaudio/sound_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
  // The descriptor stays ours, so that it is closed exactly once whether or not libsndfile
  // takes the file.
  file_ = sf_open_fd(fd, SFM_READ, &format, SF_FALSE);
  if (file_ == nullptr) {
    std::string problem =
        name_ + ": not a sound file that can be read (" + libraryReason(nullptr) + ")";
    if (isStream(fd)) {
      problem += "; this format cannot be read from a pipe or FIFO, so give it as a file";
    }
    ::close(fd);
    throw SoundFileError(problem);
  }
  // sf_close would not close it: keep it with the handle.
  fd_ = fd;
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
// The canonical RIFF header libsndfile writes when the length is unknown: RIFF, fmt and
// data chunk headers.
constexpr std::uint64_t kLongestPlainHeader = 44;

// A file in memory that keeps only its first bytes: libsndfile writes a header into it and
// then the audio, which is counted but thrown away, and on closing goes back to write the
// header with the sizes of what it was given.
struct HeaderSink {
  static constexpr sf_count_t kKept = 4096;
  std::vector<unsigned char> kept;
  sf_count_t position = 0;
  sf_count_t length = 0;

  static HeaderSink& of(void* user) { return *static_cast<HeaderSink*>(user); }
  static sf_count_t fileLength(void* user) { return of(user).length; }
  static sf_count_t seek(sf_count_t offset, int whence, void* user) {
    HeaderSink& sink = of(user);
    const sf_count_t base = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? sink.position
                                                 : sink.length;
    sink.position = base + offset;
    return sink.position;
  }
  static sf_count_t read(void*, sf_count_t, void*) { return 0; }
  static sf_count_t write(const void* bytes, sf_count_t count, void* user) {
    HeaderSink& sink = of(user);
    const sf_count_t end = std::min(sink.position + count, kKept);
    if (sink.position < end) {
      if (static_cast<sf_count_t>(sink.kept.size()) < end) sink.kept.resize(end);
      std::memcpy(sink.kept.data() + sink.position, bytes, end - sink.position);
    }
    sink.position += count;
    sink.length = std::max(sink.length, sink.position);
    return count;
  }
  static sf_count_t tell(void* user) { return of(user).position; }
};

}  // namespace

// A descriptor written front to back and never sought in: a pipe, a FIFO, a device, a file
// opened for appending. libsndfile's own descriptor code refuses some of these (a file
// whose offset is not 0 looks to it like a file embedded in another).
struct StreamSink {
  int fd;
  sf_count_t written = 0;

  static StreamSink& of(void* user) { return *static_cast<StreamSink*>(user); }
  static sf_count_t fileLength(void* user) { return of(user).written; }
  // Only "where am I" can be answered.
  static sf_count_t seek(sf_count_t offset, int whence, void* user) {
    StreamSink& sink = of(user);
    const sf_count_t target = whence == SEEK_SET ? offset : sink.written + offset;
    return target == sink.written ? target : -1;
  }
  static sf_count_t read(void*, sf_count_t, void*) { return 0; }
  static sf_count_t write(const void* bytes, sf_count_t count, void* user) {
    StreamSink& sink = of(user);
    sf_count_t done = 0;
    while (done < count) {
      const ssize_t n = ::write(sink.fd, static_cast<const char*>(bytes) + done,
                                static_cast<std::size_t>(count - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += n;
    }
    sink.written += done;
    return done;
  }
  static sf_count_t tell(void* user) { return of(user).written; }
};

std::vector<unsigned char> WavStreamHeader(std::int32_t rate, std::optional<std::uint64_t> frames) {
  SF_VIRTUAL_IO io{&HeaderSink::fileLength, &HeaderSink::seek, &HeaderSink::read,
                   &HeaderSink::write, &HeaderSink::tell};
  HeaderSink sink;
  SF_INFO format{};
  format.samplerate = rate;
  format.channels = kStereo;
  // An unknown length is announced as the longest plain RIFF file; a known one as what
  // libsndfile itself would finish a file of that length with.
  format.format = (frames ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &format, &sink);
  if (file == nullptr) {
    throw SoundFileError("cannot make a WAV header: " + libraryReason(nullptr));
  }
  if (frames) sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  // Where the audio starts is only settled by the first write (the command above changes
  // the header's layout then), so the header's length is taken at the end.
  const std::uint64_t longest = std::numeric_limits<std::uint32_t>::max() - kLongestPlainHeader;
  const std::uint64_t dataBytes =
      frames ? *frames * kFrameBytes : longest / kFrameBytes * kFrameBytes;
  // The audio is only counted, so any length costs next to nothing.
  static const std::vector<char> kSilence(1 << 20);
  for (std::uint64_t left = dataBytes; left > 0;) {
    const auto n = static_cast<sf_count_t>(std::min<std::uint64_t>(left, kSilence.size()));
    sf_write_raw(file, kSilence.data(), n);
    left -= static_cast<std::uint64_t>(n);
  }
  sf_close(file);
  const sf_count_t headerBytes = sink.length - static_cast<sf_count_t>(dataBytes);
  // Anything libsndfile put after the audio would shift this off the data chunk's header.
  if (headerBytes < 8 || headerBytes > static_cast<sf_count_t>(sink.kept.size()) ||
      std::memcmp(sink.kept.data() + headerBytes - 8, "data", 4) != 0) {
    throw std::logic_error("WavStreamHeader: libsndfile's header does not end at the audio");
  }
  sink.kept.resize(static_cast<std::size_t>(headerBytes));
  return sink.kept;
}

SoundFileWriter::SoundFileWriter(int fd, const std::string& name, SoundFileContainer container,
                                 std::int32_t rate, bool seekable,
                                 std::optional<std::uint64_t> frames)
    : name_(name) {
  SF_INFO format{};
  format.samplerate = rate;
  format.channels = kStereo;
  if (container == SoundFileContainer::Flac) {
    // libsndfile writes FLAC to a stream itself; only a seekable file gets its length and
    // checksum filled in at the end.
    format.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  } else if (seekable) {
    format.format = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
  } else {
    // libsndfile cannot go back over a stream to complete a WAV header, so the header goes
    // first with the length the caller announces, and the audio follows as plain samples.
    const std::vector<unsigned char> header = WavStreamHeader(rate, frames);
    stream_ = std::make_unique<StreamSink>(StreamSink{fd});
    const auto size = static_cast<sf_count_t>(header.size());
    if (StreamSink::write(header.data(), size, stream_.get()) != size) {
      throw SoundFileError(name_ + ": " + problemWith("cannot write: ", errno));
    }
    format.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
    SF_VIRTUAL_IO io{&StreamSink::fileLength, &StreamSink::seek, &StreamSink::read,
                     &StreamSink::write, &StreamSink::tell};
    file_ = sf_open_virtual(&io, SFM_WRITE, &format, stream_.get());
  }
  if (container == SoundFileContainer::Flac || seekable) {
    file_ = sf_open_fd(fd, SFM_WRITE, &format, SF_FALSE);
  }
  if (file_ == nullptr) {
    throw SoundFileError(name_ + ": cannot write a sound file here (" + libraryReason(nullptr) +
                         ")");
  }
  // A plain RIFF file until the audio passes 4 GiB, RF64 beyond.
  if (container == SoundFileContainer::Wav && seekable) {
    sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  }
}

SoundFileWriter::~SoundFileWriter() {
  if (file_ != nullptr) sf_close(file_);
}

void SoundFileWriter::fail(const std::string& problem) {
  sf_close(file_);
  file_ = nullptr;
  throw SoundFileError(name_ + ": " + problem);
}

void SoundFileWriter::append(const std::int16_t* slots, std::size_t frames) {
  if (file_ == nullptr) throw SoundFileError(name_ + ": an earlier write to the file failed");
  if (frames == 0) return;
  const sf_count_t wrote = sf_writef_short(file_, slots, static_cast<sf_count_t>(frames));
  if (wrote != static_cast<sf_count_t>(frames)) {
    fail("cannot write the file: " + libraryReason(file_));
  }
}

void SoundFileWriter::finish() {
  if (file_ == nullptr) throw SoundFileError(name_ + ": an earlier write to the file failed");
  const int closed = sf_close(file_);
  file_ = nullptr;
  if (closed != SF_ERR_NO_ERROR) {
    throw SoundFileError(name_ + ": cannot write the file: " + sf_error_number(closed));
  }
}
