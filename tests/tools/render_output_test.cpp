// echora-cli render: where its sound goes (files, links, FIFOs, devices, standard output),
// where it comes from when it is a stream, and what an interruption leaves.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/waveaudio/sound_file.h"
#include "tests/tools/render_rig.h"

namespace fs = std::filesystem;

namespace {

class RenderOutput : public RenderRig {
 protected:
  void SetUp() override {
    RenderRig::SetUp();
    input_ = WriteNoise("in.wav", 8000, 4000 * 3 + 10);
    ASSERT_EQ(Cli("render " + Path("in.wav") + " " + Path("expected.wav") + kOptions).status, 0);
    expected_ = ReadTestSound(Path("expected.wav")).slots;
  }

  // Reads from the FIFO at `path` until its writer closes it, or `limit` bytes; gives up
  // after 20 s without a byte, so that a writer that never comes fails the test instead of
  // hanging it.
  static std::string DrainFifo(const std::string& path, std::size_t limit = SIZE_MAX) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    std::string bytes;
    char block[65536];
    pollfd ready{fd, POLLIN, 0};
    while (bytes.size() < limit && poll(&ready, 1, 20000) > 0) {
      const ssize_t n = read(fd, block, std::min(sizeof block, limit - bytes.size()));
      if (n == 0) break;
      if (n > 0) bytes.append(block, static_cast<std::size_t>(n));
    }
    close(fd);
    return bytes;
  }

  // Opens the FIFO at `path` for writing once a reader has it open; -1 after 20 s.
  static int OpenForWriting(const std::string& path) {
    int fd = -1;
    Eventually([&] { return (fd = open(path.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; });
    if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
  }

  // The sound in `bytes` of a WAV stream.
  std::vector<std::int16_t> SoundOf(const std::string& bytes) const {
    std::ofstream(Path("received.wav"), std::ios::binary) << bytes;
    return ReadTestSound(Path("received.wav")).slots;
  }

  // A small file system of its own at `at`, for as long as it lives: root only, as CI runs.
  struct SmallFileSystem {
    std::string at;
    bool ok;
    SmallFileSystem(const std::string& folder, const std::string& size) : at(folder) {
      fs::create_directories(at);
      ok = std::system(
               ("mount -t tmpfs -o size=" + size + " tmpfs " + at + " 2>/dev/null").c_str()) == 0;
    }
    ~SmallFileSystem() {
      if (ok) [[maybe_unused]]
        const int ignored = std::system(("umount " + at).c_str());
    }
  };

  std::vector<std::string> PartialFiles() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      if (entry.path().filename().string().find(".partial-") != std::string::npos) {
        found.push_back(entry.path().string());
      }
    }
    return found;
  }

  static constexpr const char* kOptions = " --multiplier 2 --preset \"Robot 1\"";
  std::vector<std::int16_t> input_;
  std::vector<std::int16_t> expected_;
};

