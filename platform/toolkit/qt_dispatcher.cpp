#include "platform/toolkit/qt_dispatcher.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QThread>
#include <cerrno>
#include <cstdint>
#include <stdexcept>

QtDispatcher::QtDispatcher() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (wakeFd_ < 0) throw std::runtime_error("eventfd failed: the GUI thread cannot be woken");
  notifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { RunQueued(); });
}

QtDispatcher::~QtDispatcher() {
  notifier_.reset();
  close(wakeFd_);
}

void QtDispatcher::Post(std::function<void()> call) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(call));
  }
  Ring();
}

void QtDispatcher::Ring() {
  const std::uint64_t one = 1;
  while (write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void QtDispatcher::RunQueued() {
  // Takes the rings so far. Finding none is fine: a nested loop has served them already.
  std::uint64_t rings = 0;
  [[maybe_unused]] const ssize_t taken = read(wakeFd_, &rings, sizeof rings);
  for (;;) {
    std::function<void()> call;
    bool more = false;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      call = std::move(queue_.front());
      queue_.pop_front();
      more = !queue_.empty();
    }
    if (more) Ring();
    call();
  }
}

bool QtDispatcher::OnGuiThread() const {
  return QThread::currentThread() == notifier_->thread();
}
