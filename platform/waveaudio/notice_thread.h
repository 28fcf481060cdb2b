// The service thread of one open device: delivers its notices to the callback one at a time,
// in the order they were handed over.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class NoticeThread {
 public:
  NoticeThread();
  // Delivers what is still queued, then ends the thread (see Stop).
  ~NoticeThread();
  NoticeThread(const NoticeThread&) = delete;
  NoticeThread& operator=(const NoticeThread&) = delete;

  // Queues a delivery. Never blocks on the callback. Any thread.
  void Post(std::function<void()> delivery);
  // Returns once everything posted before the call has been delivered; at once on the
  // service thread itself, which would otherwise wait for its own delivery.
  void WaitDelivered();
  // Whether everything posted so far has been delivered; never waits.
  bool Delivered() const;
  // Delivers what is queued and ends the thread. Called on the service thread itself (a
  // callback closing its own device), the thread is left to end on its own.
  void Stop();
  bool OnServiceThread() const;

 private:
  // Shared with the thread, so that a thread left to end on its own never touches a
  // destroyed NoticeThread.
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable deliveredWake;
    std::deque<std::function<void()>> queue;
    std::uint64_t posted = 0;
    std::uint64_t done = 0;
    std::atomic<std::uint64_t> delivered{0};  // `done`, for a waiter that spins first
    bool stopping = false;
    bool ended = false;
    std::thread::id id;
  };
  static void Run(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
  std::thread thread_;
};
