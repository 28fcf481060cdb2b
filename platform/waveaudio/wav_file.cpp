// RIFF/WAVE reading and writing, parsed and built byte by byte so that neither depends on
// the host's struct layout or byte order.
#include "platform/waveaudio/wav_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <system_error>

namespace {

constexpr std::uint16_t kFormatPcm = 0x0001;
constexpr std::uint16_t kFormatFloat = 0x0003;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

// The sub-format GUIDs of WAVE_FORMAT_EXTENSIBLE are a 16-bit format code followed by this
// fixed tail (xxxxxxxx-0000-0010-8000-00AA00389B71, stored little-endian).
constexpr unsigned char kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

constexpr std::uint64_t kHeaderBytes = 44;
// The RIFF size field (36 + data bytes) must fit in 32 bits; kept to whole frames.
constexpr std::uint64_t kMaxDataBytes = (0xFFFFFFFFULL - 36) / 4 * 4;

constexpr const char* kUse16BitStereo = "; use 16-bit stereo PCM";

std::uint16_t le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t le32(const unsigned char* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

void putLe16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

void putLe32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The action followed by the system's reason; strerror is not safe to call from several
// threads at once.
std::string problemWith(const char* action, int error) {
  return action + std::generic_category().message(error);
}

bool isId(const unsigned char* p, const char (&id)[5]) {
  return std::memcmp(p, id, 4) == 0;
}

// A chunk id for messages; ids are meant to be printable, but a corrupt one may not be.
std::string printableId(const unsigned char* p) {
  std::string id;
  for (int i = 0; i < 4; ++i) id += (p[i] >= 0x20 && p[i] < 0x7F) ? char(p[i]) : '?';
  return id;
}

std::string rateProblem(std::int64_t rate) {
  return "sample rate " + std::to_string(rate) + " Hz is not supported (must be " +
         std::to_string(kWavMinRate) + " to " + std::to_string(kWavMaxRate) + " Hz)";
}

bool rateInRange(std::int64_t rate) {
  return rate >= kWavMinRate && rate <= kWavMaxRate;
}

struct Chunk {
  std::uint64_t offset;  // of the body
  std::uint32_t size;
};

}  // namespace

WavReader::~WavReader() {
  if (file_ != nullptr) std::fclose(file_);
}

void WavReader::fail(const std::string& problem) const {
  throw WavError(path_ + ": " + problem);
}

void WavReader::open() {
  file_ = std::fopen(path_.c_str(), "rbe");
  if (file_ == nullptr) fail(problemWith("cannot open the file: ", errno));
  struct stat info {};
  if (fstat(fileno(file_), &info) != 0) {
    fail(problemWith("cannot read the file: ", errno));
  }
  if (S_ISDIR(info.st_mode)) fail("it is a folder, not a WAV file");
  if (!S_ISREG(info.st_mode)) fail("not a regular file");
  fileSize_ = static_cast<std::uint64_t>(info.st_size);
}

void WavReader::readAt(std::uint64_t offset, void* buffer, std::size_t n, const std::string& what) {
  if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) {
    fail(problemWith("cannot read the file: ", errno));
  }
  const std::size_t got = std::fread(buffer, 1, n, file_);
  if (got == n) return;
  if (std::ferror(file_)) fail(problemWith("cannot read the file: ", errno));
  // The file shrank after we sized it.
  fail("the file is truncated: it ends inside " + what);
}

// Validates the fmt chunk; returns the sample rate.
std::uint32_t WavReader::checkFormat(std::uint64_t offset, std::uint32_t size) {
  const Chunk fmt{offset, size};
  if (fmt.size < 16) fail("the fmt chunk is too short to describe a format");
  unsigned char body[40] = {};
  readAt(fmt.offset, body, fmt.size < 40 ? fmt.size : 40, "the fmt chunk");

  std::uint16_t format = le16(body);
  const std::uint16_t channels = le16(body + 2);
  const std::uint32_t rate = le32(body + 4);
  const std::uint16_t bits = le16(body + 14);

  if (format == kFormatExtensible) {
    if (fmt.size < 40 || le16(body + 16) < 22) {
      fail("the fmt chunk is too short for an extensible format");
    }
    const unsigned char* guid = body + 24;
    // A sub-format outside the standard GUID family is some vendor's codec.
    format = std::memcmp(guid + 2, kGuidTail, sizeof kGuidTail) == 0 ? le16(guid) : 0;
  }
  if (format == kFormatFloat) {
    fail(std::to_string(bits) + "-bit floating-point samples are not supported" + kUse16BitStereo);
  }
  if (format != kFormatPcm) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%04X", unsigned(le16(body)));
    fail(std::string("the audio is not PCM (format ") + code + ", probably compressed)" +
         kUse16BitStereo);
  }
  if (bits != 16) {
    fail(std::to_string(bits) + "-bit samples are not supported" + kUse16BitStereo);
  }
  if (channels == 0) fail("the fmt chunk declares no channels");
  if (channels == 1) fail(std::string("mono files are not supported") + kUse16BitStereo);
  if (channels > 2) {
    fail(std::to_string(channels) + "-channel files are not supported" + kUse16BitStereo);
  }
  if (!rateInRange(rate)) fail(rateProblem(rate));
  return rate;
}

