// echora-cli render: what it makes of its input and options.
#include <pty.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/echo_reference.h"
#include "tests/tools/render_rig.h"

namespace fs = std::filesystem;

namespace {

using RenderCli = RenderRig;

TEST_F(RenderCli, HelpListsEveryOptionAndWhatTheAlignedOutputHolds) {
  const CliRun run = Cli("--help");
  EXPECT_EQ(run.status, 0);
  for (const char* option : {"render", "--preset", "--delay-ms", "--repeats", "--volume", "--rate",
                             "--multiplier", "--no-echo", "--device-stream", "Robot 3", "live",
                             "--seconds", "--latency-ms", "devices", "--server"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
  EXPECT_NE(run.out.find("first buffer period of the output is silence"), std::string::npos);
  const CliRun render = Cli("render --help");
  EXPECT_EQ(render.status, 0);
  EXPECT_NE(render.out.find("--device-stream"), std::string::npos);
  EXPECT_EQ(render.out.find("--latency-ms"), std::string::npos) << "live's options";
}

TEST_F(RenderCli, AlignedOutputIsTheEchoOfTheInputSampleForSample) {
  // 8000 Hz, multiplier 2: a period is 4000 frames; the delay of 100 ms is 800 frames.
  const auto input = WriteNoise("in.wav", 8000, 4000 * 5 + 1234);
  const CliRun run = Cli("render " + Path("in.wav") + " " + Path("out.wav") +
                         " --multiplier 2 --delay-ms 100 --repeats 2 --volume 140");
  ASSERT_EQ(run.status, 0) << run.err;
  const TestSound out = ReadTestSound(Path("out.wav"));
  EXPECT_EQ(out.rate, 8000);
  const auto expected = ReferenceAlignedOutput(input, 4000, 33, 1600, 140);
  ASSERT_EQ(out.slots.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(out.slots[i], expected[i]) << "slot " << i;
  }
}

TEST_F(RenderCli, DeviceStreamStartsWithFourSilentPeriodsThenTheAlignedOutput) {
  WriteNoise("in.wav", 8000, 4000 * 3);
  ASSERT_EQ(Cli("render " + Path("in.wav") + " " + Path("aligned.wav") +
                " --multiplier 2 --preset \"Robot 1\"")
                .status,
            0);
  const CliRun run = Cli("render " + Path("in.wav") + " " + Path("device.wav") +
                         " --multiplier 2 --preset \"Robot 1\" --device-stream");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto aligned = ReadTestSound(Path("aligned.wav")).slots;
  const auto device = ReadTestSound(Path("device.wav")).slots;
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
  const auto out = ReadTestSound(Path("out.wav")).slots;
  ASSERT_EQ(out.size(), input.size());
  const std::size_t period = 2 * 5513;  // slots; 2 x 11025 + 3 bytes rounds up to 22052
  EXPECT_TRUE(std::all_of(out.begin(), out.begin() + period, [](auto s) { return s == 0; }));
  EXPECT_TRUE(std::equal(out.begin() + period, out.end(), input.begin() + period));
}

TEST_F(RenderCli, OtherFileKindsInAndFlacOutRenderTheSameSound) {
  const auto input = WriteNoise("in.wav", 8000, 4000 * 3 + 77);
  const std::string options = " --multiplier 2 --preset \"Robot 2\"";
  ASSERT_EQ(Cli("render " + Path("in.wav") + " " + Path("out.wav") + options).status, 0);
  const auto expected = ReadTestSound(Path("out.wav")).slots;
  WriteTestSound(Path("in.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, 2, input);
  WriteTestSound(Path("in.aiff"), SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 8000, 2, input);
  WriteTestSound(Path("in-float.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000, 2, input);
  for (const char* name : {"in.flac", "in.aiff", "in-float.wav"}) {
    SCOPED_TRACE(name);
    const CliRun run = Cli("render " + Path(name) + " " + Path("out.flac") + options);
    ASSERT_EQ(run.status, 0) << run.err;
    const TestSound out = ReadTestSound(Path("out.flac"));
    EXPECT_EQ(out.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
    EXPECT_EQ(out.slots, expected);
  }
}

TEST_F(RenderCli, ALongDelayIsHeldAtTheMaximumWithANoteSayingItInFrames) {
  // 44100 Hz, multiplier 2, one repeat: 88200-byte buffers allow 11025 frames, 250 ms.
  WriteNoise("in.wav", 44100, 22050 * 4);
  const std::string common = " --multiplier 2 --repeats 1";
  ASSERT_EQ(
      Cli("render " + Path("in.wav") + " " + Path("max.wav") + common + " --delay-ms 250").status,
      0);
  const auto held = ReadTestSound(Path("max.wav")).slots;
  // 49000 ms and 97392 ms wrapped a 32-bit product to 0 and 19 frames.
  for (const char* ms : {"49000", "97392", "2147483647"}) {
    SCOPED_TRACE(ms);
    const CliRun run =
        Cli("render " + Path("in.wav") + " " + Path("long.wav") + common + " --delay-ms " + ms);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("held at 250 ms (11025 frames)"), std::string::npos) << run.err;
    EXPECT_EQ(ReadTestSound(Path("long.wav")).slots, held);
  }
}

TEST_F(RenderCli, UnusableInputGetsOneLineAndStatusTwoAndLeavesNoOutput) {
  WriteTestSound(Path("six.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 6,
                 std::vector<std::int16_t>(600));
  std::ofstream(Path("text.wav")) << "this is not a sound file at all";
  std::ofstream(Path("empty.wav"));
  fs::create_directory(Path("folder.wav"));
  for (const char* name : {"missing.wav", "six.wav", "text.wav", "empty.wav", "folder.wav"}) {
    const CliRun run = Cli("render " + Path(name) + " " + Path("out.wav"));
    EXPECT_EQ(run.status, 2) << name;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << name << ": " << run.err;
    EXPECT_NE(run.err.find(Path(name)), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(Path("out.wav"))) << name;
  }
}

TEST_F(RenderCli, OptionsAreCheckedAgainstTheProgramsOwnRanges) {
  WriteNoise("in.wav", 48000, 100);
  const std::string files = Path("in.wav") + " " + Path("out.wav");
  for (const char* bad :
       {"--repeats 11", "--volume 0", "--volume 5001", "--multiplier 1", "--multiplier 100",
        "--preset Cave", "--rate 48000", "--loud", "--delay-ms -1", "--delay-ms 1e3"}) {
    const CliRun run = Cli("render " + files + " --rate 44100 " + bad);
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << bad << ": " << run.err;
  }
  EXPECT_FALSE(fs::exists(Path("out.wav")));
  EXPECT_EQ(Cli("render " + files + " --rate 44100 --repeats 10 --volume 5000").status, 0);
  EXPECT_EQ(Cli("live --seconds 0").status, 2);
  EXPECT_EQ(Cli("live --latency-ms 4").status, 2);
  EXPECT_EQ(Cli("").status, 2);
}

TEST_F(RenderCli, EveryRefusalSaysWhatWasWrongInOneLine) {
  WriteNoise("in.wav", 8000, 100);
  const std::string files = Path("in.wav") + " " + Path("out.wav");
  const struct {
    std::string args;
    const char* says;
  } cases[] = {
      {"devcies", "unknown command \"devcies\"; did you mean devices?"},
      {"--versio", "unknown option --versio; did you mean --version?"},
      {"render " + files + " --presett Canyon",
       "unknown option --presett for render; did you "
       "mean --preset?"},
      {"render " + files + " --rate 44100.0",
       "--rate: 44100.0 is not one of the processor's "
       "rates, in whole hertz: 5510,"},
      {"render " + files + " --multiplier 2.5",
       "--multiplier: 2.5 is not a whole number from 2 "
       "to 99"},
      {"render " + files + " --preset canyon",
       "no preset is called \"canyon\"; did you mean "
       "\"Canyon\"?"},
      {"render " + Path("in.wav") + " -dash.wav",
       "a file name that begins with a dash goes after "
       "\"--\", as in: echora-cli render INPUT -- "
       "-dash.wav"},
      {"render " + Path("in.wav"), "OUTPUT is missing"},
      {"render " + files + " extra", "unexpected \"extra\": render takes one INPUT and one OUTPUT"},
      {"live --seconds x", "--seconds: x is not a number above 0"},
      {"", "a command is needed: render, devices or live"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun run = Cli(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_FALSE(fs::exists(Path("out.wav")));
  // The words other programs take for help and the version.
  EXPECT_EQ(Cli("help").out, Cli("--help").out);
  EXPECT_EQ(Cli("-V").out, Cli("--version").out);
}

TEST_F(RenderCli, EachCommandsHelpIsItsOwn) {
  const CliRun devices = Cli("devices --help");
  EXPECT_EQ(devices.status, 0);
  EXPECT_NE(devices.out.find("--server"), std::string::npos);
  for (const char* other : {"Concert Hall 1", "--preset", "aligned", "render"}) {
    EXPECT_EQ(devices.out.find(other), std::string::npos) << other << " in\n" << devices.out;
  }
  const CliRun live = Cli("live --help");
  EXPECT_NE(live.out.find("Concert Hall 1"), std::string::npos);
  EXPECT_EQ(live.out.find("aligned"), std::string::npos) << "render's notes in live's help";
}

TEST_F(RenderCli, OptionsNeverTakeAnotherOptionAsTheirValue) {
  WriteNoise("-in.wav", 8000, 100);
  const std::string files = Path("-in.wav") + " " + Path("out.wav");
  const CliRun help = Cli("render " + files + " --preset --help");
  EXPECT_EQ(help.status, 2);
  EXPECT_NE(help.err.find("--help"), std::string::npos) << help.err;
  EXPECT_EQ(help.out, "");
  const CliRun server = Cli("live --server --seconds 2");
  EXPECT_EQ(server.status, 2);
  EXPECT_NE(server.err.find("--server"), std::string::npos) << server.err;
  // After "--" everything is a file, even a name that starts with a dash.
  const std::string dashed = "cd " + dir_.string() + " && " + ECHORA_CLI +
                             " render --no-echo -- -in.wav out.wav 2>" + Log("dashed.txt");
  EXPECT_EQ(WEXITSTATUS(std::system(dashed.c_str())), 0) << Slurp(Log("dashed.txt"));
  EXPECT_TRUE(fs::exists(Path("out.wav")));
  // Fractions of a second: a server that is not there makes it fail while working (1),
  // not refuse the option (2).
  const CliRun fraction = Cli("live --server unix:" + Path("no-server") + " --seconds 0.3");
  EXPECT_EQ(fraction.status, 1) << fraction.err;
}

TEST_F(RenderCli, MultiplierIsLoweredToFitTheLargestBuffer) {
  WriteNoise("in.wav", 44100, 100);
  const CliRun run = Cli("render " + Path("in.wav") + " " + Path("out.wav") + " --multiplier 11");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("lowered to 10"), std::string::npos) << run.err;
}

TEST_F(RenderCli, ProgressIsDrawnOnATerminalOnly) {
  // Longer than the five seconds under which no progress is drawn at all.
  WriteNoise("in.wav", 8000, 8000 * 8);
  const std::string args = "render " + Path("in.wav") + " " + Path("out.wav") + " --multiplier 2";
  const CliRun logged = Cli(args);
  EXPECT_EQ(logged.status, 0);
  EXPECT_EQ(logged.err, "") << "nothing but failures and notes in a log";

  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", (std::string(ECHORA_CLI) + " " + args).c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  char block[256];
  for (ssize_t n; (n = read(terminal, block, sizeof block)) > 0;) shown.append(block, n);
  close(terminal);
  EXPECT_EQ(Finish(pid), 0);
  EXPECT_NE(shown.find("] 100%"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r"), std::string::npos) << shown;
}

TEST_F(RenderCli, AFullDiskEndsTheRenderWithStatusOneAndNoOutput) {
  WriteNoise("in.wav", 8000, 4000 * 6);
  // A file-size limit of 20 KiB, with its signal ignored, stands in for a full disk.
  const std::string command = "ulimit -f 40; trap \"\" XFSZ; " + std::string(ECHORA_CLI) +
                              " render " + Path("in.wav") + " " + Path("out.wav") +
                              " --multiplier 2 2>" + Log("err.txt");
  const int raw = std::system(command.c_str());
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  const std::string message = Slurp(Log("err.txt"));
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
  EXPECT_FALSE(fs::exists(Path("out.wav")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2)
      << "only the input and the logs";
}

}  // namespace
