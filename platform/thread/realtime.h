// Real-time scheduling for the threads the sound depends on, as desktop audio clients get
// it: from rtkit (the desktop's RealtimeKit service on the system bus) where it runs, else
// taken directly where the process may (root, CAP_SYS_NICE or an RLIMIT_RTPRIO that
// allows it), else not at all: the thread then carries on at normal priority and the
// program says why. Only the echo thread and the devices' notice threads ask, and only in
// a program that has turned the requests on (the window, live sound on the command line):
// a render or a test has no deadline to keep, and a thread of theirs that ran at a fixed
// real-time priority would only take the machine from everyone else.
//
// TThread::SetPriority keeps its nice levels; real time is asked for on top of them.
#pragma once

#include <functional>
#include <string>

// The threads that ask, each at its own priority: a notice thread's handlers are short and
// keep the devices' queues full, so they go before an echo pass, which is long.
enum class SoundThread { Echo, Notices };
constexpr int kEchoRealtimePriority = 10;
constexpr int kNoticesRealtimePriority = kEchoRealtimePriority + 1;

// How one way to real time went for the calling thread.
struct RealtimeAttempt {
  bool granted = false;
  std::string why;  // when refused, in a few words: "rtkit absent", "no permission"
};

// The ways to real time, in the order they are tried. Each asks for the calling thread at
// the priority given (or lower, where that is the most it may have). Tests put their own
// in place of the system's.
struct RealtimeMeans {
  std::function<RealtimeAttempt(int priority)> rtkit;
  std::function<RealtimeAttempt(int priority)> direct;
};

// rtkit over the system bus: reads its MaxRealtimePriority and RTTimeUSecMax, lowers
// RLIMIT_RTTIME to the latter as it requires (a thread that then runs that long without
// blocking is stopped by the kernel, not left to hang the desktop), and has the thread made
// SCHED_RR at the priority, capped at that maximum. Every call to the bus has a deadline.
RealtimeAttempt AskRtkit(int priority);
// pthread_setschedparam to SCHED_FIFO at the priority, or at RLIMIT_RTPRIO where that is
// lower. Threads this one creates start at normal priority (SCHED_RESET_ON_FORK).
RealtimeAttempt SetFifoDirectly(int priority);
RealtimeMeans SystemRealtimeMeans();

// What became of a request, and the line that says so:
//   "Real-time scheduling: granted by rtkit"
//   "Real-time scheduling: granted directly (SCHED_FIFO)"
//   "Real-time scheduling: not available (rtkit absent, no permission); running at normal
//    priority"
struct RealtimeOutcome {
  bool granted = false;
  std::string line;
};
// Tries rtkit, then the direct way, for the calling thread. Any thread.
RealtimeOutcome MakeThreadRealtime(int priority, const RealtimeMeans& means);

// Where the lines go; called on the thread that asked.
using RealtimeReport = std::function<void(const std::string& line)>;
// Turns the requests of RequestRealtime on for this process, with the means to use and the
// report that hears each different outcome once (normally one line for the program's
// life). Off by default. Call with no thread asking, as a program starts or ends.
void EnableRealtimeScheduling(RealtimeReport report, RealtimeMeans means = SystemRealtimeMeans());
void DisableRealtimeScheduling();

// Asks for real-time scheduling for the calling thread, one of the threads the sound depends
// on, when the program has turned the requests on; does nothing otherwise. Called by the
// thread itself as it starts, before its first wait; it may take a round trip to the
// system bus. Any thread but the GUI thread.
void RequestRealtime(SoundThread thread);

// The line of the latest request made since the requests were turned on; empty before any.
// Any thread.
std::string RealtimeOutcomeLine();
