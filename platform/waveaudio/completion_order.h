// Keeps the completion notices of a capture and a playback stream alternating, capture
// first, as the processor needs them: each capture completion moves the history that the
// next playback completion's echo pass reads. The two streams deliver their notices on
// threads of their own, and on a loaded machine one of them can run ahead of the other:
// a buffer is then played without its echo, or echoed twice, and the order stays flipped
// until the streams stop. So a notice out of turn is held until the other stream's has
// been delivered, for a bounded time: a stream that stalls for a moment must not starve
// the other, and after such a stall the first notice in turn sets the order right. But a
// stream may run only one notice ahead so: the two share one ring of headers, and a stream
// further ahead would queue a header the stalled one still holds, which breaks the echo
// until the streams stop. Beyond that it waits without a bound; silence is better.
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
  // direction's device last ran), which is then counted, unless this direction's last
  // notice was let through so already: that one waits for its turn.
  void AwaitTurn(WaveDirection direction, std::chrono::microseconds bound);
  // After that notice has been delivered: the other direction's turn.
  void Delivered(WaveDirection direction);
  // A notice of `direction` is being held for the other direction's. A clock that runs the
  // streams itself (the virtual card) must then move the other stream rather than wait.
  bool Holding(WaveDirection direction);

  // Notices let through out of turn since the order was made: each one a buffer played
  // without its echo, or echoed twice.
  std::uint64_t OutOfTurn() const { return outOfTurn_; }

 private:
  bool BothTakePartLocked() const { return taking_[0] && taking_[1]; }
  // Whether a notice of `direction` let through now would run further ahead than one.
  bool AsFarAheadAsItMayLocked(WaveDirection direction) const;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool taking_[2] = {false, false};     // by WaveDirection
  bool suspended_[2] = {false, false};  // by WaveDirection
  int waiting_[2] = {0, 0};             // notices in AwaitTurn, by WaveDirection
  // Capture notices delivered less playback ones while both took part: 0 before capture's
  // turn, 1 before playback's. Out of turn, it may go one beyond either.
  int lead_ = 0;
  static constexpr int kCaptureLeadMax = 2;
  static constexpr int kCaptureLeadMin = -1;
  WaveDirection due_ = WaveDirection::Capture;
  std::atomic<std::uint64_t> outOfTurn_{0};
};
