#include "platform/waveaudio/notice_thread.h"

#include "platform/thread/realtime.h"
#include "platform/thread/spin_wait.h"

NoticeThread::NoticeThread() : state_(std::make_shared<State>()) {
  std::lock_guard lock(state_->mutex);
  thread_ = std::thread([state = state_] { Run(state); });
  state_->id = thread_.get_id();
}

NoticeThread::~NoticeThread() {
  Stop();
}

void NoticeThread::Post(std::function<void()> delivery) {
  {
    std::lock_guard lock(state_->mutex);
    state_->queue.push_back(std::move(delivery));
    ++state_->posted;
  }
  state_->wake.notify_one();
}

void NoticeThread::WaitDelivered() {
  if (OnServiceThread()) return;
  std::unique_lock lock(state_->mutex);
  const std::uint64_t target = state_->posted;
  if (state_->done >= target || state_->ended) return;
  lock.unlock();
  if (SpinUntil([&] { return state_->delivered.load() >= target; })) return;
  lock.lock();
  state_->deliveredWake.wait(lock, [&] { return state_->done >= target || state_->ended; });
}

bool NoticeThread::Delivered() const {
  std::lock_guard lock(state_->mutex);
  return state_->done >= state_->posted || state_->ended;
}

void NoticeThread::Stop() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_one();
  if (!thread_.joinable()) return;
  if (OnServiceThread()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

bool NoticeThread::OnServiceThread() const {
  std::lock_guard lock(state_->mutex);
  return std::this_thread::get_id() == state_->id;
}

void NoticeThread::Run(const std::shared_ptr<State>& state) {
  // The completions the sound depends on are delivered here.
  RequestRealtime(SoundThread::Notices);
  std::unique_lock lock(state->mutex);
  for (;;) {
    state->wake.wait(lock, [&] { return state->stopping || !state->queue.empty(); });
    if (state->queue.empty()) break;
    auto delivery = std::move(state->queue.front());
    state->queue.pop_front();
    lock.unlock();
    delivery();
    delivery = nullptr;  // drop what it holds before counting it delivered
    lock.lock();
    ++state->done;
    state->delivered.store(state->done);
    state->deliveredWake.notify_all();
  }
  state->ended = true;
  state->deliveredWake.notify_all();
}