TEST_F(RenderOutput, AReplacedFileKeepsItsModeAndLeavesNoTemporaryFileBehind) {
  std::ofstream(Path("out.wav")) << "previous render";
  ASSERT_EQ(chmod(Path("out.wav").c_str(), 0600), 0);
  const CliRun run = Cli("render " + Path("in.wav") + " " + Path("out.wav") + kOptions);
  ASSERT_EQ(run.status, 0) << run.err;
  struct stat info {};
  ASSERT_EQ(stat(Path("out.wav").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600U);
  EXPECT_EQ(ReadTestSound(Path("out.wav")).slots, expected_);
  EXPECT_TRUE(PartialFiles().empty());
}

TEST_F(RenderOutput, SymbolicLinksAreFollowedToTheFileTheyName) {
  fs::create_directory(Path("real"));
  std::ofstream(Path("real/old.wav")) << "previous render";
  ASSERT_EQ(chmod(Path("real/old.wav").c_str(), 0640), 0);
  fs::create_symlink("real/old.wav", Path("old-link.wav"));
  fs::create_symlink("old-link.wav", Path("link-to-link.wav"));
  fs::create_symlink("real/new.wav", Path("dangling.wav"));
  for (const char* link : {"link-to-link.wav", "dangling.wav"}) {
    const CliRun run = Cli("render " + Path("in.wav") + " " + Path(link) + kOptions);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(Path(link))) << link;
  }
  EXPECT_TRUE(fs::is_symlink(Path("old-link.wav")));
  EXPECT_EQ(ReadTestSound(Path("real/old.wav")).slots, expected_);
  EXPECT_EQ(ReadTestSound(Path("real/new.wav")).slots, expected_);
  EXPECT_EQ(fs::status(Path("real/old.wav")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_TRUE(PartialFiles().empty());
}

TEST_F(RenderOutput, AFileWithOtherHardLinksIsOverwrittenSoEveryNameSeesIt) {
  std::ofstream(Path("out.wav")) << "previous render";
  fs::create_hard_link(Path("out.wav"), Path("alias.wav"));
  const CliRun run = Cli("render " + Path("in.wav") + " " + Path("out.wav") + kOptions);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::equivalent(Path("out.wav"), Path("alias.wav")));
  EXPECT_EQ(fs::hard_link_count(Path("out.wav")), 2U);
  EXPECT_EQ(ReadTestSound(Path("alias.wav")).slots, expected_);
  EXPECT_TRUE(PartialFiles().empty());
}

// A linked file is overwritten in place, so its old bytes are what a failure or an
// interruption could lose: it must end holding the old sound or the whole new one.
class LinkedOutput : public RenderOutput {
 protected:
  void SetUp() override {
    RenderOutput::SetUp();
    // Long enough (at multiplier 2, 250 periods) for signals to land at many moments.
    WriteNoise("long.wav", 8000, 4000 * 250);
    ASSERT_EQ(Cli("render " + Path("long.wav") + " " + Path("new.wav") + " --multiplier 2").status,
              0);
    newBytes_ = Slurp(Path("new.wav"));
  }

  void MakeLinkedOld(const std::string& folder) {
    std::ofstream(folder + "/old.wav") << std::string(20000, 'o');
    fs::remove(folder + "/alias.wav");
    fs::create_hard_link(folder + "/old.wav", folder + "/alias.wav");
  }

  std::string newBytes_;
};

TEST_F(LinkedOutput, AnInterruptAtAnyMomentLeavesTheOldSoundOrTheWholeNewOne) {
  const std::string oldBytes(20000, 'o');
  int sawOld = 0;
  int sawNew = 0;
  for (int attempt = 0; attempt < 15; ++attempt) {
    SCOPED_TRACE(attempt);
    MakeLinkedOld(dir_.string());
    const pid_t pid =
        Start({"render", Path("long.wav"), Path("alias.wav"), "--multiplier", "2"}, Log("err.txt"));
    // Spread over the render, and in odd attempts the moment the file starts to change,
    // which is when bytes are at stake; where each lands does not matter, only that every
    // outcome is whole and truthfully reported.
    if (attempt % 2 == 1) {
      struct stat info {};
      Eventually([&] {
        for (int i = 0; i < 10000; ++i) {
          if (stat(Path("old.wav").c_str(), &info) == 0 && info.st_size != 20000) return true;
        }
        return false;
      });
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10 * attempt * attempt));
    }
    kill(pid, SIGINT);
    const int status = Finish(pid);
    const std::string now = Slurp(Path("old.wav"));
    const std::string said = Slurp(Log("err.txt"));
    EXPECT_TRUE(fs::equivalent(Path("old.wav"), Path("alias.wav")));
    if (now == oldBytes) {
      ++sawOld;
      EXPECT_EQ(said.find("complete and is kept"), std::string::npos) << said;
    } else {
      ++sawNew;
      EXPECT_EQ(now, newBytes_) << "a mix of old and new bytes; " << said;
      EXPECT_TRUE(status == 0 || said.find("complete and is kept") != std::string::npos) << said;
    }
    EXPECT_TRUE(PartialFiles().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 7)
        << "in, expected, long, new, old, alias and the logs";
  }
  EXPECT_GT(sawOld, 0) << "no interruption came before the end";
  EXPECT_GT(sawNew, 0) << "no interruption came while the file was changing";
}

