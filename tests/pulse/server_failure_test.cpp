// A sound server that dies, or a device that goes away, while the processor runs: the
// headers come back, the stop sequences finish with their error texts, and nothing hangs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "audio/engine_state.h"
#include "platform/waveaudio/pulse_driver.h"
#include "tests/support/engine_rig.h"
#include "tests/support/eventually.h"
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

  // Powers on from histories naming buffer 7, as a previous run may leave them: neither
  // device holds it in the first two periods. The start-up passes rewrite what the kept
  // histories name, which from the program's start is buffer 0, just as the capture device
  // begins to fill it; after a run, whatever it left, and at once when that run ended with
  // a period announced (a playback that failed). ThreadSanitizer rightly reports those
  // passes; the start-up timeline lays them out so, and these tests are about the driver.
  void PowerOn() {
    InLast = InNewer = InOlder = 7;
    rig.PowerOn();
  }

  // Serves the GUI queue until `condition` holds.
  template <typename Condition>
  bool RunUntil(Condition condition) {
    return EventuallyServing(condition, [&] { rig.gui.WaitAndPump(5ms); });
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
  PowerOn();
  ASSERT_TRUE(RunUntil([&] { return rig.panel.Paints().size() >= 4; })) << "two echo passes";
  ASSERT_TRUE(rig.panel.Messages().empty());
  server.Kill();
  // Each stream's returned headers could not be queued again: one pair of boxes a header.
  const std::set<std::string> boxes{"waveInPrepareHeader ERROR!", "waveInWrite ERROR!",
                                    "waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!"};
  EXPECT_TRUE(RunUntil([&] { return Distinct(rig.panel.Messages()) == boxes; }))
      << "the boxes of both streams";
  // The server's reason follows in the memo, once, and stays there.
  const std::string lost = "  (lost the sound server at " + server.Address() + ": ";
  EXPECT_TRUE(RunUntil([&] { return !rig.panel.Memo().empty(); })) << "the reason";
  const auto started = std::chrono::steady_clock::now();
  rig.PowerOff();
  auto memo = rig.panel.Memo();
  ASSERT_EQ(memo.size(), 2u);
  EXPECT_EQ(memo[0].rfind(lost, 0), 0u) << memo[0];
  EXPECT_EQ(memo[1], "waveInStop ERROR!");
  PowerOn();
  rig.PowerOff();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  memo = rig.panel.Memo();
  ASSERT_GE(memo.size(), 4u);
  EXPECT_EQ(memo[2], "waveInOpen ERROR!");
  // The reason the open failed, after the program's line.
  EXPECT_EQ(memo[3].rfind("  (cannot reach the sound server at " + server.Address() + ": ", 0), 0u)
      << memo[3];
  EXPECT_NE(std::find(memo.begin(), memo.end(), "waveOutPrepareHeader ERROR!"), memo.end());
}

TEST_F(ServerFailure, ASinkUnloadedWhilePlayingFailsOnlyPlayback) {
  PowerOn();
  ASSERT_TRUE(RunUntil([&] { return rig.panel.Paints().size() >= 4; })) << "two echo passes";
  ASSERT_TRUE(server.UnloadSink("echora_out"));
  const std::set<std::string> boxes{"waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!"};
  EXPECT_TRUE(RunUntil([&] { return Distinct(rig.panel.Messages()) == boxes; }))
      << "the playback stream's boxes";
  EXPECT_TRUE(RunUntil([&] { return !rig.panel.Memo().empty(); })) << "the reason";
  rig.PowerOff();
  // Capture stopped cleanly; playback closes. The reason the stream ended stays.
  const std::string ended = "  (the sound server ended the playback stream: ";
  auto memo = rig.panel.Memo();
  ASSERT_EQ(memo.size(), 1u);
  EXPECT_EQ(memo[0].rfind(ended, 0), 0u) << memo[0];
  // The sink is gone: playback device 1 no longer exists.
  EXPECT_EQ(waveOutGetNumDevs(), 1u);
  PowerOn();
  rig.PowerOff();
  memo = rig.panel.Memo();
  EXPECT_EQ(std::vector<std::string>(memo.begin() + 1, memo.end()),
            (std::vector<std::string>{"waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!",
                                      "waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!",
                                      "WaveOutClose ERROR!"}));
}
