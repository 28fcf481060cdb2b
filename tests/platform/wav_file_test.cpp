// WAV files: round trips through the writer, the reader's tolerance of real-world layouts,
// its refusals and their messages, and the writer's all-or-nothing replacement of files.
#include "platform/waveaudio/wav_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

Bytes le16(unsigned v) {
  return {char(v & 0xFF), char((v >> 8) & 0xFF)};
}
Bytes le32(unsigned v) {
  return le16(v & 0xFFFF) + le16(v >> 16);
}
Bytes chunk(const Bytes& id, const Bytes& body) {
  return id + le32(unsigned(body.size())) + body + (body.size() % 2 ? Bytes(1, '\0') : "");
}
Bytes fmtBody(unsigned tag, unsigned channels, unsigned rate, unsigned bits) {
  const unsigned align = channels * bits / 8;
  return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}
Bytes extensibleFmt(unsigned subFormat, const Bytes& guidTail) {
  return fmtBody(0xFFFE, 2, 44100, 16) + le16(22) + le16(16) + le32(3) + le16(subFormat) + guidTail;
}
const Bytes kPcmGuidTail("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
Bytes riff(const Bytes& chunks) {
  return "RIFF" + le32(unsigned(4 + chunks.size())) + "WAVE" + chunks;
}
// Two frames: (1, -1), (32767, -32768).
const Bytes kFrames = le16(1) + le16(0xFFFF) + le16(0x7FFF) + le16(0x8000);
const Bytes kStereoFmt = chunk("fmt ", fmtBody(1, 2, 48000, 16));

class WavFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "wavtest-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string put(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static Bytes contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::size_t entries() const {
    return std::distance(fs::directory_iterator(dir_), fs::directory_iterator());
  }
  static std::string errorOf(const std::string& path) {
    try {
      ReadWavFile(path);
    } catch (const WavError& error) {
      return error.what();
    }
    return "accepted";
  }

  fs::path dir_;
};

TEST_F(WavFileTest, WrittenFilesReadBackExactly) {
  const std::string path = (dir_ / "out.wav").string();
  std::vector<std::int16_t> slots;
  for (int i = 0; i < 20000; ++i) slots.push_back(std::int16_t(i * 7919));
  slots.push_back(-32768);
  slots.push_back(32767);
  WavWriter writer(path, 44100);
  writer.append(slots.data(), 10000);
  writer.append(slots.data(), 0);
  writer.append(slots.data() + 10000, slots.size() - 10000);
  EXPECT_EQ(writer.frames(), slots.size() / 2);
  writer.finish();
  EXPECT_EQ(entries(), 1U) << "no temporary file may be left";

  const WavAudio audio = ReadWavFile(path);
  EXPECT_EQ(audio.rate, 44100);
  EXPECT_EQ(audio.slots, slots);
  EXPECT_THROW(writer.finish(), std::logic_error);
}

TEST_F(WavFileTest, ToleratesExtensiblePcmPaddingUnknownChunksAndFmtAfterData) {
  const std::vector<std::int16_t> expected = {1, -1, 32767, -32768};
  const std::vector<Bytes> layouts = {
      riff(chunk("fmt ", extensibleFmt(1, kPcmGuidTail)) + chunk("data", kFrames)),
      riff(chunk("junk", "odd") + chunk("LIST", Bytes(26, 'x')) + kStereoFmt +
           chunk("data", kFrames + "\x05") + chunk("LIST", "tail")),
      riff(chunk("data", kFrames) + chunk("fact", le32(2)) + kStereoFmt),
  };
  for (std::size_t i = 0; i < layouts.size(); ++i) {
    const WavAudio audio = ReadWavFile(put("ok" + std::to_string(i) + ".wav", layouts[i]));
    EXPECT_EQ(audio.slots, expected) << "layout " << i;
  }
}

