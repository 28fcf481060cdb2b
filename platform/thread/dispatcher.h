// How other threads hand work to the GUI thread. The desktop program binds this to its event
// loop; tests and the renderer use a QueueDispatcher that their own main thread pumps.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class Dispatcher {
 public:
  virtual ~Dispatcher() = default;
  // Queues `call` to run on the GUI thread, in posting order. Never blocks; any thread.
  virtual void Post(std::function<void()> call) = 0;
  virtual bool OnGuiThread() const = 0;
};

// The dispatcher of this process; nullptr until one is installed. The installer keeps
// ownership and uninstalls it before destroying it.
void SetGuiDispatcher(Dispatcher* dispatcher);
Dispatcher* GuiDispatcher();

// Runs `call` on the GUI thread later: through the installed dispatcher, or at once when
// none is installed (a program with no GUI thread to wait for). Any thread.
void PostToGui(std::function<void()> call);

// Calls wait in a queue until the thread that created the dispatcher pumps them.
class QueueDispatcher final : public Dispatcher {
 public:
  QueueDispatcher();

  void Post(std::function<void()> call) override;
  bool OnGuiThread() const override;

  // Runs every call queued so far, and those they queue meanwhile. Returns how many ran.
  // On the creating thread only.
  std::size_t Pump();
  // Waits up to `timeout` for a call to be queued, then pumps.
  std::size_t WaitAndPump(std::chrono::microseconds timeout);
  // Waits up to `timeout` for a call to be queued, and runs nothing.
  void Wait(std::chrono::microseconds timeout);
  // How many calls wait for the next pump. Any thread.
  std::size_t Queued() const { return queued_.load(); }

 private:
  const std::thread::id owner_;
  std::atomic<std::size_t> queued_{0};  // the queue's length, for a waiter that spins first
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};
