// A known signal through the whole engine on the virtual card: the played stream is the
// reference echo of the input, sample for sample, four buffer periods later.
#include <gtest/gtest.h>

#include <random>

#include "audio/engine_state.h"
#include "tests/support/echo_reference.h"
#include "tests/support/engine_rig.h"

namespace {

std::vector<std::int16_t> Noise(std::size_t slots, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  std::vector<std::int16_t> v(slots);
  for (auto& s : v) s = static_cast<std::int16_t>(sample(random));
  return v;
}

void ExpectPlayedIsEchoOfInput(std::int32_t rate, std::int32_t multiplier, std::int32_t delay,
                               std::int32_t step, std::int32_t volume, unsigned seed) {
  EngineRig rig(rate, multiplier);
  EchoDelay = delay;
  EchoStep = step;
  EchoVolume = volume;
  const std::int32_t period = rig.PeriodFrames();
  const int periods = 9;
  const auto input = Noise(2 * static_cast<std::size_t>(period) * periods, seed);
  rig.card.SetCaptureSource(0, MakeTestVector(input));
  rig.PowerOn();
  rig.RunPeriods(periods + 4);
  const auto played = rig.card.Played(0);
  ASSERT_EQ(played.size(), 2u * period * (periods + 4));
  const auto expected = ReferenceAlignedOutput(input, period, step, delay, volume);
  const std::size_t latency = 4 * 2 * static_cast<std::size_t>(period);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(played[latency + i], expected[i])
        << "slot " << i << " (period " << i / (2 * period) << ")";
  }
  EXPECT_TRUE(rig.panel.Memo().empty());
  EXPECT_TRUE(rig.panel.Messages().empty());
}

}  // namespace

TEST(EndToEnd, PlayedStreamIsTheEchoOfTheCaptureFourPeriodsLater) {
  // Concert Hall 1 at 8000 Hz: 640 frames, three taps.
  ExpectPlayedIsEchoOfInput(8000, 2, 1280, 33, 100, 1);
}

TEST(EndToEnd, LongestDelayWithElevenTapsAndClippingGain) {
  // 11025 Hz, multiplier 3: 33076 bytes; eleven taps allow 751 frames.
  ExpectPlayedIsEchoOfInput(11025, 3, 2 * (33076 / 11 / 4), 9, 2500, 2);
}

TEST(EndToEnd, DirectSoundOnlyAtAnOddRate) {
  ExpectPlayedIsEchoOfInput(27420, 2, 0, 100, 37, 3);
}
