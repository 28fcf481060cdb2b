// Timers tick while enabled with a non-zero interval, and never otherwise.
#include <gtest/gtest.h>

#include <QTest>

#include "platform/toolkit/ttimer.h"

namespace {

class Timer : public ::testing::Test {
 protected:
  Timer() {
    timer.SetInterval(10);
    timer.OnTimer = [this](QObject* sender) {
      EXPECT_EQ(sender, &timer);
      ++ticks;
    };
    control.SetInterval(10);
    control.OnTimer = [this](QObject*) { ++controlTicks; };
  }

  // Ten ticks of a timer like the one tested, enabled beside it: time enough for the one
  // tested to have ticked many times, had it been running.
  void TenIntervals() {
    controlTicks = 0;
    control.SetEnabled(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return controlTicks >= 10; }, 30000));
    control.SetEnabled(false);
  }

  TTimer timer;
  int ticks = 0;
  TTimer control;
  int controlTicks = 0;
};

TEST_F(Timer, EnabledTimerTicksUntilDisabled) {
  timer.SetEnabled(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 30000));
  timer.SetEnabled(false);
  const int seen = ticks;
  TenIntervals();
  EXPECT_EQ(ticks, seen);
}

TEST_F(Timer, NewOrZeroIntervalTimerStaysSilent) {
  TenIntervals();
  EXPECT_EQ(ticks, 0) << "a new timer is disabled";
  timer.SetEnabled(true);
  timer.SetInterval(0);
  TenIntervals();
  EXPECT_EQ(ticks, 0) << "an interval of 0 stops it";
}

}  // namespace
