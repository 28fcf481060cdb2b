#include "platform/thread/realtime.h"

#include <dbus/dbus.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace {

constexpr const char* kRtkitService = "org.freedesktop.RealtimeKit1";
constexpr const char* kRtkitObject = "/org/freedesktop/RealtimeKit1";
// rtkit answers at once; a bus that does not answer in this time is treated as refusing,
// so that a thread that asks is not kept from its sound for long.
constexpr int kBusTimeoutMs = 1000;

// One private connection to the system bus for one request. Private, so that closing it
// touches nobody else's (libpulse's, say); never allowed to end the process when the bus
// goes away, which is what libdbus does by default.
class SystemBus {
 public:
  SystemBus() {
    dbus_error_init(&error_);
    connection_ = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error_);
    if (connection_) dbus_connection_set_exit_on_disconnect(connection_, FALSE);
  }
  ~SystemBus() {
    if (connection_) {
      dbus_connection_close(connection_);
      dbus_connection_unref(connection_);
    }
    dbus_error_free(&error_);
  }
  SystemBus(const SystemBus&) = delete;
  SystemBus& operator=(const SystemBus&) = delete;

  bool Connected() const { return connection_ != nullptr; }

  // Calls `method` of rtkit's object with the arguments `append` adds; returns the reply,
  // or null with the error kept for Why.
  template <typename Append>
  std::unique_ptr<DBusMessage, void (*)(DBusMessage*)> Call(const char* interface,
                                                            const char* method, Append append) {
    std::unique_ptr<DBusMessage, void (*)(DBusMessage*)> reply(nullptr, &dbus_message_unref);
    DBusMessage* call =
        dbus_message_new_method_call(kRtkitService, kRtkitObject, interface, method);
    if (!call) return reply;
    if (append(call)) {
      dbus_error_free(&error_);
      reply.reset(
          dbus_connection_send_with_reply_and_block(connection_, call, kBusTimeoutMs, &error_));
    }
    dbus_message_unref(call);
    return reply;
  }

  // rtkit's property `name`, which rtkit gives as an int32 or an int64.
  std::optional<std::int64_t> Property(const char* name) {
    const char* interface = kRtkitService;
    auto reply = Call("org.freedesktop.DBus.Properties", "Get", [&](DBusMessage* call) {
      return dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name,
                                      DBUS_TYPE_INVALID);
    });
    if (!reply) return std::nullopt;
    DBusMessageIter top;
    DBusMessageIter variant;
    if (!dbus_message_iter_init(reply.get(), &top) ||
        dbus_message_iter_get_arg_type(&top) != DBUS_TYPE_VARIANT) {
      return std::nullopt;
    }
    dbus_message_iter_recurse(&top, &variant);
    switch (dbus_message_iter_get_arg_type(&variant)) {
      case DBUS_TYPE_INT32: {
        dbus_int32_t value = 0;
        dbus_message_iter_get_basic(&variant, &value);
        return value;
      }
      case DBUS_TYPE_INT64: {
        dbus_int64_t value = 0;
        dbus_message_iter_get_basic(&variant, &value);
        return value;
      }
      default:
        return std::nullopt;
    }
  }

  // Why the latest step failed, in the words of RealtimeAttempt::why.
  std::string Why() const {
    if (!Connected() || dbus_error_has_name(&error_, DBUS_ERROR_SERVICE_UNKNOWN) ||
        dbus_error_has_name(&error_, DBUS_ERROR_NAME_HAS_NO_OWNER)) {
      return "rtkit absent";
    }
    if (dbus_error_is_set(&error_) && error_.message) {
      return std::string("rtkit refused: ") + error_.message;
    }
    return "rtkit refused";
  }

 private:
  DBusError error_;
  DBusConnection* connection_ = nullptr;
};

}  // namespace

