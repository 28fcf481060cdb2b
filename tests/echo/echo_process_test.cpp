// The echo thread: one pass per announced period with the LED red during it, a thread that
// sleeps instead of spinning and ends at once when told, and never two of them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "audio/engine_state.h"
#include "echo/processor_power.h"
#include "tests/support/engine_rig.h"
#include "tests/support/eventually.h"

namespace {

// User plus system clock ticks the kernel has charged to one thread of this process.
long CpuTicksOf(int tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long utime = 0;
  long stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}

std::vector<TColor> Colours(RecordingPanel& panel) {
  std::vector<TColor> colours;
  for (const auto& paint : panel.Paints()) colours.push_back(paint.colour);
  return colours;
}

}  // namespace

TEST(EchoThread, PaintsTheLedRedForEachPassAndWhiteAfter) {
  EngineRig rig;
  rig.PowerOn();
  rig.RunPeriods(3);
  EXPECT_EQ(Colours(rig.panel),
            (std::vector<TColor>{clRed, clWhite, clRed, clWhite, clRed, clWhite}));
  EXPECT_FALSE(BufferReady);
}

TEST(EchoThread, SleepsWhileNoPeriodIsAnnounced) {
  EngineRig rig;
  rig.PowerOn();
  ASSERT_TRUE(Eventually([&] { return rig.echo.Thread().NativeId() != 0; }));
  const int tid = rig.echo.Thread().NativeId();
  const long before = CpuTicksOf(tid);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // A spinning thread would be charged about 30 ticks of 10 ms here.
  EXPECT_LE(CpuTicksOf(tid) - before, 2);
  EXPECT_TRUE(rig.echo.Running());
}

TEST(EchoThread, EndsAtOnceOnUntickTerminateOrAStoppedStream) {
  for (int cause = 0; cause < 3; ++cause) {
    EngineRig rig;
    rig.PowerOn();
    rig.RunPeriod();
    ASSERT_TRUE(rig.echo.Running());
    if (cause == 0) rig.panel.SetEchoActive(false);
    if (cause == 1) rig.echo.Terminate();
    if (cause == 2) {
      InputActive = false;
      WakeEchoThread();
    }
    // No further period: the thread must notice without waiting for one.
    EXPECT_TRUE(Eventually([&] { return !rig.echo.Running(); })) << "cause " << cause;
    EXPECT_TRUE(rig.echo.Thread().WaitFor(std::chrono::seconds(5)));
    InputActive = true;
  }
}

TEST(EchoThread, UntickingDuringAPassLetsThePassFinish) {
  EngineRig rig;
  rig.PowerOn();
  rig.card.Step(rig.PeriodFrames());  // the pass starts and waits for its LED call
  ASSERT_TRUE(Eventually([&] { return rig.gui.Pump() > 0; }));
  rig.panel.SetEchoActive(false);
  ASSERT_TRUE(Eventually([&] {
    rig.Pump();
    return !rig.echo.Running();
  }));
  EXPECT_EQ(Colours(rig.panel), (std::vector<TColor>{clRed, clWhite}));
  EXPECT_FALSE(BufferReady);
}

TEST(EchoThread, TickingAgainWhileItRunsStartsNoSecondThread) {
  EngineRig rig;
  rig.PowerOn();
  const ThreadRef first = rig.echo.Thread();
  rig.echo.StartIfWanted();
  EXPECT_EQ(rig.echo.Thread().NativeId(), first.NativeId());
  // Untick and tick again in quick succession, many times, with periods in between: every
  // period gets exactly one pass, so no two threads ever share the buffers.
  for (int round = 0; round < 200; ++round) {
    rig.panel.SetEchoActive(false);
    if (round % 3 == 0) std::this_thread::yield();
    rig.panel.SetEchoActive(true);
    rig.echo.StartIfWanted();
    if (round % 10 == 0) {
      const std::size_t paints = rig.panel.Paints().size();
      rig.RunPeriod();
      ASSERT_TRUE(rig.echo.Running());
      ASSERT_EQ(rig.panel.Paints().size(), paints + 2) << "round " << round;
    }
  }
}

TEST(EchoThread, IsNotStartedUntickedOrWithAStreamStopped) {
  EngineRig rig;
  rig.panel.echoActive = false;
  rig.PowerOn();
  EXPECT_FALSE(rig.echo.Running());
  rig.panel.SetEchoActive(true);
  OutputActive = false;
  rig.echo.StartIfWanted();
  EXPECT_FALSE(rig.echo.Running());
  OutputActive = true;
  rig.echo.StartIfWanted();
  EXPECT_TRUE(rig.echo.Running());
}

TEST(EchoThread, PowerOffWaitEndsWithoutAnEchoThread) {
  EngineRig rig;
  rig.panel.echoActive = false;
  rig.PowerOn();
  rig.RunPeriods(2);
  EXPECT_TRUE(BufferReady);  // nobody clears it without a thread
  int pumps = 0;
  AwaitEchoEnd(rig.echo, [&] { ++pumps; });
  EXPECT_EQ(pumps, 1);
}
