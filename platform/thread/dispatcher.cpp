#include "platform/thread/dispatcher.h"

#include <algorithm>
#include <atomic>

#include "platform/thread/spin_wait.h"

namespace {
std::atomic<Dispatcher*> guiDispatcher{nullptr};
}

void SetGuiDispatcher(Dispatcher* dispatcher) {
  guiDispatcher.store(dispatcher);
}
Dispatcher* GuiDispatcher() {
  return guiDispatcher.load();
}

void PostToGui(std::function<void()> call) {
  if (Dispatcher* dispatcher = guiDispatcher.load()) {
    dispatcher->Post(std::move(call));
  } else {
    call();
  }
}

QueueDispatcher::QueueDispatcher() : owner_(std::this_thread::get_id()) {}

void QueueDispatcher::Post(std::function<void()> call) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(call));
    queued_ = queue_.size();
  }
  posted_.notify_all();
}

bool QueueDispatcher::OnGuiThread() const {
  return std::this_thread::get_id() == owner_;
}

std::size_t QueueDispatcher::Pump() {
  std::size_t ran = 0;
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return ran;
      call = std::move(queue_.front());
      queue_.pop_front();
      queued_ = queue_.size();
    }
    call();
    ++ran;
  }
}

std::size_t QueueDispatcher::WaitAndPump(std::chrono::microseconds timeout) {
  Wait(timeout);
  return Pump();
}

void QueueDispatcher::Wait(std::chrono::microseconds timeout) {
  if (SpinUntil([&] { return queued_ > 0; }, std::min(timeout, std::chrono::microseconds(50)))) {
    return;
  }
  std::unique_lock lock(mutex_);
  posted_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
}
