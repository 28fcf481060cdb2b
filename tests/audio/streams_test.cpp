// The two streams on the virtual card: which buffer each completion finishes, the ring
// indices and histories, the buffer timeline across power cycles, and every failure text.
#include "audio/streams.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "audio/buffer_pool.h"
#include "audio/engine_state.h"
#include "echo/processor_power.h"
#include "tests/support/engine_rig.h"

namespace {

// Every frame of capture period n (counted from 1) holds the value n, so a buffer tells
// which period filled it.
class PeriodMarks final : public CaptureSource {
 public:
  explicit PeriodMarks(std::size_t period) : period_(period) {}
  void Read(std::int16_t* slots, std::size_t frames, std::int32_t) override {
    for (std::size_t j = 0; j < 2 * frames; ++j, ++slot_) {
      slots[j] = static_cast<std::int16_t>(slot_ / (2 * period_) + 1);
    }
  }

 private:
  std::size_t period_;
  std::size_t slot_ = 0;
};

class Streams : public ::testing::Test {
 protected:
  Streams() { rig.card.SetCaptureSource(0, std::make_shared<PeriodMarks>(rig.PeriodFrames())); }
  // The value every slot of a played period holds, or -1 when they differ.
  std::vector<int> PlayedMarks() {
    const auto played = rig.card.Played(0);
    const std::size_t period = 2 * static_cast<std::size_t>(rig.PeriodFrames());
    std::vector<int> marks;
    for (std::size_t start = 0; start + period <= played.size(); start += period) {
      const bool same = std::all_of(played.begin() + start, played.begin() + start + period,
                                    [&](auto s) { return s == played[start]; });
      marks.push_back(same ? played[start] : -1);
    }
    return marks;
  }

  EngineRig rig;
};

using PassPair = std::pair<std::int32_t, std::int32_t>;

std::vector<PassPair> PassesOf(RecordingPanel& panel) {
  std::vector<PassPair> passes;
  for (const auto& paint : panel.Paints()) {
    if (paint.colour == clRed) passes.emplace_back(paint.older, paint.newer);
  }
  return passes;
}

}  // namespace

TEST_F(Streams, CaptureFinishesHeaderOneThenZeroThenOneTwoThree) {
  rig.panel.echoActive = false;  // the buffers keep what capture put in them
  rig.PowerOn();
  const int expected[] = {1, 0, 1, 2, 3, 4, 5, 6, 7, 0};
  for (int period = 1; period <= 10; ++period) {
    rig.RunPeriod();
    EXPECT_EQ(BufferData[expected[period - 1]][0], period) << "period " << period;
  }
}

