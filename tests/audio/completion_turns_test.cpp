// The engine on a card whose capture completions fall behind the playback completions of
// the same moment, as one stream's do behind the other's on a loaded machine. An echo pass
// must work on the capture that came before the playback completion that started it: when
// the playback completion overtakes, a buffer is echoed twice. With the card's completions
// taking turns every period is echoed exactly once, however far behind capture falls; after
// a stall longer than a notice may be held, the order comes back by itself.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>

#include "audio/engine_state.h"
#include "tests/support/echo_reference.h"
#include "tests/support/engine_rig.h"
#include "tests/support/eventually.h"

namespace {

using std::chrono::milliseconds;

class Turns : public ::testing::Test {
 protected:
  static constexpr int kPeriods = 30;

  Turns() : rig_(8000, 2), period_(rig_.PeriodFrames()) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> sample(-12000, 12000);
    input_.resize(2 * static_cast<std::size_t>(period_) * kPeriods);
    for (auto& s : input_) s = static_cast<std::int16_t>(sample(random));
    rig_.card.SetCaptureSource(0, MakeTestVector(input_));
  }

  // Periods in quarters, each quarter's echo pass run before the next, as the echo thread
  // runs a pass as soon as a playback completion wakes it.
  void Run(int periods) {
    for (int quarter = 0; quarter < 4 * periods; ++quarter) {
      rig_.card.Step(static_cast<std::size_t>(period_) / 4);
      while (BufferReady && rig_.echo.Running())
        rig_.gui.WaitAndPump(std::chrono::microseconds(100));
    }
  }

  // A period with one stream stalled: the other's completion waits for one that is not
  // coming and is let go after the bound, and the pass it starts, if any, runs.
  void RunStalled(WaveDirection stalled) {
    const std::uint64_t before = rig_.card.PassesOutOfTurn();
    const std::size_t paints = rig_.panel.Paints().size();
    Run(1);
    // A pass paints the LED twice.
    ASSERT_TRUE(EventuallyServing(
        [&] {
          return rig_.card.PassesOutOfTurn() > before &&
                 (stalled == WaveDirection::Playback || rig_.panel.Paints().size() >= paints + 2);
        },
        [&] { rig_.gui.WaitAndPump(std::chrono::microseconds(100)); }))
        << "the notice held for the stalled stream to be let go";
  }

  // The periods of the input from `from` to before `to` whose echo was played wrong:
  // missed, applied twice, or applied to another period's sound; `lost` frames of the input
  // before them found no capture header. Period 1 is never right: the engine's first pass
  // reads ahead into the buffer still being captured, whatever the timing.
  std::string WrongPeriods(std::size_t from = 2, std::size_t to = kPeriods,
                           std::uint64_t lost = 0) {
    const auto played = rig_.card.Played(0);
    const std::vector<std::int16_t> captured(input_.begin() + 2 * static_cast<std::ptrdiff_t>(lost),
                                             input_.end());
    const auto expected =
        ReferenceAlignedOutput(captured, period_, EchoStep, EchoDelay, EchoVolume);
    const std::size_t slots = 2 * static_cast<std::size_t>(period_);
    const std::size_t latency = 4 * slots;
    std::string wrong;
    for (std::size_t p = from;
         p < to && (p + 1) * slots <= captured.size() && latency + (p + 1) * slots <= played.size();
         ++p) {
      if (!std::equal(expected.begin() + p * slots, expected.begin() + (p + 1) * slots,
                      played.begin() + latency + p * slots)) {
        wrong += (wrong.empty() ? "" : " ") + std::to_string(p);
      }
    }
    return wrong;
  }

  // Capture falls a quarter of a period behind, then three quarters, then catches up.
  void FallBehindAndCatchUp() {
    rig_.PowerOn();
    Run(6);
    rig_.card.Lag(WaveDirection::Capture, period_ / 4);
    Run(8);
    rig_.card.Lag(WaveDirection::Capture, 3 * period_ / 4);
    Run(8);
    rig_.card.Lag(WaveDirection::Capture, 0);
    Run(kPeriods + 4 - 22);
  }

  EngineRig rig_;
  const std::int32_t period_;
  std::vector<std::int16_t> input_;
};

TEST_F(Turns, WithoutThemAPlaybackCompletionThatOvertakesEchoesABufferTwice) {
  // The hazard itself, on the same card: the proof that the lags below reorder.
  FallBehindAndCatchUp();
  EXPECT_NE(WrongPeriods(), "");
}

TEST_F(Turns, WithThemEveryPeriodIsEchoedOnceHoweverFarBehindCaptureFalls) {
  // Long enough that no held notice is ever let go on a busy machine.
  rig_.card.OrderCompletions(std::chrono::seconds(30));
  FallBehindAndCatchUp();
  EXPECT_EQ(WrongPeriods(), "");
  EXPECT_EQ(rig_.card.PassesOutOfTurn(), 0U);
  EXPECT_EQ(rig_.card.UnderflowFrames(0), 0U);
  EXPECT_EQ(rig_.card.OverflowFrames(0), 0U);
  EXPECT_TRUE(rig_.panel.Memo().empty());
  EXPECT_TRUE(rig_.panel.Messages().empty());
}

TEST_F(Turns, AfterAStallLongerThanTheBoundEveryPeriodIsEchoedOnceAgain) {
  const auto bound = milliseconds(50);
  rig_.card.OrderCompletions(bound);
  rig_.PowerOn();
  Run(4);
  std::vector<std::uint64_t> lost;
  for (const WaveDirection stalled : {WaveDirection::Capture, WaveDirection::Playback}) {
    SCOPED_TRACE(stalled == WaveDirection::Capture ? "capture stalled" : "playback stalled");
    // Three and a half periods. After the bound, one notice of the other stream is let
    // go; the next ones wait for the stalled stream however long it takes, rather than
    // run so far ahead that the other stream's headers meet the stalled one's.
    rig_.card.Lag(stalled, 7 * period_ / 2);
    const std::uint64_t before = rig_.card.PassesOutOfTurn();
    RunStalled(stalled);
    Run(2);
    // Time for every notice still held to be let go, were the bound all that held it.
    std::this_thread::sleep_for(6 * bound);
    EXPECT_LE(rig_.card.PassesOutOfTurn(), before + 2);
    rig_.card.Lag(stalled, 0);
    Run(8);
    lost.push_back(rig_.card.OverflowFrames(0));
  }
  Run(kPeriods + 4 - 26);
  // The periods around each stall are wrong, the ones after it right again: the capture
  // stall spoils input periods 2 to 4, the playback stall 13 to 16, while capture lost
  // what it heard for want of a free header.
  EXPECT_EQ(WrongPeriods(5, 13, lost[0]), "");
  EXPECT_EQ(WrongPeriods(17, kPeriods, lost[1]), "");
  EXPECT_EQ(lost[0], 0U);
  EXPECT_TRUE(rig_.panel.Messages().empty());
}

}  // namespace