TEST_F(LinkedOutput, TwoRendersOntoNamesOfOneFileEachLeaveItWhole) {
  ASSERT_EQ(Cli("render " + Path("long.wav") + " " + Path("robot.wav") +
                " --multiplier 2 --preset \"Robot 3\"")
                .status,
            0);
  const std::string robotBytes = Slurp(Path("robot.wav"));
  for (int attempt = 0; attempt < 5; ++attempt) {
    MakeLinkedOld(dir_.string());
    const pid_t one =
        Start({"render", Path("long.wav"), Path("old.wav"), "--multiplier", "2"}, Log("one.txt"));
    const pid_t two = Start(
        {"render", Path("long.wav"), Path("alias.wav"), "--multiplier", "2", "--preset", "Robot 3"},
        Log("two.txt"));
    EXPECT_EQ(Finish(one), 0) << Slurp(Log("one.txt"));
    EXPECT_EQ(Finish(two), 0) << Slurp(Log("two.txt"));
    const std::string now = Slurp(Path("old.wav"));
    EXPECT_TRUE(now == newBytes_ || now == robotBytes) << "the two renders' blocks are mixed";
    EXPECT_TRUE(fs::equivalent(Path("old.wav"), Path("alias.wav")));
  }
}

TEST_F(LinkedOutput, WithoutRoomForTheOldSoundAsideTheFileIsLeftAsItWas) {
  const std::string small = Path("small");
  const SmallFileSystem mounted(small, "8M");
  if (!mounted.ok) GTEST_SKIP() << "mounting a small file system needs root";
  // 8 MiB holds the new render (4 MB) and the old file, not also a copy of it.
  std::ofstream(small + "/old.wav") << std::string(3'500'000, 'o');
  fs::create_hard_link(small + "/old.wav", small + "/alias.wav");
  // Through a pipe, whose length is not known before it ends: the lack of room shows only
  // when the finished render is to replace the file.
  const std::string command = "cat " + Path("long.wav") + " | " + ECHORA_CLI + " render - " +
                              small + "/alias.wav --multiplier 2 2>" + Log("err.txt");
  const CliRun run{WEXITSTATUS(std::system(command.c_str())), Slurp(Log("err.txt")), ""};
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("left as it was"), std::string::npos) << run.err;
  EXPECT_EQ(Slurp(small + "/old.wav"), std::string(3'500'000, 'o'));
  EXPECT_EQ(std::distance(fs::directory_iterator(small), fs::directory_iterator()), 2);
}

TEST_F(LinkedOutput, AnOutputTheDiskCannotHoldIsRefusedBeforeTheRender) {
  const std::string small = Path("small");
  const SmallFileSystem mounted(small, "2M");
  if (!mounted.ok) GTEST_SKIP() << "mounting a small file system needs root";
  // The input declares 4 MB of sound at 8000 Hz; a disk found full only while writing
  // would say "No space left on device" after the render.
  const pid_t pid = Start({"render", Path("long.wav"), small + "/out.wav"}, Log("err.txt"));
  int status = 0;
  const bool ended = Eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; });
  if (!ended) Finish(pid);
  ASSERT_TRUE(ended);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string said = Slurp(Log("err.txt"));
  EXPECT_NE(said.find("not enough space: the output needs about 4 MiB, and "), std::string::npos)
      << said;
  EXPECT_TRUE(fs::is_empty(small));
}

