// The capture and playback completions taking turns: a notice out of turn waits for the
// other stream's, a stalled stream holds the other up only for the bound (and is counted)
// and then, one notice ahead, until it comes back; after a stall the order is right again
// at once.
#include "platform/waveaudio/completion_order.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace {

using std::chrono::microseconds;
constexpr microseconds kLong = std::chrono::seconds(20);

class Turns : public ::testing::Test {
 protected:
  void SetUp() override {
    order_.Join(WaveDirection::Capture);
    order_.Join(WaveDirection::Playback);
  }

  // Delivers one notice of `direction` through the order, noting it.
  void Deliver(WaveDirection direction, microseconds bound = kLong) {
    order_.AwaitTurn(direction, bound);
    {
      std::lock_guard lock(mutex_);
      delivered_ += direction == WaveDirection::Capture ? 'C' : 'P';
    }
    order_.Delivered(direction);
  }

  std::string Delivered() {
    std::lock_guard lock(mutex_);
    return delivered_;
  }

  CompletionOrder order_;
  std::mutex mutex_;
  std::string delivered_;
};

TEST_F(Turns, APlaybackNoticeAheadOfItsCaptureWaitsForIt) {
  for (int period = 0; period < 3; ++period) {
    std::atomic<bool> started{false};
    std::thread playback([&] {
      started = true;
      Deliver(WaveDirection::Playback);
    });
    // The playback thread is on its way first; the capture notice still goes before it.
    while (!started) std::this_thread::yield();
    Deliver(WaveDirection::Capture);
    playback.join();
  }
  EXPECT_EQ(Delivered(), "CPCPCP");
  EXPECT_EQ(order_.OutOfTurn(), 0U);
}

TEST_F(Turns, ACaptureRunningAheadWaitsForThePlaybackOfThePeriodBefore) {
  Deliver(WaveDirection::Capture);
  std::atomic<bool> started{false};
  std::thread capture([&] {
    started = true;
    Deliver(WaveDirection::Capture);
  });
  while (!started) std::this_thread::yield();
  Deliver(WaveDirection::Playback);
  capture.join();
  EXPECT_EQ(Delivered(), "CPC");
}

TEST_F(Turns, AStalledStreamHoldsTheOtherForTheBoundOnceThenUntilItComesBack) {
  // Capture stalls: playback goes on after the bound, counted.
  Deliver(WaveDirection::Capture);
  Deliver(WaveDirection::Playback);
  Deliver(WaveDirection::Playback, microseconds(1000));
  EXPECT_EQ(order_.OutOfTurn(), 1U);
  // One notice ahead is as far as it goes: a stream further ahead would reuse headers that
  // the stalled one still holds.
  std::atomic<bool> delivered{false};
  std::thread playback([&] {
    Deliver(WaveDirection::Playback, microseconds(1000));
    delivered = true;
  });
  // The bound many times over.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  while (std::chrono::steady_clock::now() < until) std::this_thread::yield();
  EXPECT_FALSE(delivered);
  EXPECT_TRUE(order_.Holding(WaveDirection::Playback));
  // Capture comes back: its first notice is in turn, the held one follows, and so is
  // everything after it.
  Deliver(WaveDirection::Capture, microseconds(1000));
  playback.join();
  Deliver(WaveDirection::Capture, microseconds(1000));
  Deliver(WaveDirection::Playback, microseconds(1000));
  EXPECT_EQ(order_.OutOfTurn(), 1U);
  EXPECT_EQ(Delivered(), "CPPCPCP");
}

TEST_F(Turns, WhileTheOtherDeviceIsSuspendedANoticeWaitsPastItsBound) {
  Deliver(WaveDirection::Capture);
  order_.Suspend(WaveDirection::Playback, true);
  std::atomic<bool> delivered{false};
  std::thread capture([&] {
    // Far past its bound: the playback device is suspended, not stalled.
    Deliver(WaveDirection::Capture, microseconds(1000));
    delivered = true;
  });
  // Long enough for the bound to have passed many times over, were it applied.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  while (std::chrono::steady_clock::now() < until) std::this_thread::yield();
  EXPECT_FALSE(delivered);
  // The playback device's period completes as it resumes; the capture notice then follows.
  Deliver(WaveDirection::Playback);
  order_.Suspend(WaveDirection::Playback, false);
  capture.join();
  EXPECT_EQ(Delivered(), "CPC");
  EXPECT_EQ(order_.OutOfTurn(), 0U);
}

TEST_F(Turns, ADeviceThatLeavesWhileSuspendedHoldsNothingAfterwards) {
  order_.Suspend(WaveDirection::Playback, true);
  EXPECT_TRUE(order_.Suspended(WaveDirection::Playback));
  // Switched off while suspended, then on again: capture is not still waiting for it.
  order_.Leave(WaveDirection::Playback);
  EXPECT_FALSE(order_.Suspended(WaveDirection::Playback));
  order_.Join(WaveDirection::Playback);
  Deliver(WaveDirection::Capture);
  Deliver(WaveDirection::Capture, microseconds(1000));
  EXPECT_EQ(order_.OutOfTurn(), 1U) << "held by its bound, not for ever";
}

TEST_F(Turns, NothingWaitsForAStreamThatLeft) {
  std::thread playback([&] { Deliver(WaveDirection::Playback); });
  // Capture is reset before its notice: the playback notice goes at once, uncounted.
  order_.Leave(WaveDirection::Capture);
  playback.join();
  Deliver(WaveDirection::Playback);
  EXPECT_EQ(Delivered(), "PP");
  EXPECT_EQ(order_.OutOfTurn(), 0U);
}

}  // namespace
