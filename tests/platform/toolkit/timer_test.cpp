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
  }

  TTimer timer;
  int ticks = 0;
};

TEST_F(Timer, EnabledTimerTicksUntilDisabled) {
  timer.SetEnabled(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 5000));
  timer.SetEnabled(false);
  const int seen = ticks;
  QTest::qWait(40);
  EXPECT_EQ(ticks, seen);
}

TEST_F(Timer, NewOrZeroIntervalTimerStaysSilent) {
  QTest::qWait(40);
  timer.SetEnabled(true);
  timer.SetInterval(0);
  QTest::qWait(40);
  EXPECT_EQ(ticks, 0);
}

}  // namespace