TEST_F(RenderOutput, DescriptorNamesReachWhatTheyHoldPipesIncluded) {
  for (const std::string name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
    SCOPED_TRACE(name);
    const std::string command = std::string(ECHORA_CLI) + " render " + Path("in.wav") + " " + name +
                                kOptions + " 2>" + Log("err.txt") + " | cat >" + Path("piped.wav");
    ASSERT_EQ(WEXITSTATUS(std::system(command.c_str())), 0) << Slurp(Log("err.txt"));
    EXPECT_EQ(ReadTestSound(Path("piped.wav")).slots, expected_);
  }
  // Another descriptor than standard output, here a file the shell opened.
  const std::string command = std::string(ECHORA_CLI) + " render " + Path("in.wav") + " /dev/fd/5" +
                              kOptions + " 5>" + Path("five.wav");
  ASSERT_EQ(WEXITSTATUS(std::system(command.c_str())), 0);
  EXPECT_EQ(ReadTestSound(Path("five.wav")).slots, expected_);
  const CliRun closed = Cli("render " + Path("in.wav") + " /dev/fd/9");
  EXPECT_EQ(closed.status, 1);
  EXPECT_NE(closed.err.find("descriptor 9 is not open"), std::string::npos) << closed.err;
}

TEST_F(RenderOutput, APathThatCannotBeWrittenIsRefusedBeforeTheRender) {
  const std::string wav = Slurp(Path("in.wav"));
  const struct {
    std::string output;
    const char* says;
  } cases[] = {
      {Path("nowhere/out.wav"), "there is no folder"},
      {Path("nowhere/"), "is a folder's"},
      {Path(std::string(256, 'a') + ".wav"), "this file system allows 255"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    // The input is a stream that has begun and does not end while the render could run:
    // only a refusal before the render lets the program end.
    fs::remove(Path("in.fifo"));
    ASSERT_EQ(mkfifo(Path("in.fifo").c_str(), 0644), 0);
    const pid_t pid = Start({"render", Path("in.fifo"), c.output}, Log("err.txt"));
    const int fifo = OpenForWriting(Path("in.fifo"));
    ASSERT_GE(fifo, 0);
    ASSERT_EQ(write(fifo, wav.data(), wav.size() / 2), static_cast<ssize_t>(wav.size() / 2));
    int status = 0;
    const bool ended = Eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; });
    close(fifo);
    if (!ended) Finish(pid);
    ASSERT_TRUE(ended) << "the render ran before the output was checked";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string said = Slurp(Log("err.txt"));
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
}

TEST_F(RenderOutput, AFifoIsWrittenThroughAfterSayingItWaitsForAReader) {
  ASSERT_EQ(mkfifo(Path("out.fifo").c_str(), 0644), 0);
  const pid_t pid = Start(
      {"render", Path("in.wav"), Path("out.fifo"), "--multiplier", "2", "--preset", "Robot 1"},
      Log("err.txt"));
  const bool said = Eventually([&] {
    return Slurp(Log("err.txt")).find("waiting for a program to read") != std::string::npos;
  });
  const std::string bytes = DrainFifo(Path("out.fifo"));
  EXPECT_EQ(Finish(pid), 0) << Slurp(Log("err.txt"));
  EXPECT_TRUE(said) << Slurp(Log("err.txt"));
  EXPECT_TRUE(fs::is_fifo(Path("out.fifo")));
  EXPECT_EQ(SoundOf(bytes), expected_);
}

TEST_F(RenderOutput, StandardOutputTakesTheSoundWhenTheOutputIsADash) {
  FILE* pipe =
      popen((std::string(ECHORA_CLI) + " render " + Path("in.wav") + " -" + kOptions).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string bytes;
  char block[65536];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;) bytes.append(block, n);
  EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 0);
  EXPECT_EQ(SoundOf(bytes), expected_);
  // The header was written first, for the length the render was going to have.
  const std::vector<unsigned char> header = WavStreamHeader(8000, expected_.size() / 2);
  ASSERT_GT(bytes.size(), header.size());
  EXPECT_EQ(std::memcmp(bytes.data(), header.data(), header.size()), 0);
}