RealtimeAttempt AskRtkit(int priority) {
  SystemBus bus;
  if (!bus.Connected()) return {false, bus.Why()};
  const std::optional<std::int64_t> most = bus.Property("MaxRealtimePriority");
  if (!most) return {false, bus.Why()};
  if (*most < 1) return {false, "rtkit allows no real-time priority"};
  const std::optional<std::int64_t> rttime = bus.Property("RTTimeUSecMax");
  if (!rttime) return {false, bus.Why()};
  // rtkit grants only a process whose limit is at most its own, so that a runaway thread is
  // stopped by the kernel. Lowered, never raised: a stricter limit set before is kept.
  rlimit limit{};
  if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return {false, "cannot read RLIMIT_RTTIME"};
  const auto allowed = static_cast<rlim_t>(std::max<std::int64_t>(*rttime, 0));
  if (limit.rlim_max > allowed) {  // RLIM_INFINITY is the largest value
    limit.rlim_cur = limit.rlim_max = allowed;
    if (setrlimit(RLIMIT_RTTIME, &limit) != 0) return {false, "cannot lower RLIMIT_RTTIME"};
  }

  const auto thread = static_cast<dbus_uint64_t>(gettid());
  const auto asked = static_cast<dbus_uint32_t>(std::min<std::int64_t>(priority, *most));
  const auto reply = bus.Call(kRtkitService, "MakeThreadRealtime", [&](DBusMessage* call) {
    return dbus_message_append_args(call, DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32, &asked,
                                    DBUS_TYPE_INVALID);
  });
  if (!reply) return {false, bus.Why()};
  return {true, {}};
}

RealtimeAttempt SetFifoDirectly(int priority) {
  sched_param param{};
  param.sched_priority = std::min(priority, sched_get_priority_max(SCHED_FIFO));
  // Threads that this one starts are none of the sound's: they begin at normal priority.
  constexpr int policy = SCHED_FIFO | SCHED_RESET_ON_FORK;
  int result = pthread_setschedparam(pthread_self(), policy, &param);
  if (result == EPERM) {
    // Without CAP_SYS_NICE, RLIMIT_RTPRIO is the most the process may take.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0 &&
        limit.rlim_cur < static_cast<rlim_t>(param.sched_priority)) {
      param.sched_priority = static_cast<int>(limit.rlim_cur);
      result = pthread_setschedparam(pthread_self(), policy, &param);
    }
  }
  if (result == 0) return {true, {}};
  return {false, result == EPERM ? "no permission" : std::strerror(result)};
}

RealtimeMeans SystemRealtimeMeans() {
  return {&AskRtkit, &SetFifoDirectly};
}

RealtimeOutcome MakeThreadRealtime(int priority, const RealtimeMeans& means) {
  const RealtimeAttempt rtkit = means.rtkit(priority);
  if (rtkit.granted) return {true, "Real-time scheduling: granted by rtkit"};
  const RealtimeAttempt direct = means.direct(priority);
  if (direct.granted) return {true, "Real-time scheduling: granted directly (SCHED_FIFO)"};
  return {false, "Real-time scheduling: not available (" + rtkit.why + ", " + direct.why +
                     "); running at normal priority"};
}

namespace {

// The requests' settings and what they have reported. The lock is not held while a request
// talks to the bus; it is held while the report runs, so that turning the requests off
// waits for a report in progress and no report comes after.
struct Requests {
  std::mutex mutex;
  bool enabled = false;
  std::uint64_t generation = 0;  // one more for every Enable or Disable
  RealtimeReport report;
  RealtimeMeans means;
  std::set<std::string> reported;
  std::string latest;
};

Requests& State() {
  static Requests state;
  return state;
}

int PriorityOf(SoundThread thread) {
  return thread == SoundThread::Notices ? kNoticesRealtimePriority : kEchoRealtimePriority;
}

}  // namespace

void EnableRealtimeScheduling(RealtimeReport report, RealtimeMeans means) {
  Requests& state = State();
  std::lock_guard lock(state.mutex);
  state.enabled = true;
  ++state.generation;
  state.report = std::move(report);
  state.means = std::move(means);
  state.reported.clear();
  state.latest.clear();
}

void DisableRealtimeScheduling() {
  Requests& state = State();
  std::lock_guard lock(state.mutex);
  state.enabled = false;
  ++state.generation;
  state.report = nullptr;
  state.means = {};
  state.reported.clear();
  state.latest.clear();
}

void RequestRealtime(SoundThread thread) {
  Requests& state = State();
  RealtimeMeans means;
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(state.mutex);
    if (!state.enabled) return;
    means = state.means;
    generation = state.generation;
  }
  const RealtimeOutcome outcome = MakeThreadRealtime(PriorityOf(thread), means);
  std::lock_guard lock(state.mutex);
  if (state.generation != generation) return;  // turned off or on afresh meanwhile
  state.latest = outcome.line;
  if (state.reported.insert(outcome.line).second && state.report) state.report(outcome.line);
}

std::string RealtimeOutcomeLine() {
  Requests& state = State();
  std::lock_guard lock(state.mutex);
  return state.latest;
}
