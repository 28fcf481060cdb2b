// Real-time scheduling for the sound's threads: the order of the ways to it, the line that
// says how it went, the requests only while a program has turned them on, and SCHED_FIFO
// really set where the process may take it.
#include "platform/thread/realtime.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// Ways to real time that only record what they were asked.
struct FakeWays {
  RealtimeAttempt rtkitAnswer;
  RealtimeAttempt directAnswer;
  std::vector<std::string> asked;  // "rtkit 10", "direct 10", in order

  RealtimeMeans Means() {
    return {[this](int priority) {
              asked.push_back("rtkit " + std::to_string(priority));
              return rtkitAnswer;
            },
            [this](int priority) {
              asked.push_back("direct " + std::to_string(priority));
              return directAnswer;
            }};
  }
};

const std::string kNone =
    "Real-time scheduling: not available (rtkit absent, no permission); running at normal "
    "priority";

TEST(RealtimeScheduling, IsAskedOfRtkitFirstAndTakenDirectlyOnlyWhereRtkitFails) {
  struct Case {
    RealtimeAttempt rtkit;
    RealtimeAttempt direct;
    bool granted;
    std::string line;
    std::vector<std::string> asked;
  };
  const std::vector<Case> cases = {
      {{true, {}}, {true, {}}, true, "Real-time scheduling: granted by rtkit", {"rtkit 10"}},
      {{false, "rtkit absent"},
       {true, {}},
       true,
       "Real-time scheduling: granted directly (SCHED_FIFO)",
       {"rtkit 10", "direct 10"}},
      {{false, "rtkit refused: Operation not permitted"},
       {true, {}},
       true,
       "Real-time scheduling: granted directly (SCHED_FIFO)",
       {"rtkit 10", "direct 10"}},
      {{false, "rtkit absent"}, {false, "no permission"}, false, kNone, {"rtkit 10", "direct 10"}},
  };
  for (const Case& c : cases) {
    FakeWays ways{c.rtkit, c.direct, {}};
    const RealtimeOutcome outcome = MakeThreadRealtime(10, ways.Means());
    EXPECT_EQ(outcome.granted, c.granted) << c.line;
    EXPECT_EQ(outcome.line, c.line);
    EXPECT_EQ(ways.asked, c.asked) << c.line;
  }
}

class RealtimeRequests : public ::testing::Test {
 protected:
  void TearDown() override { DisableRealtimeScheduling(); }

  FakeWays ways{{false, "rtkit absent"}, {false, "no permission"}, {}};
  std::vector<std::string> reports;
};

TEST_F(RealtimeRequests, AskNothingUntilAProgramTurnsThemOn) {
  RequestRealtime(SoundThread::Echo);
  EnableRealtimeScheduling([this](const std::string& line) { reports.push_back(line); },
                           ways.Means());
  DisableRealtimeScheduling();
  RequestRealtime(SoundThread::Notices);
  EXPECT_TRUE(ways.asked.empty());
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(RealtimeOutcomeLine(), "");
}

// Every echo and notice thread asks as it starts; the memo must not get a line from each.
TEST_F(RealtimeRequests, AskAtEachThreadsPriorityAndReportEachOutcomeOnce) {
  EnableRealtimeScheduling([this](const std::string& line) { reports.push_back(line); },
                           ways.Means());
  RequestRealtime(SoundThread::Echo);
  RequestRealtime(SoundThread::Notices);
  RequestRealtime(SoundThread::Echo);
  EXPECT_EQ(ways.asked, (std::vector<std::string>{"rtkit 10", "direct 10", "rtkit 11", "direct 11",
                                                  "rtkit 10", "direct 10"}));
  EXPECT_EQ(reports, std::vector<std::string>{kNone});
  EXPECT_EQ(RealtimeOutcomeLine(), kNone);

  // A different outcome later is news, and is reported too; the same one again is not.
  ways.rtkitAnswer = {true, {}};
  RequestRealtime(SoundThread::Notices);
  RequestRealtime(SoundThread::Echo);
  EXPECT_EQ(reports, (std::vector<std::string>{kNone, "Real-time scheduling: granted by rtkit"}));
  EXPECT_EQ(RealtimeOutcomeLine(), "Real-time scheduling: granted by rtkit");
}

// The thread only sets its policy and ends: nothing spins at a real-time priority.
TEST(RealtimeDirectly, PutsTheCallingThreadUnderSchedFifoWhereTheProcessMay) {
  RealtimeAttempt attempt;
  int policy = -1;
  sched_param param{};
  int childPolicy = -1;
  std::thread([&] {
    attempt = SetFifoDirectly(kEchoRealtimePriority);
    policy = sched_getscheduler(0);
    sched_getparam(0, &param);
    // A thread the sound's thread starts is none of the sound's.
    std::thread([&] { childPolicy = sched_getscheduler(0); }).join();
  }).join();
  if (!attempt.granted && attempt.why == "no permission") {
    GTEST_SKIP() << "this process may not take real-time scheduling";
  }
  ASSERT_TRUE(attempt.granted) << attempt.why;
  EXPECT_EQ(policy & ~SCHED_RESET_ON_FORK, SCHED_FIFO);
  rlimit limit{};
  getrlimit(RLIMIT_RTPRIO, &limit);
  EXPECT_TRUE(param.sched_priority == kEchoRealtimePriority ||
              (limit.rlim_cur < kEchoRealtimePriority &&
               param.sched_priority == static_cast<int>(limit.rlim_cur)))
      << param.sched_priority;
  EXPECT_EQ(childPolicy, SCHED_OTHER);
  EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);  // the test's own thread is left alone
}

// Where no system bus answers, rtkit is absent, and the process's limits stay as they were:
// RLIMIT_RTTIME is lowered only for an rtkit that is there to ask.
TEST(RealtimeFromRtkit, IsAbsentWhereNoSystemBusAnswersAndLeavesTheLimitsAlone) {
  ASSERT_EQ(setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/echora-test-bus", 1), 0);
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_RTTIME, &before), 0);
  const RealtimeAttempt attempt = AskRtkit(kEchoRealtimePriority);
  EXPECT_FALSE(attempt.granted);
  EXPECT_EQ(attempt.why, "rtkit absent");
  rlimit after{};
  ASSERT_EQ(getrlimit(RLIMIT_RTTIME, &after), 0);
  EXPECT_EQ(after.rlim_cur, before.rlim_cur);
  EXPECT_EQ(after.rlim_max, before.rlim_max);
  EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
}

}  // namespace