TEST_F(RenderOutput, ACharacterDeviceIsWrittenInPlaceNeverReplaced) {
  // A node of the null device in our own folder: the real /dev is never touched.
  if (mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "making a device node needs root: " << std::strerror(errno);
  }
  const CliRun run = Cli("render " + Path("in.wav") + " " + Path("null") + kOptions);
  EXPECT_EQ(run.status, 0) << run.err;
  struct stat info {};
  ASSERT_EQ(stat(Path("null").c_str(), &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
  EXPECT_EQ(info.st_rdev, makedev(1, 3));
  EXPECT_TRUE(PartialFiles().empty());
}

TEST_F(RenderOutput, AFifoInputWithNoWriterIsAnnouncedThenReadAsAStream) {
  ASSERT_EQ(mkfifo(Path("in.fifo").c_str(), 0644), 0);
  const pid_t pid = Start(
      {"render", Path("in.fifo"), Path("out.wav"), "--multiplier", "2", "--preset", "Robot 1"},
      Log("err.txt"));
  const bool said = Eventually([&] {
    return Slurp(Log("err.txt")).find("waiting for a program to write to") != std::string::npos;
  });
  const int fifo = OpenForWriting(Path("in.fifo"));
  ASSERT_GE(fifo, 0);
  const std::string wav = Slurp(Path("in.wav"));
  EXPECT_EQ(write(fifo, wav.data(), wav.size()), static_cast<ssize_t>(wav.size()));
  close(fifo);
  EXPECT_EQ(Finish(pid), 0) << Slurp(Log("err.txt"));
  EXPECT_TRUE(said) << Slurp(Log("err.txt"));
  EXPECT_EQ(ReadTestSound(Path("out.wav")).slots, expected_);
}

TEST_F(RenderOutput, StandardInputIsReadAsAStream) {
  const std::string command = "cat " + Path("in.wav") + " | " + ECHORA_CLI + " render - " +
                              Path("out.wav") + kOptions + " 2>" + Log("err.txt");
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 0) << Slurp(Log("err.txt"));
  EXPECT_EQ(ReadTestSound(Path("out.wav")).slots, expected_);
}

TEST_F(RenderOutput, AnInterruptedRenderRemovesItsPartialFileAndLeavesTheOldOne) {
  // The input comes through a FIFO, given only in part, so that the render is sure to be
  // under way, its partial file on disk, when the signal comes.
  const std::string wav = Slurp(Path("in.wav"));
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    std::ofstream(Path("out.wav")) << "previous render";
    fs::remove(Path("in.fifo"));
    ASSERT_EQ(mkfifo(Path("in.fifo").c_str(), 0644), 0);
    const pid_t pid =
        Start({"render", Path("in.fifo"), Path("out.wav"), "--multiplier", "2"}, Log("err.txt"));
    const int fifo = OpenForWriting(Path("in.fifo"));
    ASSERT_GE(fifo, 0);
    ASSERT_EQ(write(fifo, wav.data(), wav.size() / 2), static_cast<ssize_t>(wav.size() / 2));
    const bool started = Eventually([&] { return !PartialFiles().empty(); });
    kill(pid, signal);
    EXPECT_EQ(Finish(pid), -signal);
    close(fifo);
    EXPECT_TRUE(started);
    EXPECT_TRUE(PartialFiles().empty()) << PartialFiles().front();
    EXPECT_EQ(Slurp(Path("out.wav")), "previous render");
    EXPECT_NE(Slurp(Log("err.txt")).find("interrupted"), std::string::npos);
  }
}

TEST_F(RenderOutput, AnOutputPastFourGiBIsAnnouncedAsRf64FromItsFirstBytes) {
  // 135 million frames at 5510 Hz come out at 44100 Hz as over 4 GiB. The input is sparse:
  // a header and zeros the file system does not store.
  const std::uint64_t frames = 135'000'000;
  const std::vector<unsigned char> header = WavStreamHeader(5510, frames);
  std::ofstream(Path("long.wav"), std::ios::binary)
      .write(reinterpret_cast<const char*>(header.data()), static_cast<long>(header.size()));
  fs::resize_file(Path("long.wav"), header.size() + 4 * frames);
  ASSERT_EQ(mkfifo(Path("out.fifo").c_str(), 0644), 0);
  const pid_t pid =
      Start({"render", Path("long.wav"), Path("out.fifo"), "--rate", "44100"}, Log("err.txt"));
  const std::string start = DrainFifo(Path("out.fifo"), 4);
  kill(pid, SIGTERM);
  Finish(pid);
  EXPECT_EQ(start, "RF64") << Slurp(Log("err.txt"));
}

}  // namespace
