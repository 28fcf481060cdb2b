// echora-cli devices and live against a private sound server.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/eventually.h"
#include "tests/support/pulse_test_server.h"

namespace {

struct Outcome {
  int status;
  std::string out;
};

// Runs echora-cli with `args`, its stderr joined to its stdout.
Outcome Cli(const std::string& args) {
  FILE* pipe = popen((std::string(ECHORA_CLI) + " " + args + " 2>&1").c_str(), "r");
  std::string text;
  char chunk[4096];
  while (std::fgets(chunk, sizeof chunk, pipe)) text += chunk;
  const int status = pclose(pipe);
  return {WEXITSTATUS(status), text};
}

}  // namespace

TEST(LiveCli, DevicesListsTheServersSourcesAndSinksWithTheirNumbers) {
  PulseTestServer server;
  const Outcome run = Cli("devices --server " + server.Address());
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("   0  Monitor of EchoraIn\n   1  Monitor of EchoraOut\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("   0  EchoraIn\n   1  EchoraOut\n"), std::string::npos);
}

TEST(LiveCli, RunsForTheTimeGivenAndReportsWhatItSaw) {
  PulseTestServer server;
  const Outcome run = Cli("live --server " + server.Address() +
                          " --in 0 --out 1 --seconds 2 --multiplier 2 --latency-ms 60");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("on at 44100 Hz, 88200 bytes a buffer"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("off after 2."), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" echo passes, "), std::string::npos);
  EXPECT_NE(run.out.find(" out of turn; "), std::string::npos);
}

TEST(LiveCli, AMissingDeviceGivenEndsTheRunAtOnceNamedOnce) {
  PulseTestServer server;
  for (const char* missing : {"--in 7 --out 1", "--in 0 --out 9"}) {
    SCOPED_TRACE(missing);
    const Outcome run =
        Cli("live --server " + server.Address() + " " + missing + " --seconds 30 --multiplier 2");
    EXPECT_EQ(run.status, 1);
    const std::string said =
        std::string(missing).find('7') != std::string::npos
            ? "echora-cli: no capture device 7; `echora-cli devices` lists them\n"
            : "echora-cli: no playback device 9; `echora-cli devices` lists them\n";
    // Nothing was switched on: no engine lines, no report.
    EXPECT_EQ(run.out, said);
  }
}

TEST(LiveCli, NoServerAnsweringIsSaidInPlainWordsAndFails) {
  const std::string address = "unix:" + ::testing::TempDir() + "no-server-here";
  const std::string cause =
      "echora-cli: cannot reach the sound server at " + address + ": Connection refused\n";
  const Outcome devices = Cli("devices --server " + address);
  EXPECT_EQ(devices.status, 1);
  EXPECT_EQ(devices.out, cause);
  const Outcome live = Cli("live --server " + address + " --seconds 5");
  EXPECT_EQ(live.status, 1);
  EXPECT_EQ(live.out, cause);  // nothing was switched on
}

// The test server's default source is the monitor of its default sink.
TEST(LiveCli, ADevicePairThatWouldEchoItsOwnOutputIsRefused) {
  PulseTestServer server;
  const Outcome defaults = Cli("live --server " + server.Address() + " --seconds 1");
  EXPECT_EQ(defaults.status, 2);
  EXPECT_NE(defaults.out.find("capture device 0 records playback device 0"), std::string::npos)
      << defaults.out;
  EXPECT_EQ(defaults.out.find("on at"), std::string::npos);
  const Outcome chosen = Cli("live --server " + server.Address() + " --in 1 --out 1 --seconds 1");
  EXPECT_EQ(chosen.status, 2);
}

TEST(LiveCli, AServerLatencyLongerThanABufferPeriodIsRefusedWithTheLimit) {
  PulseTestServer server;
  const Outcome run = Cli("live --server " + server.Address() +
                          " --in 0 --out 1 --seconds 1 --multiplier 2 --latency-ms 501");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find("longer than a buffer period (500 ms"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("at most 500"), std::string::npos);
}

