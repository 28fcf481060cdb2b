#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/waveaudio/wav_file.h"
#include "tests/support/echo_reference.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
  int status;
  std::string err;
  std::string out;
};

class RenderCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("echora-cli-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  CliRun Cli(const std::string& args) const {
    const std::string out = Path("stdout.txt");
    const std::string err = Path("stderr.txt");
    const std::string command =
        std::string(ECHORA_CLI) + " " + args + " >" + out + " 2>" + err + " </dev/null";
    const int raw = std::system(command.c_str());
    return {WEXITSTATUS(raw), Slurp(err), Slurp(out)};
  }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::vector<std::int16_t> WriteNoise(const std::string& name, std::int32_t rate,
                                       std::size_t frames) const {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> sample(-20000, 20000);
    std::vector<std::int16_t> slots(2 * frames);
    for (auto& s : slots) s = static_cast<std::int16_t>(sample(random));
    WavWriter writer(Path(name), rate);
    writer.append(slots.data(), slots.size());
    writer.finish();
    return slots;
  }

  void WriteBytes(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }

  fs::path dir_;
};

std::string Le32(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}
std::string Le16(std::uint16_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8)};
}

std::string WavBytes(std::uint16_t channels, std::uint16_t bits, std::uint32_t dataBytes,
                     std::uint32_t declaredDataBytes) {
  const std::uint16_t align = channels * bits / 8;
  std::string fmt =
      Le16(1) + Le16(channels) + Le32(8000) + Le32(8000 * align) + Le16(align) + Le16(bits);
  std::string data(dataBytes, '\1');
  return "RIFF" + Le32(4 + 8 + 16 + 8 + declaredDataBytes) + "WAVE" + "fmt " + Le32(16) + fmt +
         "data" + Le32(declaredDataBytes) + data;
}

}  // namespace

