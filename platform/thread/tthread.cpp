#include "platform/thread/tthread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <memory>

#include "platform/thread/dispatcher.h"
#include "platform/thread/spin_wait.h"

void ThreadRef::Terminate() const {
  if (control_) control_->terminated.store(true);
}

bool ThreadRef::Running() const {
  if (!control_) return false;
  std::lock_guard lock(control_->mutex);
  return !control_->finished;
}

bool ThreadRef::WaitFor(std::chrono::milliseconds timeout) const {
  if (!control_) return true;
  std::unique_lock lock(control_->mutex);
  return control_->ended.wait_for(lock, timeout, [&] { return control_->finished; });
}

TThread::TThread() : ref_(std::make_shared<ThreadRef::Control>()) {}

TThread::~TThread() {
  Release();
}

void TThread::operator delete(TThread* thread, std::destroying_delete_t) {
  // A thread that does not free itself is joined by whoever deletes it, before the
  // descendant's destructor runs.
  thread->Release();
  void* storage = dynamic_cast<void*>(thread);
  thread->~TThread();
  ::operator delete(storage);
}

void TThread::Release() {
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
}

void TThread::Start() {
  // Decided before the body starts: a thread that frees itself may be gone by the time
  // std::thread's constructor returns here.
  const bool freeOnTerminate = FreeOnTerminate;
  std::thread thread([this] { Run(); });
  if (freeOnTerminate) {
    thread.detach();
  } else {
    thread_ = std::move(thread);
  }
}

void TThread::Run() {
  ThreadRef::Control& control = *ref_.control_;
  control.nativeId = static_cast<int>(syscall(SYS_gettid));
  SetPriority(priority_);
  Execute();
  const std::shared_ptr<ThreadRef::Control> keep = ref_.control_;
  const bool freeOnTerminate = FreeOnTerminate;
  if (freeOnTerminate) delete this;
  {
    std::lock_guard lock(keep->mutex);
    keep->finished = true;
  }
  keep->ended.notify_all();
}

void TThread::SetPriority(int priority) {
  priority_ = priority;
  const int tid = ref_.control_->nativeId.load();
  if (tid == 0) return;  // applied when the thread starts
  int nice = 0;
  if (priority <= THREAD_PRIORITY_IDLE) {
    nice = 19;
  } else if (priority >= THREAD_PRIORITY_TIME_CRITICAL) {
    nice = -20;
  } else {
    nice = -5 * priority;
  }
  // Raising needs privileges: a refusal leaves the thread at its current level.
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

void TThread::Synchronize(const std::function<void()>& method) {
  Dispatcher* dispatcher = GuiDispatcher();
  if (!dispatcher || dispatcher->OnGuiThread()) {
    method();
    return;
  }
  // Shared, since the GUI thread still signals it after this thread may have seen it set.
  auto done = std::make_shared<std::atomic<bool>>(false);
  dispatcher->Post([&method, done] {
    method();
    done->store(true);
    done->notify_one();
  });
  if (!SpinUntil([&] { return done->load(); })) done->wait(false);
}