WavReader::WavReader(const std::string& path) : path_(path) {
  open();

  if (fileSize_ < 12) fail("not a RIFF/WAVE file");
  unsigned char header[12];
  readAt(0, header, 12, "the RIFF header");
  if (!isId(header + 8, "WAVE")) fail("not a RIFF/WAVE file");
  if (isId(header, "RIFX")) fail("big-endian (RIFX) WAVE files are not supported");
  if (isId(header, "RF64")) fail("RF64 WAVE files (over 4 GiB) are not supported");
  if (!isId(header, "RIFF")) fail("not a RIFF/WAVE file");

  // The RIFF size field is not trusted: writers that never patched it, or patched it wrong,
  // are common, and the chunks themselves say where the audio is.
  std::optional<Chunk> fmt;
  std::optional<Chunk> data;
  std::uint64_t pos = 12;
  while (!(fmt && data) && pos < fileSize_) {
    if (fileSize_ - pos < 8) fail("the file is truncated: it ends inside a chunk header");
    unsigned char chunkHeader[8];
    readAt(pos, chunkHeader, 8, "a chunk header");
    const Chunk chunk{pos + 8, le32(chunkHeader + 4)};
    const bool complete = chunk.offset + chunk.size <= fileSize_;
    if (isId(chunkHeader, "data")) {
      // Checked once the format is known, so that an unsupported format is reported as
      // such even in a cut-off file.
      if (!data) data = chunk;
    } else if (!complete) {
      fail("the file is truncated: it ends inside the '" + printableId(chunkHeader) + "' chunk");
    } else if (isId(chunkHeader, "fmt ")) {
      if (!fmt) fmt = chunk;
    }
    // Chunks are padded to an even length; the pad byte is not counted in the size.
    pos = chunk.offset + chunk.size + (chunk.size & 1U);
  }

  if (!fmt) {
    if (data && data->offset + data->size > fileSize_) {
      fail("the file is truncated: it ends inside the data chunk");
    }
    fail("no fmt chunk: the file does not say how its audio is stored");
  }
  const std::uint32_t rate = checkFormat(fmt->offset, fmt->size);
  if (!data) fail("no data chunk: the file holds no audio");
  if (data->offset + data->size > fileSize_) {
    fail("the file is truncated: the data chunk declares " + std::to_string(data->size) +
         " bytes but only " + std::to_string(fileSize_ - std::min(fileSize_, data->offset)) +
         " are present");
  }

  rate_ = static_cast<std::int32_t>(rate);
  frames_ = data->size / 4;  // a trailing half frame is dropped
  if (fseeko(file_, static_cast<off_t>(data->offset), SEEK_SET) != 0) {
    fail(problemWith("cannot read the file: ", errno));
  }
}

std::size_t WavReader::read(std::int16_t* slots, std::size_t frames) {
  const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(frames, frames_ - framesRead_));
  if (n == 0) return 0;
  // Sequential reads from where the last one ended: no seek, so stdio can read ahead.
  const std::size_t got = std::fread(slots, 1, n * 4, file_);
  if (got != n * 4) {
    if (std::ferror(file_)) fail(problemWith("cannot read the file: ", errno));
    fail("the file is truncated: it ends inside the data chunk");
  }
  if constexpr (std::endian::native == std::endian::big) {
    for (std::size_t i = 0; i < 2 * n; ++i) {
      const auto raw = static_cast<std::uint16_t>(slots[i]);
      slots[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>((raw >> 8) | (raw << 8)));
    }
  }
  framesRead_ += n;
  return n;
}

namespace {

// Distinguishes temporary names of writers in one process; the pid separates processes.
std::atomic<unsigned> tempCounter{0};

}  // namespace

WavAudio ReadWavFile(const std::string& path) {
  WavReader reader(path);
  WavAudio audio;
  audio.rate = reader.rate();
  try {
    audio.slots.resize(2 * reader.frames());
  } catch (const std::bad_alloc&) {
    throw WavError(path + ": the file is too large to load into memory");
  }
  reader.read(audio.slots.data(), reader.frames());
  return audio;
}

