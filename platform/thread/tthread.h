// TThread: a thread object whose body runs as soon as it is created, with a terminate
// request that the body reads, free-on-end, a priority, and a synchronised call that runs a
// method on the GUI thread while the thread waits.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

constexpr int THREAD_PRIORITY_IDLE = -15;
constexpr int THREAD_PRIORITY_LOWEST = -2;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

// What the owner of a thread may keep and use after the thread has ended and, free on end,
// destroyed itself: a thread that has ended ignores the terminate request.
class ThreadRef {
 public:
  ThreadRef() = default;

  void Terminate() const;
  bool Running() const;
  // Waits until the body has returned, up to `timeout`; true when it has.
  bool WaitFor(std::chrono::milliseconds timeout) const;
  bool Empty() const { return !control_; }
  // The kernel's id of the thread once it has started, 0 before.
  int NativeId() const { return control_ ? control_->nativeId.load() : 0; }

 private:
  friend class TThread;
  struct Control {
    std::atomic<bool> terminated{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    std::atomic<int> nativeId{0};
  };
  explicit ThreadRef(std::shared_ptr<Control> control) : control_(std::move(control)) {}

  std::shared_ptr<Control> control_;
};

class TThread {
 public:
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  // `delete` on a thread that does not free itself waits for its body to return before any
  // part of the object is destroyed: the body runs in the descendant, whose members (and
  // whose Execute) are gone by the time ~TThread could wait.
  void operator delete(TThread* thread, std::destroying_delete_t);

  // Creates a T and starts its body at once. With FreeOnTerminate set (by T's constructor),
  // the object deletes itself when the body returns and the returned pointer must not be
  // used afterwards: keep Ref() instead.
  template <typename T, typename... Args>
  static T* Create(Args&&... args) {
    T* thread = new T(std::forward<Args>(args)...);
    thread->Start();
    return thread;
  }

  // Sets the stop request; the body sees it through Terminated(). Any thread.
  void Terminate() { ref_.Terminate(); }
  ThreadRef Ref() const { return ref_; }
  // Applies one of the THREAD_PRIORITY_* levels to the running thread; the levels above
  // normal need privileges that a desktop user may not have, and are then left as they are.
  void SetPriority(int priority);
  int Priority() const { return priority_; }

 protected:
  TThread();
  // The body; runs on the new thread.
  virtual void Execute() = 0;
  bool Terminated() const { return ref_.control_->terminated.load(); }
  // Runs `method` on the GUI thread and returns once it has run there. The GUI thread must
  // keep pumping its messages meanwhile. Called from the body.
  void Synchronize(const std::function<void()>& method);

  // Set in the constructor of a descendant; read when the body returns.
  bool FreeOnTerminate = false;

 private:
  void Start();
  void Run();
  // Joins the thread, or lets it go when called on the thread itself.
  void Release();

  ThreadRef ref_;
  std::atomic<int> priority_{THREAD_PRIORITY_NORMAL};
  std::thread thread_;  // joined on deletion; left empty for a thread that frees itself
};