TEST_F(RenderCli, HelpListsEveryOptionAndWhatTheAlignedOutputHolds) {
  const CliRun run = Cli("--help");
  EXPECT_EQ(run.status, 0);
  for (const char* option : {"render", "--preset", "--delay-ms", "--repeats", "--volume", "--rate",
                             "--multiplier", "--no-echo", "--device-stream", "Robot 3"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
  EXPECT_NE(run.out.find("first buffer period of the output is silence"), std::string::npos);
}

TEST_F(RenderCli, AlignedOutputIsTheEchoOfTheInputSampleForSample) {
  // 8000 Hz, multiplier 2: a period is 4000 frames; the delay of 100 ms is 800 frames.
  const auto input = WriteNoise("in.wav", 8000, 4000 * 5 + 1234);
  const CliRun run = Cli("render " + Path("in.wav") + " " + Path("out.wav") +
                         " --multiplier 2 --delay-ms 100 --repeats 2 --volume 140");
  ASSERT_EQ(run.status, 0) << run.err;
  const WavAudio out = ReadWavFile(Path("out.wav"));
  EXPECT_EQ(out.rate, 8000);
  const auto expected = ReferenceAlignedOutput(input, 4000, 33, 1600, 140);
  ASSERT_EQ(out.slots.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(out.slots[i], expected[i]) << "slot " << i;
  }
}

TEST_F(RenderCli, DeviceStreamStartsWithFourSilentPeriodsThenTheAlignedOutput) {
  const auto input = WriteNoise("in.wav", 8000, 4000 * 3);
  ASSERT_EQ(Cli("render " + Path("in.wav") + " " + Path("aligned.wav") +
                " --multiplier 2 "
                "--preset \"Robot 1\"")
                .status,
            0);
  const CliRun run = Cli("render " + Path("in.wav") + " " + Path("device.wav") +
                         " --multiplier 2 --preset \"Robot 1\" --device-stream");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto aligned = ReadWavFile(Path("aligned.wav")).slots;
  const auto device = ReadWavFile(Path("device.wav")).slots;
  ASSERT_EQ(device.size(), 2u * 4000 * (3 + 4));
  EXPECT_TRUE(
      std::all_of(device.begin(), device.begin() + 2 * 4000 * 4, [](auto s) { return s == 0; }));
  EXPECT_TRUE(std::equal(aligned.begin(), aligned.end(), device.begin() + 2 * 4000 * 4));
}

TEST_F(RenderCli, NoEchoPassesTheSoundUnchangedAfterTheDroppedFirstPeriod) {
  const auto input = WriteNoise("in.wav", 11025, 5513 * 3);
  const CliRun run =
      Cli("render " + Path("in.wav") + " " + Path("out.wav") + " --no-echo --multiplier 2");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto out = ReadWavFile(Path("out.wav")).slots;
  ASSERT_EQ(out.size(), input.size());
  const std::size_t period = 2 * 5513;  // slots; 2 x 11025 + 3 bytes rounds up to 22052
  EXPECT_TRUE(std::all_of(out.begin(), out.begin() + period, [](auto s) { return s == 0; }));
  EXPECT_TRUE(std::equal(out.begin() + period, out.end(), input.begin() + period));
}

TEST_F(RenderCli, UnusableInputGetsOneLineAndStatusTwoAndLeavesNoOutput) {
  WriteBytes("mono.wav", WavBytes(1, 16, 400, 400));
  WriteBytes("eight.wav", WavBytes(2, 8, 400, 400));
  WriteBytes("short.wav", WavBytes(2, 16, 400, 4000));
  WriteBytes("text.wav", "this is not a sound file at all");
  for (const char* name : {"missing.wav", "mono.wav", "eight.wav", "short.wav", "text.wav"}) {
    const CliRun run = Cli("render " + Path(name) + " " + Path("out.wav"));
    EXPECT_EQ(run.status, 2) << name;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << name << ": " << run.err;
    EXPECT_FALSE(fs::exists(Path("out.wav"))) << name;
  }
}

TEST_F(RenderCli, BadOptionsAndRatesAreRefusedWithStatusTwo) {
  WriteNoise("in.wav", 48000, 100);
  const std::string files = Path("in.wav") + " " + Path("out.wav");
  EXPECT_EQ(Cli("render " + files).status, 2);  // 48000 Hz is not a processor rate
  EXPECT_EQ(Cli("render " + files + " --rate 44100 --repeats 11").status, 2);
  EXPECT_EQ(Cli("render " + files + " --rate 44100 --volume 0").status, 2);
  EXPECT_EQ(Cli("render " + files + " --rate 44100 --multiplier 100").status, 2);
  EXPECT_EQ(Cli("render " + files + " --rate 44100 --preset Cave").status, 2);
  EXPECT_EQ(Cli("render " + files + " --rate 44100 --loud").status, 2);
  EXPECT_FALSE(fs::exists(Path("out.wav")));
  EXPECT_EQ(Cli("render " + files + " --rate 44100").status, 0);
}

TEST_F(RenderCli, MultiplierIsLoweredToFitTheLargestBuffer) {
  WriteNoise("in.wav", 44100, 100);
  const CliRun run = Cli("render " + Path("in.wav") + " " + Path("out.wav") + " --multiplier 11");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("lowered to 10"), std::string::npos) << run.err;
}

TEST_F(RenderCli, AFullDiskEndsTheRenderWithStatusOneAndNoOutput) {
  WriteNoise("in.wav", 8000, 4000 * 6);
  // A file-size limit of 20 KiB, with its signal ignored, stands in for a full disk.
  const std::string command = "ulimit -f 40; trap \"\" XFSZ; " + std::string(ECHORA_CLI) +
                              " render " + Path("in.wav") + " " + Path("out.wav") +
                              " --multiplier 2 2>" + Path("err.txt");
  const int raw = std::system(command.c_str());
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  const std::string message = Slurp(Path("err.txt"));
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
  EXPECT_FALSE(fs::exists(Path("out.wav")));
}
