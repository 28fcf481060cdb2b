// echora-cli render against a few hundred damaged files, made here from a fixed seed out of
// good WAV, FLAC, Ogg and AIFF files: every one must end in time, by itself, with an exit
// status of its own, and with no output longer than the damaged file could hold.
#include <sys/wait.h>

#include <random>
#include <string>
#include <vector>

#include "tests/tools/render_rig.h"

namespace fs = std::filesystem;

namespace {

class RenderCorpus : public RenderRig {
 protected:
  // One way of damaging `bytes`, chosen by `random`.
  static void Damage(std::string& bytes, std::mt19937& random) {
    const auto at = [&](std::size_t limit) {
      return std::uniform_int_distribution<std::size_t>(0, limit - 1)(random);
    };
    const std::size_t header = std::min<std::size_t>(bytes.size(), 128);
    switch (at(5)) {
      case 0:  // bytes of the header changed
        for (std::size_t n = 1 + at(4); n > 0; --n) bytes[at(header)] = static_cast<char>(at(256));
        break;
      case 1:  // bytes anywhere changed
        for (std::size_t n = 1 + at(16); n > 0; --n) {
          bytes[at(bytes.size())] = static_cast<char>(at(256));
        }
        break;
      case 2:  // cut short
        bytes.resize(at(bytes.size()));
        break;
      case 3: {  // a size or count in the header made huge, wherever it lies
        const std::size_t field = at(header);
        const std::uint32_t value = 0x7FFFFFF0U + static_cast<std::uint32_t>(at(16));
        for (int i = 0; i < 4 && field + i < bytes.size(); ++i) {
          bytes[field + i] = static_cast<char>(value >> (8 * i));
        }
        break;
      }
      default: {  // a slice repeated
        const std::size_t from = at(bytes.size());
        const std::size_t length = std::min(bytes.size() - from, 1 + at(4096));
        bytes.insert(at(bytes.size()), bytes.substr(from, length));
        break;
      }
    }
  }
};

TEST_F(RenderCorpus, DamagedFilesEndInTimeByThemselvesWithOutputsTheyCanHold) {
  WriteNoise("base.wav", 8000, 4000);
  WriteNoise("base24.wav", 11025, 3000, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
  WriteNoise("base.flac", 8000, 4000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  WriteNoise("base.ogg", 8000, 4000, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
  WriteNoise("base.aiff", 8000, 4000, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
  const std::vector<std::string> bases = {"base.wav", "base24.wav", "base.flac", "base.ogg",
                                          "base.aiff"};
  std::vector<std::string> originals;
  for (const std::string& name : bases) originals.push_back(Slurp(Path(name)));

  std::mt19937 random(20261207);
  int refused = 0;
  int rendered = 0;
  for (int i = 0; i < 300; ++i) {
    const std::size_t base = static_cast<std::size_t>(i) % bases.size();
    std::string bytes = originals[base];
    Damage(bytes, random);
    const std::string input = Path("damaged" + fs::path(bases[base]).extension().string());
    std::ofstream(input, std::ios::binary) << bytes;
    fs::remove(Path("out.wav"));
    SCOPED_TRACE("damaged file " + std::to_string(i) + " from " + bases[base]);

    const pid_t pid = Start({"render", input, Path("out.wav"), "--multiplier", "2"}, Log("err"));
    int status = 0;
    const bool ended = Eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; });
    if (!ended) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      fs::copy_file(input, Path("hung-" + std::to_string(i)));
      ADD_FAILURE() << "still running after 20 s; kept as hung-" << i;
      continue;
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    const int code = WEXITSTATUS(status);
    EXPECT_TRUE(code == 0 || code == 2) << code << ": " << Slurp(Log("err"));
    (code == 0 ? rendered : refused) += 1;
    if (code != 0) {
      EXPECT_FALSE(fs::exists(Path("out.wav")));
      continue;
    }
    // At the most, a byte of the file is a frame of 8-bit mono at 1000 Hz, which the
    // processor hears at 5510 Hz as 4-byte frames; compressed data can hold more, but not
    // a thousand times more.
    const std::uintmax_t most = 44 + 1000 * 4 * 6 * std::uintmax_t{bytes.size()};
    EXPECT_LE(fs::file_size(Path("out.wav")), most) << Slurp(Log("err"));
  }
  // Both kinds of outcome happen, or the damage was not the kind that tests anything.
  EXPECT_GT(refused, 30);
  EXPECT_GT(rendered, 30);
}

}  // namespace