TEST(LiveCli, AServerThatDiesEndsTheRunByItselfWithItsCauseFirst) {
  PulseTestServer server;
  std::thread killer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    server.Kill();
  });
  const auto start = std::chrono::steady_clock::now();
  const Outcome run =
      Cli("live --server " + server.Address() + " --in 0 --out 1 --seconds 30 --multiplier 2");
  killer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(run.status, 1);
  const auto cause =
      run.out.find("both streams have ended: lost the sound server at " + server.Address() + ": ");
  ASSERT_NE(cause, std::string::npos) << run.out;
  EXPECT_LT(cause, run.out.find("the engine reports")) << run.out;
  EXPECT_NE(run.out.find("off after "), std::string::npos);
}

TEST(LiveCli, CtrlCStopsTheEngineInOrder) {
  PulseTestServer server;
  const std::string out = ::testing::TempDir() + "echora-live-interrupted.txt";
  // An earlier run's report must not pass for this one's "on" line.
  std::remove(out.c_str());
  const pid_t pid = fork();
  if (pid == 0) {
    FILE* file = std::fopen(out.c_str(), "w");
    if (!file) _exit(126);
    dup2(fileno(file), STDOUT_FILENO);
    dup2(fileno(file), STDERR_FILENO);
    const std::string address = server.Address();
    execl(ECHORA_CLI, ECHORA_CLI, "live", "--server", address.c_str(), "--in", "0", "--out", "1",
          "--multiplier", "2", static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto text = [&] {
    std::ifstream file(out);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  };
  // Its handler is in place before the engine says it is on.
  ASSERT_TRUE(Eventually([&] { return text().find("echora-cli: on at") != std::string::npos; }))
      << "the \"on\" line; got: " << text();
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status) << "; " << text();
  // Off in order: a stream stopped or closed out of turn reports its call's error line, and
  // any line reported makes the exit status 1.
  EXPECT_EQ(WEXITSTATUS(status), 0) << text();
  EXPECT_EQ(text().find("ERROR"), std::string::npos) << text();
  EXPECT_NE(text().find("echora-cli: off after "), std::string::npos) << text();
}

namespace {

enum class Suspension { WhileOn, SinceBeforeTheStart, IdleSinceBeforeTheStart };

// The loudest sample recorded so far in a raw 16-bit file.
int Loudest(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  int loudest = 0;
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    std::int16_t sample;
    std::memcpy(&sample, bytes.data() + at, 2);
    loudest = std::max(loudest, std::abs(int{sample}));
  }
  return loudest;
}

// A sink the server suspends for a while (an idle sink, a headset changing profile) is
// ridden out: the capture waits with it, and the sound resumes with every buffer echoed
// once, with no failure, nothing out of turn and nothing at full scale.
void ExpectASuspendRiddenOut(Suspension when) {
  PulseTestServer server;
  const std::string dir = ::testing::TempDir() + "suspend-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const std::string env = "PULSE_SERVER=" + server.Address() + " ";
  const std::string raw = " --raw --format=s16le --rate=44100 --channels=2";
  // A steady 450 Hz tone into the sink whose monitor is captured, and what the engine plays
  // recorded from the other's monitor.
  ASSERT_EQ(std::system(("(sox -n -r 44100 -c 2 -b 16 -e signed -t raw - synth 30 sine 450 "
                         "vol 0.18 2>/dev/null | " +
                         env + "pacat -d echora_in" + raw + " --latency-msec=200) & echo $! >" +
                         dir + "/tone.pid")
                            .c_str()),
            0);
  // The playback sink: for an idle one, a sink that rewinds, as sound cards' sinks do.
  const bool idle = when == Suspension::IdleSinceBeforeTheStart;
  const std::string sink = idle ? "echora_rewinding" : "echora_out";
  const std::string suspend = env + "pactl suspend-sink " + sink + " ";
  if (when == Suspension::SinceBeforeTheStart) {
    ASSERT_EQ(std::system((suspend + "1").c_str()), 0);
  }
  if (idle) {
    // As most desktops' servers do: a sink idle for a second is suspended, and resumed by
    // the first stream that plays to it.
    ASSERT_EQ(server.Pactl("load-module module-null-sink sink_name=" + sink), 0);
    ASSERT_EQ(server.Pactl("load-module module-suspend-on-idle timeout=1"), 0);
    std::string sinks;
    ASSERT_TRUE(Eventually([&] {
      return server.Pactl("list short sinks", &sinks) == 0 &&
             sinks.find(sink + "\tmodule-null-sink.c\ts16le 2ch 44100Hz\tSUSPENDED") !=
                 std::string::npos;
    })) << sinks;
  }
  Outcome run{};
  std::thread live([&] {
    run = Cli("live --server " + server.Address() + " --in 0 --out " + (idle ? "2" : "1") +
              " --seconds 14 --multiplier 2 --latency-ms 60");
  });
  // Once the engine's playback stream is on the server.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool playing = false;
  while (!playing && std::chrono::steady_clock::now() < end) {
    FILE* inputs =
        popen((env + "pactl list short sink-inputs 2>/dev/null | grep -v pacat").c_str(), "r");
    char line[512];
    while (inputs && std::fgets(line, sizeof line, inputs)) playing = true;
    if (inputs) pclose(inputs);
    if (!playing) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(playing);
  ASSERT_EQ(std::system((env + "parec -d " + sink + ".monitor" + raw + " >" + dir +
                         "/out.raw 2>/dev/null & echo $! >" + dir + "/record.pid")
                            .c_str()),
            0);
  if (when == Suspension::WhileOn) {
    // Once the tone's echo is heard, in the middle of a buffer period or at its end.
    EXPECT_TRUE(Eventually([&] { return Loudest(dir + "/out.raw") > 10000; }))
        << "the tone's echo before the suspend";
    EXPECT_EQ(std::system((suspend + "1").c_str()), 0);
  }
  if (!idle) {
    // Six buffer periods: longer than the capture side's own bound on waiting for its turn.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(std::system((suspend + "0").c_str()), 0);
  }
  live.join();
  [[maybe_unused]] const int stopped =
      std::system(("kill $(cat " + dir + "/record.pid " + dir + "/tone.pid) 2>/dev/null").c_str());
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out.find("ERROR"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" 0 out of turn; "), std::string::npos) << run.out;
  if (idle) {
    // A capture a period ahead of a playback that started late is held for most of each
    // period, and loses what arrives while it has no header.
    EXPECT_NE(run.out.find(" 0 overflows; "), std::string::npos) << run.out;
  }

  // What was heard, a tenth of a second at a time: past the start-up periods, which the
  // engine plays silent or echoed twice by design, every block at the steady echo level.
  std::ifstream in(dir + "/out.raw", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  std::vector<int> peaks;
  constexpr std::size_t kBlock = 4410 * 2;
  for (std::size_t at = 0; at + kBlock <= samples.size(); at += kBlock) {
    int peak = 0;
    for (std::size_t i = at; i < at + kBlock; ++i) peak = std::max(peak, std::abs(int{samples[i]}));
    if (peak > 0) peaks.push_back(peak);
  }
  ASSERT_GT(peaks.size(), 40U) << "too little was heard";
  const std::vector<int> steady(peaks.begin() + 35, peaks.end() - 2);  // 7 periods in; the stop
  std::vector<int> sorted = steady;
  std::sort(sorted.begin(), sorted.end());
  const int median = sorted[sorted.size() / 2];
  EXPECT_GT(median, 10000) << "the tone's echo";
  EXPECT_LT(median, 32767);
  for (std::size_t i = 0; i < steady.size(); ++i) {
    EXPECT_NEAR(steady[i], median, median / 10) << "block " << i << " of " << steady.size();
  }
  std::filesystem::remove_all(dir);
}

}  // namespace

TEST(LiveCli, APlaybackDeviceSuspendedWhileOnIsRiddenOut) {
  ExpectASuspendRiddenOut(Suspension::WhileOn);
}

// The stream is made on a suspended sink, which no suspend notice then tells; the same
// race is met when the suspend comes just as the stream is made.
TEST(LiveCli, APlaybackDeviceSuspendedSinceBeforeTheStartIsWaitedFor) {
  ExpectASuspendRiddenOut(Suspension::SinceBeforeTheStart);
}

// The server resumes the idle sink for the engine's stream, but asks that stream for sound
// only a second or more later, while the capture has long begun.
TEST(LiveCli, APlaybackDeviceIdleSinceBeforeTheStartIsWaitedFor) {
  ExpectASuspendRiddenOut(Suspension::IdleSinceBeforeTheStart);
}
