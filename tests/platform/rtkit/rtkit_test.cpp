// Asking rtkit for real time, against a stand-in for rtkit on a bus of the test's own: a
// private dbus-daemon that main() starts and names as the system bus, where a thread of the
// test owns rtkit's name and answers as rtkit does. It makes no thread real-time; it checks
// what it is asked, in the types rtkit takes, and what the process's limit is by then.
#include <dbus/dbus.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "platform/thread/realtime.h"

namespace {

std::string busAddress;  // the private bus, set by main()

constexpr const char* kName = "org.freedesktop.RealtimeKit1";

class FakeRtkit {
 public:
  struct Asked {
    std::uint64_t thread = 0;
    std::uint32_t priority = 0;
    rlim_t rttimeMax = 0;  // RLIMIT_RTTIME's hard limit when asked
  };

  FakeRtkit(std::int32_t maxPriority, std::int64_t rttimeMax, bool refuse)
      : maxPriority_(maxPriority), rttimeMax_(rttimeMax), refuse_(refuse) {
    DBusError error;
    dbus_error_init(&error);
    connection_ = dbus_connection_open_private(busAddress.c_str(), &error);
    if (connection_ && dbus_bus_register(connection_, &error)) {
      dbus_connection_set_exit_on_disconnect(connection_, FALSE);
      owned_ = dbus_bus_request_name(connection_, kName, DBUS_NAME_FLAG_DO_NOT_QUEUE, &error) ==
               DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER;
    }
    dbus_error_free(&error);
    if (owned_) serving_ = std::thread([this] { Serve(); });
  }
  ~FakeRtkit() {
    stop_ = true;
    if (serving_.joinable()) serving_.join();
    if (connection_) {
      dbus_connection_close(connection_);
      dbus_connection_unref(connection_);
    }
  }

  bool Owned() const { return owned_; }
  int Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  Asked LastAsked() {
    std::lock_guard lock(mutex_);
    return asked_;
  }

 private:
  void Serve() {
    while (!stop_ && dbus_connection_read_write(connection_, 20)) {
      while (DBusMessage* message = dbus_connection_pop_message(connection_)) {
        Answer(message);
        dbus_message_unref(message);
      }
    }
  }

  void Answer(DBusMessage* message) {
    DBusMessage* reply = nullptr;
    if (dbus_message_is_method_call(message, "org.freedesktop.DBus.Properties", "Get")) {
      const char* interface = nullptr;
      const char* property = nullptr;
      dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                            &property, DBUS_TYPE_INVALID);
      const std::string name = property ? property : "";
      reply = dbus_message_new_method_return(message);
      DBusMessageIter top;
      DBusMessageIter variant;
      dbus_message_iter_init_append(reply, &top);
      if (name == "MaxRealtimePriority") {  // rtkit's types: int32 and int64
        dbus_message_iter_open_container(&top, DBUS_TYPE_VARIANT, "i", &variant);
        dbus_message_iter_append_basic(&variant, DBUS_TYPE_INT32, &maxPriority_);
      } else {
        dbus_message_iter_open_container(&top, DBUS_TYPE_VARIANT, "x", &variant);
        dbus_message_iter_append_basic(&variant, DBUS_TYPE_INT64, &rttimeMax_);
      }
      dbus_message_iter_close_container(&top, &variant);
    } else if (dbus_message_is_method_call(message, kName, "MakeThreadRealtime")) {
      Asked asked;
      dbus_uint64_t thread = 0;
      dbus_uint32_t priority = 0;
      // Arguments of other types fail here, as rtkit would refuse them.
      if (dbus_message_get_args(message, nullptr, DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32,
                                &priority, DBUS_TYPE_INVALID)) {
        asked.thread = thread;
        asked.priority = priority;
        rlimit limit{};
        getrlimit(RLIMIT_RTTIME, &limit);
        asked.rttimeMax = limit.rlim_max;
        std::lock_guard lock(mutex_);
        asked_ = asked;
        ++calls_;
      }
      reply = refuse_ ? dbus_message_new_error(message, DBUS_ERROR_ACCESS_DENIED,
                                               "Operation not permitted")
                      : dbus_message_new_method_return(message);
    } else {
      reply = dbus_message_new_error(message, DBUS_ERROR_UNKNOWN_METHOD, "no such method");
    }
    dbus_connection_send(connection_, reply, nullptr);
    dbus_connection_flush(connection_);
    dbus_message_unref(reply);
  }

