// A sound file heard by the virtual card: at its own rate sample for sample; at another,
// converted by libsoxr so that what the new rate cannot carry is gone, in whatever blocks
// the card asks for, and as long as the file.
#include "platform/waveaudio/file_source.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/sound_files.h"

namespace {

namespace fs = std::filesystem;

class FileSourceOnAFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "filesource-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A source over a 16-bit WAV file of `slots` at `fileRate`, heard at `rate`.
  std::unique_ptr<FileSource> Source(const std::vector<std::int16_t>& slots, int fileRate,
                                     int rate) {
    const std::string path = (dir_ / ("in" + std::to_string(files_++) + ".wav")).string();
    WriteTestSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, fileRate, 2, slots);
    return std::make_unique<FileSource>(std::make_unique<SoundFileReader>(path), rate);
  }

  // Everything the source gives in blocks of `block` frames, `frames` in all.
  static std::vector<std::int16_t> Hear(FileSource& source, std::size_t frames, std::size_t block,
                                        int rate) {
    std::vector<std::int16_t> slots(2 * frames);
    for (std::size_t at = 0; at < frames; at += block) {
      source.Read(slots.data() + 2 * at, std::min(block, frames - at), rate);
    }
    return slots;
  }

  fs::path dir_;
  int files_ = 0;
};

TEST_F(FileSourceOnAFile, AtItsOwnRateTheFileIsHeardSampleForSampleThenSilence) {
  const std::vector<std::int16_t> tone = StereoTone(440, 11025, 5000, 30000);
  auto source = Source(tone, 11025, 11025);
  ASSERT_EQ(source->DeclaredFrames(), 5000U);
  const std::vector<std::int16_t> heard = Hear(*source, 6000, 777, 11025);
  EXPECT_TRUE(std::equal(tone.begin(), tone.end(), heard.begin()));
  EXPECT_TRUE(std::all_of(heard.begin() + 10000, heard.end(), [](auto s) { return s == 0; }));
  EXPECT_TRUE(source->Ended());
  EXPECT_EQ(source->HeardFrames(), 5000U);
}

TEST_F(FileSourceOnAFile, ConversionRemovesAToneAboveTheNewNyquistAndKeepsOneBelow) {
  // 5 kHz cannot exist at 8000 Hz; linear interpolation folds it to 3 kHz at nearly full
  // level. 1 kHz must come through whole.
  const int seconds = 2;
  for (const double hertz : {5000.0, 1000.0}) {
    SCOPED_TRACE(hertz);
    const std::vector<std::int16_t> tone = StereoTone(hertz, 44100, 44100 * seconds, 16000);
    auto source = Source(tone, 44100, 8000);
    const std::vector<std::int16_t> heard = Hear(*source, 8000 * seconds, 2000, 8000);
    // The middle second: away from the filter's response to the tone starting and stopping.
    const double level = Rms(heard, 2 * 4000, 2 * 12000) / Rms(tone, 0, tone.size());
    if (hertz > 4000) {
      EXPECT_LT(20 * std::log10(level), -60.0);
    } else {
      EXPECT_NEAR(20 * std::log10(level), 0.0, 0.5);
      // Still 1 kHz: two zero crossings a cycle.
      int crossings = 0;
      for (std::size_t i = 2 * 4000; i < 2 * 12000; i += 2) {
        crossings += (heard[i] < 0) != (heard[i + 2] < 0);
      }
      EXPECT_NEAR(crossings, 2000, 4);
    }
  }
}

TEST_F(FileSourceOnAFile, ConversionGivesTheSameSoundInAnyBlocksAndKeepsTheLength) {
  const std::vector<std::int16_t> tone = StereoTone(700, 22050, 30001, 20000);
  auto whole = Source(tone, 22050, 32000);
  auto pieces = Source(tone, 22050, 32000);
  // 30001 frames at 22050 Hz last 43539.2 frames at 32000 Hz.
  ASSERT_EQ(whole->DeclaredFrames(), 43539U);
  const std::vector<std::int16_t> once = Hear(*whole, 50000, 50000, 32000);
  const std::vector<std::int16_t> inBits = Hear(*pieces, 50000, 333, 32000);
  EXPECT_EQ(once, inBits);
  for (const FileSource* source : {whole.get(), pieces.get()}) {
    EXPECT_TRUE(source->Ended());
    EXPECT_NEAR(static_cast<double>(source->HeardFrames()), 43539.0, 1.0);
  }
  EXPECT_TRUE(std::all_of(once.begin() + 2 * 43541, once.end(), [](auto s) { return s == 0; }));
}

}  // namespace
