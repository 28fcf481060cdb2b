#include "platform/waveaudio/completion_order.h"

namespace {

int Index(WaveDirection direction) {
  return direction == WaveDirection::Capture ? 0 : 1;
}

WaveDirection Other(WaveDirection direction) {
  return direction == WaveDirection::Capture ? WaveDirection::Playback : WaveDirection::Capture;
}

}  // namespace

void CompletionOrder::Join(WaveDirection direction) {
  std::lock_guard lock(mutex_);
  taking_[Index(direction)] = true;
  due_ = WaveDirection::Capture;
}

void CompletionOrder::Leave(WaveDirection direction) {
  {
    std::lock_guard lock(mutex_);
    taking_[Index(direction)] = false;
  }
  changed_.notify_all();
}

void CompletionOrder::AwaitTurn(WaveDirection direction, std::chrono::microseconds bound) {
  std::unique_lock lock(mutex_);
  const bool inTurn =
      changed_.wait_for(lock, bound, [&] { return due_ == direction || !BothTakePartLocked(); });
  if (!inTurn) ++outOfTurn_;
}

void CompletionOrder::Delivered(WaveDirection direction) {
  {
    std::lock_guard lock(mutex_);
    due_ = Other(direction);
  }
  changed_.notify_all();
}