  const dbus_int32_t maxPriority_;
  const dbus_int64_t rttimeMax_;
  const bool refuse_;
  DBusConnection* connection_ = nullptr;
  bool owned_ = false;
  std::atomic<bool> stop_{false};
  std::thread serving_;
  std::mutex mutex_;
  int calls_ = 0;
  Asked asked_;
};

// Asks on a thread of its own, as a sound thread would; returns the answer and the thread.
std::pair<RealtimeAttempt, std::uint64_t> AskFromAThread(int priority) {
  RealtimeAttempt attempt;
  std::uint64_t id = 0;
  std::thread([&] {
    id = static_cast<std::uint64_t>(gettid());
    attempt = AskRtkit(priority);
  }).join();
  return {attempt, id};
}

TEST(RtkitOnTheBus, IsAskedForTheCallingThreadWithTheLimitItRequiresAlreadyLowered) {
  FakeRtkit rtkit(20, 200000, false);
  ASSERT_TRUE(rtkit.Owned());
  const auto [attempt, thread] = AskFromAThread(kEchoRealtimePriority);
  EXPECT_TRUE(attempt.granted) << attempt.why;
  ASSERT_EQ(rtkit.Calls(), 1);
  EXPECT_EQ(rtkit.LastAsked().thread, thread);
  EXPECT_EQ(rtkit.LastAsked().priority, static_cast<std::uint32_t>(kEchoRealtimePriority));
  EXPECT_LE(rtkit.LastAsked().rttimeMax, 200000u);
}

TEST(RtkitOnTheBus, GetsNoMoreThanItsMaximumPriority) {
  FakeRtkit rtkit(5, 200000, false);
  ASSERT_TRUE(rtkit.Owned());
  EXPECT_TRUE(AskFromAThread(kNoticesRealtimePriority).first.granted);
  EXPECT_EQ(rtkit.LastAsked().priority, 5u);
}

TEST(RtkitOnTheBus, ARefusalIsToldInRtkitsWords) {
  FakeRtkit rtkit(20, 200000, true);
  ASSERT_TRUE(rtkit.Owned());
  const RealtimeAttempt attempt = AskFromAThread(kEchoRealtimePriority).first;
  EXPECT_FALSE(attempt.granted);
  EXPECT_EQ(attempt.why, "rtkit refused: Operation not permitted");
  EXPECT_EQ(rtkit.Calls(), 1);
}

TEST(RtkitOnTheBus, IsAbsentWhenNobodyOwnsItsName) {
  const RealtimeAttempt attempt = AskFromAThread(kEchoRealtimePriority).first;
  EXPECT_FALSE(attempt.granted);
  EXPECT_EQ(attempt.why, "rtkit absent");
}

}  // namespace

// Starts the private bus before anything reads the system bus's address, and ends it by its
// pid once the tests have run.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  FILE* daemon = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
  if (!daemon) {
    std::fprintf(stderr, "cannot start dbus-daemon\n");
    return 1;
  }
  char address[512] = {};
  long pid = 0;
  const bool started = std::fgets(address, sizeof address, daemon) &&
                       std::fscanf(daemon, "%ld", &pid) == 1 && pid > 0;
  pclose(daemon);
  if (!started) {
    std::fprintf(stderr, "dbus-daemon did not say where it listens\n");
    return 1;
  }
  busAddress = address;
  busAddress.erase(busAddress.find_last_not_of("\n") + 1);
  setenv("DBUS_SYSTEM_BUS_ADDRESS", busAddress.c_str(), 1);
  const int result = RUN_ALL_TESTS();
  kill(static_cast<pid_t>(pid), SIGTERM);
  return result;
}