WavWriter::WavWriter(const std::string& path, std::int32_t rate) : path_(path) {
  if (!rateInRange(rate)) throw WavError(path_ + ": " + rateProblem(rate));
  const std::size_t slash = path_.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  struct stat info {};
  if (name.empty() || (stat(path_.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
    throw WavError(path_ + ": cannot create the file: it is a folder");
  }

  // Hidden, in the same folder so that the final rename stays on one file system; the name
  // is shortened so that a long but legal target name still leaves room for the suffix.
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    tempPath_ = folder + "." + name.substr(0, 200) + ".partial-" + std::to_string(getpid()) + "-" +
                std::to_string(tempCounter.fetch_add(1, std::memory_order_relaxed));
    fd = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int error = errno;
    tempPath_.clear();
    throw WavError(path_ + ": " + problemWith("cannot create the file: ", error));
  }
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    const int error = errno;
    ::close(fd);
    discard();
    throw WavError(path_ + ": " + problemWith("cannot create the file: ", error));
  }

  // The sizes are patched by finish().
  unsigned char header[kHeaderBytes] = {};
  std::memcpy(header, "RIFF", 4);
  putLe32(header + 4, 36);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  putLe32(header + 16, 16);
  putLe16(header + 20, kFormatPcm);
  putLe16(header + 22, 2);
  putLe32(header + 24, static_cast<std::uint32_t>(rate));
  putLe32(header + 28, static_cast<std::uint32_t>(rate) * 4);
  putLe16(header + 32, 4);
  putLe16(header + 34, 16);
  std::memcpy(header + 36, "data", 4);
  putLe32(header + 40, 0);
  if (std::fwrite(header, 1, sizeof header, file_) != sizeof header) {
    fail(problemWith("cannot write the file: ", errno));
  }
}

WavWriter::~WavWriter() {
  if (!finished_) discard();
}

void WavWriter::discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

void WavWriter::fail(const std::string& problem) {
  discard();
  failed_ = true;
  throw WavError(path_ + ": " + problem);
}

void WavWriter::append(const std::int16_t* slots, std::size_t count) {
  if (finished_) throw std::logic_error("WavWriter::append after finish");
  if (count % 2 != 0) throw std::invalid_argument("WavWriter::append: odd slot count");
  if (count > 0 && slots == nullptr) throw std::invalid_argument("WavWriter::append: null");
  if (failed_) throw WavError(path_ + ": an earlier write to the file failed");
  if (count == 0) return;
  if (count > (kMaxDataBytes - dataBytes_) / 2) {
    fail("the audio is too long for a WAV file (the format ends at 4 GiB)");
  }

  if constexpr (std::endian::native == std::endian::little) {
    if (std::fwrite(slots, 2, count, file_) != count) {
      fail(problemWith("cannot write the file: ", errno));
    }
  } else {
    unsigned char buffer[4096];
    for (std::size_t done = 0; done < count;) {
      const std::size_t n = std::min(count - done, sizeof buffer / 2);
      for (std::size_t i = 0; i < n; ++i) {
        putLe16(buffer + 2 * i, static_cast<std::uint16_t>(slots[done + i]));
      }
      if (std::fwrite(buffer, 2, n, file_) != n) {
        fail(problemWith("cannot write the file: ", errno));
      }
      done += n;
    }
  }
  dataBytes_ += std::uint64_t{count} * 2;
}

void WavWriter::finish() {
  if (finished_) throw std::logic_error("WavWriter::finish called twice");
  if (failed_) throw WavError(path_ + ": an earlier write to the file failed");

  const auto writeSize = [this](long offset, std::uint64_t value) {
    unsigned char field[4];
    putLe32(field, static_cast<std::uint32_t>(value));
    return std::fseek(file_, offset, SEEK_SET) == 0 &&
           std::fwrite(field, 1, sizeof field, file_) == sizeof field;
  };
  // Flushing first makes a full disk show up here, before the header is touched.
  if (std::fflush(file_) != 0 || !writeSize(4, 36 + dataBytes_) || !writeSize(40, dataBytes_) ||
      std::fflush(file_) != 0) {
    fail(problemWith("cannot write the file: ", errno));
  }
  // No fsync: like other tools that write sound files, a complete file replaces the old
  // one by the rename, and a render lost to a power cut is simply run again. Forcing the
  // data to disk would double the time of a render.
  const int closed = std::fclose(file_);
  file_ = nullptr;
  if (closed != 0) fail(problemWith("cannot write the file: ", errno));
  if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    fail(problemWith("cannot save the file: ", errno));
  }
  tempPath_.clear();
  finished_ = true;
}
