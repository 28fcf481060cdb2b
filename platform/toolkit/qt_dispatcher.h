// The GUI dispatcher of the desktop program: calls posted from any thread run on the GUI
// thread from Qt's event loop, in posting order, also inside modal loops and
// TApplication::ProcessMessages.
#pragma once

#include <QSocketNotifier>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/thread/dispatcher.h"

class QtDispatcher final : public Dispatcher {
 public:
  // Binds to the thread that creates it, which must be the GUI thread.
  QtDispatcher();
  ~QtDispatcher() override;
  QtDispatcher(const QtDispatcher&) = delete;
  QtDispatcher& operator=(const QtDispatcher&) = delete;

  // Any thread; never calls into Qt. Calls still queued when the dispatcher is destroyed
  // are dropped.
  void Post(std::function<void()> call) override;
  bool OnGuiThread() const override;

 private:
  // Runs every queued call, oldest first. Before each call that leaves others queued it
  // rings again, so that a modal loop the call opens serves the rest.
  void RunQueued();
  void Ring();

  // A call crosses threads through this queue, under our own lock, and the posting thread
  // only bumps an eventfd counter: no Qt object is made or touched off the GUI thread.
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
  int wakeFd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};
