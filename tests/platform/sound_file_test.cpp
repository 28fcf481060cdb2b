// Sound files: every kind libsndfile makes is read as the same stereo, mono is heard on both
// channels, unusable files are refused in one line, streams are read in one pass; written
// files and streams read back exactly, and a stream announces RF64 when it will pass 4 GiB.
#include "platform/waveaudio/sound_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/sound_files.h"

namespace {

namespace fs = std::filesystem;

class SoundFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "soundfile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  static std::vector<std::int16_t> ReadAll(SoundFileReader& reader) {
    std::vector<std::int16_t> slots;
    std::vector<std::int16_t> block(2 * 999);
    while (const std::size_t n = reader.read(block.data(), 999)) {
      slots.insert(slots.end(), block.begin(), block.begin() + 2 * n);
    }
    return slots;
  }

  static std::string ErrorOf(const std::string& path) {
    try {
      SoundFileReader reader(path);
    } catch (const SoundFileError& e) {
      return e.what();
    }
    return "accepted";
  }

  fs::path dir_;
};

// A tone in steps of 256, so that 8-bit files hold it exactly too.
std::vector<std::int16_t> CoarseTone(std::size_t frames) {
  std::vector<std::int16_t> slots = StereoTone(440, 16000, frames, 20000);
  for (std::size_t i = 0; i < slots.size(); ++i) {
    slots[i] = static_cast<std::int16_t>(slots[i] / 256 * 256);
  }
  return slots;
}