TEST_F(Streams, PlaybackPlaysThreeToSevenThenEachBufferFourPeriodsAfterItsCapture) {
  rig.panel.echoActive = false;
  rig.PowerOn();
  rig.RunPeriods(12);
  // Periods 1..5 play buffers 3..7, still silent; buffer 0 (period 6) holds the capture of
  // period 2; from then on period n plays what period n - 4 captured.
  EXPECT_EQ(PlayedMarks(), (std::vector<int>{0, 0, 0, 0, 0, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(Streams, FirstCompletionsLeaveTheRingIndicesAndHistories) {
  rig.PowerOn();
  EXPECT_EQ(bufinnum, 0);
  EXPECT_EQ(bufoutnum, 4);
  rig.RunPeriod();
  EXPECT_EQ(bufinnum, 1);
  EXPECT_EQ(InLast, 0);
  EXPECT_EQ(bufoutnum, 5);
  EXPECT_EQ(OutLast, 4);
  EXPECT_FALSE(FirstInBuffer);
  EXPECT_FALSE(FirstOutBuffer);
  rig.RunPeriods(3);
  // Four apart, as "Buff Info" shows them between two boundaries.
  EXPECT_EQ((bufoutnum - bufinnum + 8) % 8, 4);
}

TEST_F(Streams, EchoPassesFollowTheTimelineAcrossTwoPowerCycles) {
  rig.PowerOn();
  rig.RunPeriods(10);
  // At the first power-on the histories are all 0: buffer 0 is passed twice, reading ahead
  // into itself, then period n >= 3 rewrites n - 3 reading ahead into n - 2.
  std::vector<PassPair> expected = {{0, 0}, {0, 0}};
  for (int n = 3; n <= 10; ++n) expected.emplace_back((n - 3) % 8, (n - 2) % 8);
  EXPECT_EQ(PassesOf(rig.panel), expected);

  rig.PowerOff();
  const std::int32_t newer = InNewer;
  const std::int32_t last = InLast;
  rig.PowerOn();
  EXPECT_EQ(bufinnum, 0);
  EXPECT_EQ(bufoutnum, 4);
  rig.RunPeriods(10);
  // The histories carry over: period 1 rewrites what InNewer named before the start,
  // reading into InLast's; period 2 rewrites InLast's, reading into buffer 0.
  expected.emplace_back(newer, last);
  expected.emplace_back(last, 0);
  for (int n = 3; n <= 10; ++n) expected.emplace_back((n - 3) % 8, (n - 2) % 8);
  EXPECT_EQ(PassesOf(rig.panel), expected);
  EXPECT_TRUE(rig.panel.Memo().empty());
  EXPECT_TRUE(rig.panel.Messages().empty());
}

TEST_F(Streams, AfterTheStopsNothingIsQueuedAndNoPeriodIsAnnounced) {
  rig.PowerOn();
  rig.RunPeriods(3);
  rig.panel.SetEchoActive(false);
  AwaitEchoEnd(rig.echo, [&] { rig.Pump(); });
  BufferReady = false;
  StopCapture();
  StopPlayback();
  EXPECT_FALSE(BufferReady);  // the reset's completions announce nothing
  const std::size_t played = rig.card.Played(0).size();
  rig.card.Step(10 * rig.PeriodFrames());
  EXPECT_EQ(rig.card.Played(0).size(), played);
  EXPECT_EQ(rig.card.CallCount(WaveCall::waveInAddBuffer), 2 + 3);
  EXPECT_EQ(rig.card.CallCount(WaveCall::waveOutWrite), 2 + 3);
  FreeBuffers();
}

TEST_F(Streams, OpenAndCloseNoticesChangeNothing) {
  bufinnum = 3;
  InLast = 2;
  bufoutnum = 6;
  for (UINT msg : {WIM_OPEN, WIM_CLOSE}) WaveInDone(nullptr, msg, 0, 0, 0);
  for (UINT msg : {WOM_OPEN, WOM_CLOSE}) WaveOutDone(nullptr, msg, 0, 0, 0);
  EXPECT_EQ(bufinnum, 3);
  EXPECT_EQ(InLast, 2);
  EXPECT_EQ(bufoutnum, 6);
  EXPECT_FALSE(BufferReady);
}

// Failure texts, each provoked on the virtual card.

TEST_F(Streams, FailedCaptureOpenReportsTheOpenAndEveryCallThatThenFails) {
  rig.card.FailCall(WaveCall::waveInOpen, MMSYSERR_ALLOCATED);
  rig.PowerOn();
  EXPECT_EQ(rig.panel.Memo(),
            (std::vector<std::string>{
                "waveInOpen ERROR!", "waveInStart ERROR!", "waveInPrepareHeader FIRST ERROR!5",
                "waveInAddBuffer FIRST ERROR!", "waveInPrepareHeader SECOND ERROR!",
                "waveInAddBuffer SECOND ERROR!"}));
  EXPECT_TRUE(InputActive);  // the power-on completes
  EXPECT_TRUE(OutputActive);
}

TEST_F(Streams, FailedPlaybackOpenHasNoLineOfItsOwn) {
  rig.card.FailCall(WaveCall::waveOutOpen, MMSYSERR_ALLOCATED);
  rig.PowerOn();
  EXPECT_EQ(rig.panel.Memo(),
            (std::vector<std::string>{"waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!",
                                      "waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!"}));
  // With no playback completion there is no period: the echo thread waits, the LED stays.
  rig.RunPeriods(3);
  EXPECT_TRUE(rig.panel.Paints().empty());
  EXPECT_TRUE(rig.echo.Running());
}

TEST_F(Streams, EachStartFailureAddsItsLineInPlace) {
  struct Case {
    WaveCall call;
    int skip;
    std::vector<std::string> memo;
  };
  const Case cases[] = {
      {WaveCall::waveInStart, 0, {"waveInStart ERROR!"}},
      {WaveCall::waveInPrepareHeader,
       0,
       {"waveInPrepareHeader FIRST ERROR!7", "waveInAddBuffer FIRST ERROR!"}},
      {WaveCall::waveInAddBuffer, 0, {"waveInAddBuffer FIRST ERROR!"}},
      {WaveCall::waveInPrepareHeader,
       1,
       {"waveInPrepareHeader SECOND ERROR!", "waveInAddBuffer SECOND ERROR!"}},
      {WaveCall::waveInAddBuffer, 1, {"waveInAddBuffer SECOND ERROR!"}},
      {WaveCall::waveOutPrepareHeader, 0, {"waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!"}},
      {WaveCall::waveOutWrite, 1, {"waveOutWrite ERROR!"}},
  };
  for (const Case& c : cases) {
    EngineRig fresh;
    fresh.card.FailCall(c.call, MMSYSERR_NOMEM, c.skip);
    fresh.PowerOn();
    EXPECT_EQ(fresh.panel.Memo(), c.memo) << static_cast<int>(c.call) << " after " << c.skip;
  }
}

TEST_F(Streams, CompletionFailuresReachTheGuiAsMessageBoxesWithoutBlockingTheDevice) {
  rig.PowerOn();
  // The first completions' unprepare, then the re-queueing of each stream.
  rig.card.FailCall(WaveCall::waveInUnprepareHeader, MMSYSERR_ERROR);
  rig.card.FailCall(WaveCall::waveOutUnprepareHeader, MMSYSERR_ERROR);
  rig.card.Step(rig.PeriodFrames());  // returns: the handlers did not wait for the boxes
  EXPECT_TRUE(rig.panel.Messages().empty());
  // Pumped until the period's pass has ended too: the next period's capture refills the
  // buffer that the first pass after a power-on rewrites.
  while (BufferReady && rig.echo.Running()) rig.gui.WaitAndPump(std::chrono::milliseconds(1));
  rig.Pump();
  EXPECT_EQ(rig.panel.Messages(), (std::vector<std::string>{"waveInUnprepareHeader ERROR!",
                                                            "waveOutUnprepareHeader ERROR!"}));

  rig.card.FailCall(WaveCall::waveInPrepareHeader, MMSYSERR_ERROR);
  rig.card.FailCall(WaveCall::waveOutPrepareHeader, MMSYSERR_ERROR);
  rig.RunPeriod();
  rig.Pump();
  const auto messages = rig.panel.Messages();
  ASSERT_EQ(messages.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(messages.begin() + 2, messages.end()),
            (std::vector<std::string>{"waveInPrepareHeader ERROR!", "waveInWrite ERROR!",
                                      "waveOutPrepareHeader ERROR!", "waveOutWrite ERROR!"}));
}

TEST_F(Streams, StopFailuresAddTheirLinesAndTheirBox) {
  rig.PowerOn();
  rig.RunPeriods(2);
  rig.panel.SetEchoActive(false);
  AwaitEchoEnd(rig.echo, [&] { rig.Pump(); });
  rig.card.FailCall(WaveCall::waveInStop, MMSYSERR_ERROR);
  // The first two unprepares are the reset's completions; the third is the stop's own.
  rig.card.FailCall(WaveCall::waveInUnprepareHeader, MMSYSERR_ERROR, 2);
  rig.card.FailCall(WaveCall::waveInClose, MMSYSERR_ERROR);
  rig.card.FailCall(WaveCall::waveOutClose, MMSYSERR_ERROR);
  StopCapture();
  StopPlayback();
  FreeBuffers();
  EXPECT_EQ(rig.panel.Memo(), (std::vector<std::string>{"waveInStop ERROR!", "WaveInClose ERROR!",
                                                        "WaveOutClose ERROR!"}));
  EXPECT_EQ(rig.panel.Messages(), (std::vector<std::string>{"waveInUnprepareHeader ERROR2!"}));
  // The devices the failed closes left open are closed for real, so the card is clean.
  waveInClose(hWaveIn);
  waveOutClose(hWaveOut);
}

// ---- A stop racing a completion ----

namespace {

// Holds the next completion of the kind asked for just before it queues its buffer, until
// its stream's active flag is cleared and a little longer: the stop's reset then runs while
// the completion is about to queue.
std::atomic<UINT> holdNotice{0};
std::atomic<bool> holding{false};

void HoldUntilStopped(UINT uMsg) {
  if (uMsg != holdNotice.load()) return;
  holdNotice = 0;
  holding = true;
  const std::atomic<bool>& active = uMsg == WIM_DATA ? InputActive : OutputActive;
  while (active) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  holding = false;
}

class StopRacingACompletion : public ::testing::TestWithParam<UINT> {
 protected:
  StopRacingACompletion() {
    rig.panel.echoActive = false;
    CompletionQueueingHook = &HoldUntilStopped;
  }
  ~StopRacingACompletion() override { CompletionQueueingHook = nullptr; }

  EngineRig rig;
};

// The completion had found its stream running, so it queues one more buffer after the flag
// is cleared: the reset must take that one back too, or the device refuses to close and
// goes on using a buffer that the power-off then frees.
TEST_P(StopRacingACompletion, TheDeviceStillClosesAndThePoolIsFreedUnused) {
  rig.PowerOn();
  rig.RunPeriods(3);
  holdNotice = GetParam();
  std::thread period([&] { rig.card.Step(static_cast<std::size_t>(rig.PeriodFrames())); });
  while (!holding) std::this_thread::yield();
  StopCapture();
  StopPlayback();
  period.join();
  FreeBuffers();
  EXPECT_EQ(rig.panel.Memo(), std::vector<std::string>{});
  EXPECT_EQ(rig.panel.Messages(), std::vector<std::string>{});
  EXPECT_EQ(waveInClose(hWaveIn), MMSYSERR_INVALHANDLE);  // closed already
  EXPECT_EQ(waveOutClose(hWaveOut), MMSYSERR_INVALHANDLE);
  // The devices are free for the next power-on.
  rig.PowerOn();
  rig.RunPeriods(2);
  rig.PowerOff();
  EXPECT_EQ(rig.panel.Memo(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Streams, StopRacingACompletion, ::testing::Values(WIM_DATA, WOM_DONE),
                         [](const auto& info) {
                           return std::string(info.param == WIM_DATA ? "Capture" : "Playback");
                         });

}  // namespace
