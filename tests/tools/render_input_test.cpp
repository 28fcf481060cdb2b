// echora-cli render: what it makes of inputs that are cut short, lie about their length,
// hold no sound, come through a pipe, or run at a rate the processor lacks.
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tests/tools/render_rig.h"

namespace fs = std::filesystem;

namespace {

class RenderInput : public RenderRig {
 protected:
  // The first `bytes` bytes of `from` as `to`.
  void Cut(const std::string& from, const std::string& to, std::size_t bytes) const {
    const std::string whole = Slurp(Path(from));
    std::ofstream(Path(to), std::ios::binary) << whole.substr(0, bytes);
  }

  // The number of frames in the WAV file `name`, as libsndfile reads it.
  std::size_t FramesOf(const std::string& name) const {
    return ReadTestSound(Path(name)).slots.size() / 2;
  }

  static std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  }
};

TEST_F(RenderInput, AFlacWhoseHeaderClaimsHoursRendersOnlyTheSoundItHolds) {
  WriteNoise("in.flac", 8000, 8000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  // STREAMINFO's total sample count, 36 bits ending at byte 25, made 51 hours.
  std::string bytes = Slurp(Path("in.flac"));
  ASSERT_EQ(bytes.substr(0, 4), "fLaC");
  const std::uint64_t claimed = std::uint64_t{8000} * 3600 * 51;
  bytes[21] = static_cast<char>((bytes[21] & 0xF0) | (claimed >> 32));
  for (int i = 0; i < 4; ++i) bytes[22 + i] = static_cast<char>(claimed >> (8 * (3 - i)));
  std::ofstream(Path("lying.flac"), std::ios::binary) << bytes;

  const CliRun run = Cli("render " + Path("lying.flac") + " " + Path("out.wav"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(FramesOf("out.wav"), 8000U);
  EXPECT_NE(run.err.find("ends after 1.0 s of the 51 h 0 min its header announces"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Lines(run.err), 1U) << run.err;
}

TEST_F(RenderInput, AFileCutShortRendersWhatItHoldsWithOneNoteInEveryFormat) {
  WriteNoise("whole.wav", 8000, 24000);
  WriteNoise("whole.flac", 8000, 24000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  WriteNoise("whole.aiff", 8000, 24000, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
  for (const std::string kind : {"wav", "flac", "aiff"}) {
    SCOPED_TRACE(kind);
    Cut("whole." + kind, "cut." + kind, fs::file_size(Path("whole." + kind)) / 3);
    const CliRun run = Cli("render " + Path("cut." + kind) + " " + Path("out.wav"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("of the 3.0 s its header announces"), std::string::npos) << run.err;
    EXPECT_EQ(Lines(run.err), 1U) << run.err;
    const std::size_t frames = FramesOf("out.wav");
    EXPECT_GT(frames, 4000U);
    EXPECT_LT(frames, 12000U);
  }
  // The note says how far the sound went: a WAV file keeps every whole frame it holds.
  const CliRun wav = Cli("render " + Path("cut.wav") + " " + Path("out.wav"));
  EXPECT_EQ(FramesOf("out.wav"), (fs::file_size(Path("cut.wav")) - 44) / 4);
}

TEST_F(RenderInput, AnInputWithNoSoundIsRefusedAndLeavesNoOutput) {
  WriteNoise("whole.flac", 8000, 8000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  // Up to the first audio frame: "fLaC", then metadata blocks, each with a 4-byte header
  // whose top bit marks the last.
  const std::string flac = Slurp(Path("whole.flac"));
  std::size_t end = 4;
  for (bool last = false; !last && end + 4 <= flac.size();) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(flac[end + i]); };
    last = (byte(0) & 0x80) != 0;
    end += 4 + (std::size_t{byte(1)} << 16 | std::size_t{byte(2)} << 8 | byte(3));
  }
  Cut("whole.flac", "header-only.flac", end);
  WriteTestSound(Path("empty.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 2, {});
  for (const std::string name : {"header-only.flac", "empty.wav"}) {
    SCOPED_TRACE(name);
    const CliRun run = Cli("render " + Path(name) + " " + Path("out.wav"));
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("holds no sound"), std::string::npos) << run.err;
    EXPECT_EQ(Lines(run.err), 1U) << run.err;
    EXPECT_FALSE(fs::exists(Path("out.wav")));
  }
}

TEST_F(RenderInput, ARateTheProcessorLacksIsConvertedToTheNearestWithANote) {
  const struct {
    int fileRate;
    int rate;
  } cases[] = {{48000, 44100}, {96000, 44100}, {12000, 11025}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fileRate);
    WriteNoise("in.wav", c.fileRate, static_cast<std::size_t>(c.fileRate));
    const CliRun run = Cli("render " + Path("in.wav") + " " + Path("out.wav"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("does not run at " + std::to_string(c.fileRate) +
                           " Hz; the input is converted to " + std::to_string(c.rate) + " Hz"),
              std::string::npos)
        << run.err;
    const TestSound out = ReadTestSound(Path("out.wav"));
    EXPECT_EQ(out.rate, c.rate);
    EXPECT_NEAR(static_cast<double>(out.slots.size() / 2), c.rate, 1.0);
  }
  // Given, the rate is taken without a note.
  const CliRun given = Cli("render " + Path("in.wav") + " " + Path("out.wav") + " --rate 8000");
  EXPECT_EQ(given.status, 0);
  EXPECT_TRUE(given.err.empty()) << given.err;
}

TEST_F(RenderInput, AFlacOnAPipeIsAskedForAsAFile) {
  WriteNoise("in.flac", 8000, 8000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  const std::string command = "cat " + Path("in.flac") + " | " + ECHORA_CLI + " render - " +
                              Path("out.wav") + " 2>" + Log("err.txt");
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 2);
  const std::string said = Slurp(Log("err.txt"));
  EXPECT_NE(said.find("give it as a file"), std::string::npos) << said;
  EXPECT_EQ(Lines(said), 1U) << said;
}

TEST_F(RenderInput, SimpleReadersTakeTheWavOutput) {
  // Python's wave module knows plain PCM only, as many small readers do.
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
  WriteNoise("in.wav", 8000, 12000);
  ASSERT_EQ(Cli("render " + Path("in.wav") + " " + Path("out.wav")).status, 0);
  const std::string script = "import wave; w = wave.open('" + Path("out.wav") +
                             "'); print(w.getnframes(), w.getframerate(), w.getsampwidth())";
  const std::string command = "/usr/bin/python3 -c \"" + script + "\" >" + Log("py.txt") + " 2>&1";
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 0) << Slurp(Log("py.txt"));
  EXPECT_EQ(Slurp(Log("py.txt")), "12000 8000 2\n");
}

}  // namespace
