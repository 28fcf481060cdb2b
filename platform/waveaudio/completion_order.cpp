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
  suspended_[Index(direction)] = false;
  lead_ = 0;
  due_ = WaveDirection::Capture;
}

void CompletionOrder::Leave(WaveDirection direction) {
  {
    std::lock_guard lock(mutex_);
    taking_[Index(direction)] = false;
    // A device that has gone holds nothing up, even one that went while suspended.
    suspended_[Index(direction)] = false;
  }
  changed_.notify_all();
}

void CompletionOrder::Suspend(WaveDirection direction, bool suspended) {
  {
    std::lock_guard lock(mutex_);
    suspended_[Index(direction)] = suspended;
  }
  changed_.notify_all();
}

bool CompletionOrder::Suspended(WaveDirection direction) {
  std::lock_guard lock(mutex_);
  return suspended_[Index(direction)];
}

void CompletionOrder::AwaitTurn(WaveDirection direction, std::chrono::microseconds bound) {
  std::unique_lock lock(mutex_);
  const auto inTurn = [&] { return due_ == direction || !BothTakePartLocked(); };
  auto deadline = std::chrono::steady_clock::now() + bound;
  ++waiting_[Index(direction)];
  while (!inTurn()) {
    if (suspended_[Index(Other(direction))] || AsFarAheadAsItMayLocked(direction)) {
      changed_.wait(lock);
      deadline = std::chrono::steady_clock::now() + bound;
    } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      if (!inTurn()) ++outOfTurn_;
      break;
    }
  }
  --waiting_[Index(direction)];
}

void CompletionOrder::Delivered(WaveDirection direction) {
  {
    std::lock_guard lock(mutex_);
    if (BothTakePartLocked()) lead_ += direction == WaveDirection::Capture ? 1 : -1;
    due_ = Other(direction);
  }
  changed_.notify_all();
}

bool CompletionOrder::AsFarAheadAsItMayLocked(WaveDirection direction) const {
  return direction == WaveDirection::Capture ? lead_ >= kCaptureLeadMax : lead_ <= kCaptureLeadMin;
}

bool CompletionOrder::Holding(WaveDirection direction) {
  std::lock_guard lock(mutex_);
  return waiting_[Index(direction)] > 0 && due_ != direction && BothTakePartLocked();
}
