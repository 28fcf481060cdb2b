// The waveform calls on the in-process sound card: the card's stepped clock.
#include "tests/platform/wave_card.h"

namespace {

using namespace wave_card;

TEST_F(VirtualClock, StepReturnsOnlyOnceEveryCompletedHeaderHasBeenHandled) {
  log.delay = 4ms;
  log2.delay = 4ms;
  HWAVEIN in = OpenIn(0, &log);
  HWAVEOUT out = OpenOut(0, &log2);
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  AddBuffers(in, {10, 10, 10, 10, 10});
  std::vector<std::int16_t> written;
  WriteBuffers(out, {10, 10, 10, 10, 10}, &written);
  ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
  card.Step(45);
  EXPECT_EQ(log.Count(WIM_DATA), 4u);
  EXPECT_EQ(log2.Count(WOM_DONE), 4u);
  card.Step(5);
  EXPECT_EQ(log.Count(WIM_DATA), 5u);
  EXPECT_EQ(log2.Count(WOM_DONE), 5u);
}

TEST_F(VirtualClock, AtASharedBoundaryTheStreamOpenedFirstCompletesFirst) {
  // One log for both devices: its order is the order the notices were handled in.
  log.delay = 2ms;
  const auto dataOrder = [&] {
    std::vector<UINT> order;
    for (UINT m : log.Messages()) {
      if (m == WIM_DATA || m == WOM_DONE) order.push_back(m);
    }
    return order;
  };
  for (bool captureFirst : {true, false}) {
    SCOPED_TRACE(captureFirst ? "capture opened first" : "playback opened first");
    HWAVEIN in = nullptr;
    HWAVEOUT out = nullptr;
    if (captureFirst) in = OpenIn(0, &log);
    out = OpenOut(0, &log);
    if (!captureFirst) in = OpenIn(0, &log);
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    // Playback queued first and with its boundaries inside one long step.
    std::vector<std::int16_t> written;
    WriteBuffers(out, {32, 32, 32}, &written);
    AddBuffers(in, {32, 32, 32});
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    const std::size_t before = dataOrder().size();
    card.Step(96);
    auto order = dataOrder();
    order.erase(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(before));
    const UINT first = captureFirst ? WIM_DATA : WOM_DONE;
    const UINT second = captureFirst ? WOM_DONE : WIM_DATA;
    EXPECT_EQ(order, (std::vector<UINT>{first, second, first, second, first, second}));
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  }
}

}  // namespace
