// A sound server that dies, or a device that goes away, while the processor runs: the
// headers come back, the stop sequences finish with their error texts, and nothing hangs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "audio/engine_state.h"
#include "platform/waveaudio/pulse_driver.h"
#include "tests/support/engine_rig.h"
#include "tests/support/pulse_test_server.h"

namespace {

using namespace std::chrono_literals;

class ServerFailure : public ::testing::Test {
 protected:
  ServerFailure() : driver(PulseDriver::Options{server.Address(), 50ms, 2000ms}), rig(44100, 2) {
    InstallWaveDriver(&driver);
    rig.panel.captureDevice = 0;
    rig.panel.playbackDevice = 1;
  }
  ~ServerFailure() override {
    if (InputActive || OutputActive) rig.PowerOff();
    InstallWaveDriver(nullptr);
  }

  void RunFor(std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < end) rig.gui.WaitAndPump(5ms);
  }

  static std::set<std::string> Distinct(const std::vector<std::string>& lines) {
    return {lines.begin(), lines.end()};
  }

  PulseTestServer server;
  PulseDriver driver;
  EngineRig rig;
};

}  // namespace

TEST_F(ServerFailure, AServerThatDiesReturnsTheHeadersAndLaterStartsReportTheDevices) {
  rig.PowerOn();
  RunFor(1200ms);
  ASSERT_TRUE(rig.panel.Messages().empty());
  server.Kill();
  RunFor(300ms);
  // Each stream's returned headers could not be queued again: one pair of boxes a header.
  EXPECT_EQ(Distinct(rig.panel.Messages()),
            (std::set<std::string>{"waveInPrepareHeader ERROR!", "waveInWrite ERROR!",
                                   "waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!"}));
  const auto started = std::chrono::steady_clock::now();
  rig.PowerOff();
  EXPECT_EQ(rig.panel.Memo(), (std::vector<std::string>{"waveInStop ERROR!"}));
  rig.PowerOn();
  rig.PowerOff();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  const auto memo = rig.panel.Memo();
  ASSERT_GE(memo.size(), 3u);
  EXPECT_EQ(memo[1], "waveInOpen ERROR!");
  // The server's own reason, after the program's line.
  EXPECT_EQ(memo[2].rfind("  (cannot reach the sound server at " + server.Address() + ": ", 0), 0u)
      << memo[2];
  EXPECT_NE(std::find(memo.begin(), memo.end(), "waveOutPrepareHeader ERROR!"), memo.end());
}

TEST_F(ServerFailure, ASinkUnloadedWhilePlayingFailsOnlyPlayback) {
  rig.PowerOn();
  RunFor(1200ms);
  ASSERT_TRUE(server.UnloadSink("echora_out"));
  RunFor(300ms);
  EXPECT_EQ(Distinct(rig.panel.Messages()),
            (std::set<std::string>{"waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!"}));
  rig.PowerOff();
  EXPECT_TRUE(rig.panel.Memo().empty());  // capture stopped cleanly; playback closes
  // The sink is gone: playback device 1 no longer exists.
  EXPECT_EQ(waveOutGetNumDevs(), 1u);
  rig.PowerOn();
  rig.PowerOff();
  EXPECT_EQ(rig.panel.Memo(),
            (std::vector<std::string>{"waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!",
                                      "waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!",
                                      "WaveOutClose ERROR!"}));
}
