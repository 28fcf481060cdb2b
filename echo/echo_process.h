// The echo thread: once per buffer period it rewrites the older of the two newest captured
// buffers in place with the echo, the gain and the clipping, painting the produce LED red
// for the pass. EchoThreadHolder is where its owner keeps it: at most one runs at a time,
// and the owner learns when it has left its loop.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/thread/tthread.h"

class EchoThreadHolder;

class TEchoProcess final : public TThread {
 public:
  // Runs at once at normal priority, and frees itself when its body returns.
  explicit TEchoProcess(EchoThreadHolder& holder);

  // Paint the produce LED. GUI thread, through Synchronize.
  void ProduceLedOn();
  void ProduceLedOff();

 protected:
  // Asks for real-time scheduling (RequestRealtime), then sleeps until a period has passed
  // or the thread must end; on each period runs one pass. Ends once "Echo active" is
  // unticked, a stop is requested or either stream stops. The echo thread.
  void Execute() override;

 private:
  friend class EchoThreadHolder;
  bool KeepRunning() const;
  // Rewrites the `slots` slots of the older buffer, reading ahead into the newer; waits for
  // the GUI thread twice, for the LED. The echo thread.
  void Pass(std::int32_t slots);

  EchoThreadHolder& holder_;
};

// How many echo threads are inside their loop at this moment: never more than one. Any
// thread.
int EchoLoopsRunning();

class EchoThreadHolder {
 public:
  EchoThreadHolder() = default;
  // Asks a running thread to end and waits until it has left its loop; the owner stops
  // it first, with the GUI thread pumping, since a pass in progress needs that thread.
  ~EchoThreadHolder();
  EchoThreadHolder(const EchoThreadHolder&) = delete;
  EchoThreadHolder& operator=(const EchoThreadHolder&) = delete;

  // Starts an echo thread when "Echo active" is ticked and both streams run, unless one is
  // still running: that one carries on, since it checks the tick again before it leaves.
  // GUI thread.
  void StartIfWanted();
  // Asks the running thread, if any, to end at its next check. Any thread.
  void Terminate();
  // True until the thread has left its loop; from then on no pass of it runs. Any thread.
  bool Running() const;
  // The current or last thread, for a caller that needs to look at it from outside.
  ThreadRef Thread() const;

 private:
  friend class TEchoProcess;
  // Called by the thread when its loop test fails: ends its tenure unless `keepRunning`,
  // asked again under the holder's lock, now holds, so that a tick racing with the thread's
  // exit either keeps it running or starts a new one, never neither and never two.
  bool LeaveUnless(const TEchoProcess& thread);

  mutable std::mutex mutex_;
  bool running_ = false;
  ThreadRef thread_;
};
