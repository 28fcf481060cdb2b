// Keeps the completion notices of a capture and a playback stream alternating, capture
// first, as the processor needs them: each capture completion moves the history that the
// next playback completion's echo pass reads. The two streams deliver their notices on
// threads of their own, and on a loaded machine one of them can run ahead of the other:
// a buffer is then played without its echo, or echoed twice, and the order stays flipped
// until the streams stop. So a notice out of turn is held until the other stream's has
// been delivered, for a bounded time only: a stream that stalls (a suspended device) must
// not stop the other, and after such a stall the first notice in turn sets the order right.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/waveaudio/wave_driver.h"

class CompletionOrder {
 public:
  // A stream of `direction` takes part from now on. Only while both take part is anything
  // held; the first notice is then due from capture.
  void Join(WaveDirection direction);
  // It takes part no more (reset, failed or closed): nothing waits for it.
  void Leave(WaveDirection direction);

  // The server suspended the device of `direction` (an idle sink, a headset changing its
  // profile), or resumed it. While it is suspended, the other direction's notices wait for
  // it without a bound: the buffers wait, and the sound resumes in order with it. Joining
  // and leaving end a suspension.
  void Suspend(WaveDirection direction, bool suspended);
  bool Suspended(WaveDirection direction);

  // On the notice thread of a stream of `direction`, before a completion notice: returns
  // once it is this direction's turn, or after `bound` (counted from when the other
  // direction's device last ran), which is then counted.
  void AwaitTurn(WaveDirection direction, std::chrono::microseconds bound);
  // After that notice has been delivered: the other direction's turn.
  void Delivered(WaveDirection direction);

  // Notices let through out of turn since the order was made: each one a buffer played
  // without its echo, or echoed twice.
  std::uint64_t OutOfTurn() const { return outOfTurn_; }

 private:
  bool BothTakePartLocked() const { return taking_[0] && taking_[1]; }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool taking_[2] = {false, false};     // by WaveDirection
  bool suspended_[2] = {false, false};  // by WaveDirection
  WaveDirection due_ = WaveDirection::Capture;
  std::atomic<std::uint64_t> outOfTurn_{0};
};