TEST_F(SoundFile, ReaderReadsEveryKindOfFileAsTheSameStereo) {
  const std::vector<std::int16_t> tone = CoarseTone(16000);
  // How far each kind may stray: lossless kinds not at all, floating point by rounding,
  // the lossy codecs by their noise (compared as the error's level below the tone's).
  struct Kind {
    const char* name;
    int format;
    int maxError;
    double minSnrDb;
  };
  const Kind kinds[] = {
      {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 0, 0},
      {"s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0},
      {"s24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0, 0},
      {"s32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 0, 0},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 0},
      {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1, 0},
      {"extensible.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 0, 0},
      {"rf64.wav", SF_FORMAT_RF64 | SF_FORMAT_PCM_24, 0, 0},
      {"sound.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 0, 0},
      {"sound.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0, 0},
      {"sound.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 32767, 20},
      {"sound.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 32767, 20},
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    WriteTestSound(Path(kind.name), kind.format, 16000, 2, tone);
    SoundFileReader reader(Path(kind.name));
    EXPECT_EQ(reader.rate(), 16000);
    EXPECT_EQ(reader.channels(), 2);
    ASSERT_TRUE(reader.frames());
    EXPECT_EQ(*reader.frames(), 16000U);
    const std::vector<std::int16_t> slots = ReadAll(reader);
    ASSERT_EQ(slots.size(), tone.size());
    int worst = 0;
    std::vector<std::int16_t> error(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
      worst = std::max(worst, std::abs(slots[i] - tone[i]));
      error[i] = static_cast<std::int16_t>(std::clamp(slots[i] - tone[i], -32768, 32767));
    }
    EXPECT_LE(worst, kind.maxError);
    if (kind.minSnrDb > 0) {
      const double snr = 20 * std::log10(Rms(tone, 0, tone.size()) / Rms(error, 0, error.size()));
      EXPECT_GE(snr, kind.minSnrDb);
    }
  }
}

TEST_F(SoundFile, ReaderHearsAMonoFileOnBothChannels) {
  const std::vector<std::int16_t> mono = {1, -2, 32767, -32768, 0, 5};
  WriteTestSound(Path("mono.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, mono);
  SoundFileReader reader(Path("mono.wav"));
  EXPECT_EQ(reader.channels(), 1);
  EXPECT_EQ(ReadAll(reader),
            (std::vector<std::int16_t>{1, 1, -2, -2, 32767, 32767, -32768, -32768, 0, 0, 5, 5}));
  // The floating-point form, which the rate converter reads, is spread the same way.
  SoundFileReader again(Path("mono.wav"));
  float slots[12] = {};
  ASSERT_EQ(again.read(slots, 6), 6U);
  EXPECT_EQ(slots[4], slots[5]);
  EXPECT_GT(slots[4], 0.99F);
  EXPECT_EQ(slots[10], slots[11]);
}

TEST_F(SoundFile, ReaderClipsFloatingPointSamplesBeyondFullScale) {
  SF_INFO info{};
  info.samplerate = 8000;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(Path("loud.wav").c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  const float loud[] = {1.5F, -1.5F, 3.0F, -3.0F};
  sf_writef_float(file, loud, 2);
  sf_close(file);
  SoundFileReader reader(Path("loud.wav"));
  EXPECT_EQ(ReadAll(reader), (std::vector<std::int16_t>{32767, -32768, 32767, -32768}));
}

TEST_F(SoundFile, ReaderRefusesWhatItCannotUseInOneLineNamingTheFile) {
  WriteTestSound(Path("six.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 6,
                 std::vector<std::int16_t>(60));
  std::ofstream(Path("text.wav")) << "this is not a sound file at all";
  std::ofstream(Path("empty.wav"));
  // The header alone, then 2 GB of zeros where chunks should be.
  std::ofstream(Path("zeros.wav"), std::ios::binary) << std::string("RIFF\xff\xff\xff\x7fWAVE", 12);
  fs::resize_file(Path("zeros.wav"), 2'000'000'000);
  const struct {
    std::string name;
    std::string message;
  } cases[] = {
      {"six.wav", "6-channel files are not supported; mix them down to stereo first"},
      {"text.wav", "not a sound file that can be read"},
      {"empty.wav", "not a sound file that can be read"},
      {"zeros.wav", "not a sound file that can be read"},
      {"missing.wav", "cannot open the file: No such file"},
      {"", "it is a folder"},
  };
  for (const auto& c : cases) {
    const std::string what = ErrorOf(Path(c.name));
    EXPECT_EQ(what.rfind(Path(c.name) + ": ", 0), 0U) << what;
    EXPECT_NE(what.find(c.message), std::string::npos) << what;
    EXPECT_EQ(what.find('\n'), std::string::npos) << what;
  }
}

TEST_F(SoundFile, ReaderTakesABlockAlignOfZeroAsTheFormatImpliesIt) {
  // A hand-made header whose block align is 0: 16-bit stereo says 4.
  auto le = [](std::uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i));
    return s;
  };
  const std::string data = le(1, 2) + le(0xFFFF, 2) + le(0x7FFF, 2) + le(0x8000, 2);
  const std::string fmt = le(1, 2) + le(2, 2) + le(8000, 4) + le(32000, 4) + le(0, 2) + le(16, 2);
  std::ofstream(Path("align0.wav"), std::ios::binary) << "RIFF" + le(4 + 24 + 8 + data.size(), 4) +
                                                             "WAVEfmt " + le(16, 4) + fmt + "data" +
                                                             le(data.size(), 4) + data;
  SoundFileReader reader(Path("align0.wav"));
  EXPECT_EQ(ReadAll(reader), (std::vector<std::int16_t>{1, -1, 32767, -32768}));
}

TEST_F(SoundFile, ReaderReadsAPipeAsAStreamOfUnknownLength) {
  const std::vector<std::int16_t> tone = StereoTone(300, 8000, 20000, 10000);
  WriteTestSound(Path("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 2, tone);
  std::ifstream in(Path("in.wav"), std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::thread writer([&] {
    // In small pieces, so that reads meet a pipe that has only part of what they ask for.
    for (std::size_t at = 0; at < bytes.size(); at += 1000) {
      const std::size_t n = std::min<std::size_t>(1000, bytes.size() - at);
      if (write(ends[1], bytes.data() + at, n) != static_cast<ssize_t>(n)) break;
    }
    close(ends[1]);
  });
  {
    SoundFileReader reader(ends[0], "the pipe");
    EXPECT_FALSE(reader.frames());
    EXPECT_EQ(ReadAll(reader), tone);
  }
  writer.join();
}

TEST_F(SoundFile, WriterWavAndFlacFilesReadBackExactly) {
  const std::vector<std::int16_t> tone = StereoTone(1000, 44100, 30000, 32767);
  for (const std::string name : {"out.wav", "out.flac", "out.FLAC"}) {
    SCOPED_TRACE(name);
    const int fd = open(Path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    {
      SoundFileWriter writer(fd, name, ContainerForName(name), 44100, true, std::nullopt);
      writer.append(tone.data(), 10000);
      writer.append(tone.data(), 0);
      writer.append(tone.data() + 20000, 20000);
      writer.finish();
    }
    close(fd);
    const TestSound sound = ReadTestSound(Path(name));
    EXPECT_EQ(sound.rate, 44100);
    EXPECT_EQ(sound.slots, tone);
    const bool flac = name != "out.wav";
    EXPECT_EQ(sound.format & SF_FORMAT_TYPEMASK, flac ? SF_FORMAT_FLAC : SF_FORMAT_WAV);
  }
  // Below 4 GiB the WAV file is plain PCM, which every reader takes: a 44-byte header with
  // the format tag 1, not WAVE_FORMAT_EXTENSIBLE.
  std::ifstream wav(Path("out.wav"), std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(wav), {}};
  EXPECT_EQ(bytes.size(), 44U + 4 * 30000);
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(bytes.substr(36, 4), "data");
  EXPECT_EQ(bytes[20], 1);
  EXPECT_EQ(bytes[21], 0);
}

TEST_F(SoundFile, WriterAStreamCarriesAHeaderForTheLengthItAnnounced) {
  const std::vector<std::int16_t> tone = StereoTone(1000, 22050, 12345, 30000);
  for (const bool known : {true, false}) {
    SCOPED_TRACE(known ? "known length" : "unknown length");
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::string bytes;
    std::thread reader([&] {
      char block[4096];
      while (const ssize_t n = read(ends[0], block, sizeof block)) {
        if (n < 0) break;
        bytes.append(block, static_cast<std::size_t>(n));
      }
    });
    {
      SoundFileWriter writer(ends[1], "the pipe", SoundFileContainer::Wav, 22050, false,
                             known ? std::optional<std::uint64_t>(12345) : std::nullopt);
      writer.append(tone.data(), 12345);
      writer.finish();
    }
    close(ends[1]);
    reader.join();
    close(ends[0]);
    std::ofstream(Path("stream.wav"), std::ios::binary) << bytes;
    // The header alone says the length when it was known; a reader of an unknown one goes
    // by where the file ends.
    const TestSound sound = ReadTestSound(Path("stream.wav"));
    EXPECT_EQ(sound.slots, tone);
    if (known) {
      const std::vector<unsigned char> header = WavStreamHeader(22050, 12345);
      ASSERT_LT(header.size(), bytes.size());
      EXPECT_EQ(std::memcmp(bytes.data(), header.data(), header.size()), 0);
      EXPECT_EQ(bytes.size(), header.size() + 4 * 12345);
    }
  }
}

TEST_F(SoundFile, StreamHeaderTurnsToRf64PastFourGiB) {
  const auto readLe = [](const std::vector<unsigned char>& h, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | h[at + i];
    return v;
  };
  // 4 GiB of audio and a header cannot be told in 32 bits.
  const std::uint64_t past = (std::uint64_t{1} << 32) / 4;
  const std::vector<unsigned char> big = WavStreamHeader(44100, past);
  ASSERT_GE(big.size(), 44U);
  EXPECT_EQ(std::string(big.begin(), big.begin() + 4), "RF64");
  EXPECT_EQ(std::string(big.begin() + 12, big.begin() + 16), "ds64");
  EXPECT_EQ(readLe(big, 28, 8), past * 4);  // the data size
  EXPECT_EQ(readLe(big, 36, 8), past);      // the frame count

  const std::vector<unsigned char> small = WavStreamHeader(44100, 1000);
  EXPECT_EQ(std::string(small.begin(), small.begin() + 4), "RIFF");
  EXPECT_EQ(readLe(small, small.size() - 4, 4), 4000U);

  // Unknown: the longest plain file, which readers take as "to the end".
  const std::vector<unsigned char> open = WavStreamHeader(44100, std::nullopt);
  EXPECT_EQ(std::string(open.begin(), open.begin() + 4), "RIFF");
  EXPECT_GT(readLe(open, 4, 4), 0xFFFFFF00U);
}

}  // namespace