TEST_F(WavFileTest, RefusesUnusableFilesWithMessagesNamingThem) {
  const Bytes data = chunk("data", kFrames);
  const Bytes cut = kStereoFmt + "data" + le32(400) + kFrames;
  const struct {
    Bytes bytes;
    std::string message;
  } cases[] = {
      {"", "not a RIFF/WAVE file"},
      {"RIFF" + le32(4) + "AVI ", "not a RIFF/WAVE file"},
      {riff(data), "no fmt chunk"},
      {riff(kStereoFmt + chunk("LIST", "ab")), "no data chunk"},
      {riff(chunk("fmt ", fmtBody(2, 2, 44100, 4)) + data), "not PCM (format 0x0002"},
      {riff(chunk("fmt ", fmtBody(3, 2, 44100, 32)) + data), "32-bit floating-point"},
      {riff(chunk("fmt ", extensibleFmt(1, Bytes(14, '\x42'))) + data), "not PCM"},
      {riff(chunk("fmt ", fmtBody(1, 2, 44100, 8)) + data),
       "8-bit samples are not supported; use 16-bit stereo PCM"},
      {riff(chunk("fmt ", fmtBody(1, 2, 44100, 24)) + data), "24-bit samples are not supported"},
      {riff(chunk("fmt ", fmtBody(1, 1, 44100, 16)) + data), "mono files are not supported"},
      {riff(chunk("fmt ", fmtBody(1, 6, 44100, 16)) + data), "6-channel files are not"},
      {riff(chunk("fmt ", fmtBody(1, 2, 0, 16)) + data), "sample rate 0 Hz is not supported"},
      {riff(chunk("fmt ", fmtBody(1, 2, 4000000000U, 16)) + data), "sample rate 4000000000 Hz"},
      {riff(cut), "truncated: the data chunk declares 400 bytes but only 8 are present"},
      {riff(chunk("LIST", "ab") + "fmt "), "truncated: it ends inside a chunk header"},
      {riff("LIST" + le32(100) + "ab" + kStereoFmt), "truncated: it ends inside the 'LIST'"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string path = put("bad" + std::to_string(i) + ".wav", cases[i].bytes);
    const std::string what = errorOf(path);
    EXPECT_EQ(what.rfind(path + ": ", 0), 0U) << what;
    EXPECT_NE(what.find(cases[i].message), std::string::npos) << "case " << i << ": " << what;
    EXPECT_EQ(what.find('\n'), std::string::npos) << what;
  }
  EXPECT_NE(errorOf((dir_ / "missing.wav").string()).find("No such file"), std::string::npos);
  EXPECT_NE(errorOf(dir_.string()).find("it is a folder"), std::string::npos);
}

TEST_F(WavFileTest, AbandonedOrFailedWriterLeavesExistingFileAlone) {
  const std::string path = put("keep.wav", "previous render");
  const std::vector<std::int16_t> slots(4096, 123);
  {
    WavWriter writer(path, 48000);
    writer.append(slots.data(), slots.size());
  }
  EXPECT_EQ(contents(path), "previous render");
  EXPECT_EQ(entries(), 1U) << "the abandoned temporary file must be gone";

  // A full disk, stood in for by a file size limit: the write fails instead of killing us.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  const rlimit small{64 * 1024, saved.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(
      {
        WavWriter writer(path, 48000);
        for (int i = 0; i < 64; ++i) writer.append(slots.data(), slots.size());
        writer.finish();
      },
      WavError);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(contents(path), "previous render");
  EXPECT_EQ(entries(), 1U);
}

TEST_F(WavFileTest, WriterRefusesWhatItCannotCreate) {
  EXPECT_THROW(WavWriter((dir_ / "no/such/folder/x.wav").string(), 44100), WavError);
  EXPECT_THROW(WavWriter(dir_.string(), 44100), WavError);
  EXPECT_THROW(WavWriter((dir_ / "x.wav").string(), 0), WavError);
}

}  // namespace
