// The slider rules and presets, checked against the figures the window must show.
#include "echo/echo_rules.h"

#include <gtest/gtest.h>

#include "audio/buffer_rules.h"

namespace {

constexpr std::int32_t kDefaultBuffer = 352800;  // 44100 Hz, multiplier 8

EchoSliders Apply(const char* name, EchoSliders from = {}, std::int32_t buffer = kDefaultBuffer,
                  std::int32_t rate = 44100, int* passes = nullptr) {
  return ApplyPresetTo(from, *PresetAt(PresetIndex(name)), buffer, rate, passes);
}

}  // namespace

TEST(EchoRules, RepeatsPositionGivesAsManyTapsAsItsValue) {
  const std::int32_t steps[] = {100, 50, 33, 25, 20, 16, 14, 12, 11, 10, 9};
  for (std::int32_t position = 1; position <= 11; ++position) {
    const std::int32_t step = EchoStepFor(position);
    EXPECT_EQ(step, steps[position - 1]);
    EXPECT_EQ(100 / step, position);  // weights step, 2 step, ... up to 100
  }
}

TEST(EchoRules, DelayMaximumKeepsEveryTapInsideTheTwoBuffers) {
  EXPECT_EQ(DelayMaximum(kDefaultBuffer, 1), 88200);
  EXPECT_EQ(DelayMaximum(kDefaultBuffer, 3), 29400);
  EXPECT_EQ(DelayMaximum(kDefaultBuffer, 4), 22050);
  EXPECT_EQ(DelayMaximum(kDefaultBuffer, 11), 8018);
  for (std::int32_t buffer : {16532, 22052, 66152, 352800, 441000}) {
    for (std::int32_t taps = 1; taps <= 11; ++taps) {
      EXPECT_LE(2 * DelayMaximum(buffer, taps) * taps, buffer / 2) << buffer << " " << taps;
    }
  }
}

TEST(EchoRules, LabelsShowTheFiguresOfTheWindow) {
  EXPECT_EQ(DelayText(3528, 44100), "3528  80 ms");
  EXPECT_EQ(DelayText(606, 11025), "606  54 ms");
  EXPECT_EQ(DelayText(0, 44100), "0  0 ms");
  EXPECT_EQ(DelayText(14700, 22050), "14700  666 ms");
  EXPECT_EQ(GainText(1, '.'), "0.01");
  EXPECT_EQ(GainText(100, '.'), "1.00");
  EXPECT_EQ(GainText(999, '.'), "9.99");
  EXPECT_EQ(GainText(1234, '.'), "12.30");
  EXPECT_EQ(GainText(1235, '.'), "12.40");
  EXPECT_EQ(GainText(5000, ','), "50,00");
  EXPECT_EQ(GainText(800, ','), "8,00");
  EXPECT_EQ(GainText(0, '.'), "0.00");
  EXPECT_EQ(GainText(-5, '.'), "-0.05");
  EXPECT_EQ(GainText(-1235, ','), "-12,40");
}

TEST(EchoRules, VolumeRangeSlidesByTwentyFiveAtEitherEnd) {
  EXPECT_EQ(SlideVolumeRange({1, 300}, 300), (VolumeRange{26, 325}));
  EXPECT_EQ(SlideVolumeRange({26, 325}, 50), (VolumeRange{1, 300}));
  EXPECT_EQ(SlideVolumeRange({1, 300}, 1), (VolumeRange{1, 300}));             // never below 1..300
  EXPECT_EQ(SlideVolumeRange({4701, 5000}, 5000), (VolumeRange{4701, 5000}));  // nor past 5000
  EXPECT_EQ(SlideVolumeRange({1, 300}, 150), (VolumeRange{1, 300}));
  // Walking the thumb to each end and back covers every gain, and the range stays
  // 299 wide within 1..5000.
  VolumeRange range;
  std::int32_t position = 100;
  for (; position < kVolumeLimit; ++position) {
    position = std::min(position, range.max);
    range = SlideVolumeRange(range, position);
    ASSERT_EQ(range.max - range.min, 299);
    ASSERT_LE(range.max, kVolumeLimit);
  }
  EXPECT_EQ(range, (VolumeRange{4701, 5000}));
  for (; position > 1; --position) {
    position = std::max(position, range.min);
    range = SlideVolumeRange(range, position);
    ASSERT_GE(range.min, 1);
  }
  EXPECT_EQ(range, (VolumeRange{1, 300}));
}

TEST(EchoRules, PresetTableHoldsFifteenNamedSpaces) {
  ASSERT_EQ(kPresets.size(), 15u);
  EXPECT_EQ(PresetAt(0), nullptr);  // "Custom"
  EXPECT_EQ(PresetAt(16), nullptr);
  EXPECT_EQ(PresetAt(-1), nullptr);
  EXPECT_EQ(PresetAt(1)->name, "Concert Hall 1");
  EXPECT_EQ(PresetAt(10)->name, "Party Overdrive 1");
  EXPECT_EQ(PresetAt(15)->name, "Robot 3");
  EXPECT_EQ(PresetIndex("Canyon"), 3);
  EXPECT_EQ(PresetIndex("Custom"), -1);
}

TEST(EchoRules, ConcertHallOneIsTheStartUpState) {
  const EchoSliders s = Apply("Concert Hall 1");
  EXPECT_EQ(s.repeats, 3);
  EXPECT_EQ(s.delayMax, 29400);
  EXPECT_EQ(s.delay, 3528);
  EXPECT_EQ(s.volume, 100);
  EXPECT_EQ(s.volumeRange, (VolumeRange{1, 300}));
}

TEST(EchoRules, CanyonIsHeldAtTheDelayMaximum) {
  const EchoSliders s = Apply("Canyon");
  EXPECT_EQ(s.repeats, 4);
  EXPECT_EQ(s.delayMax, 22050);
  EXPECT_EQ(s.delay, 22050);  // 600 ms would be 26460 frames
}

TEST(EchoRules, SmallRoomTwoAtElevenKilohertz) {
  const EchoSliders s = Apply("Small Room 2", {}, BufferSizeFor(8, 11025), 11025);
  EXPECT_EQ(s.delay, 606);
  EXPECT_EQ(DelayText(s.delay, 11025), "606  54 ms");
}

TEST(EchoRules, OverdriveSlidesTheVolumeRangeInTwentyOnePassesAndBack) {
  int passes = 0;
  const EchoSliders overdrive = Apply("Party Overdrive 1", {}, kDefaultBuffer, 44100, &passes);
  EXPECT_EQ(passes, 21);
  EXPECT_EQ(overdrive.volumeRange, (VolumeRange{526, 825}));
  EXPECT_EQ(overdrive.volume, 800);
  EXPECT_EQ(overdrive.repeats, 1);
  EXPECT_EQ(overdrive.delay, 0);
  EXPECT_EQ(GainText(overdrive.volume, '.'), "8.00");

  const EchoSliders back = Apply("Concert Hall 1", overdrive);
  EXPECT_EQ(back.volumeRange, (VolumeRange{51, 350}));  // stops once 100 is inside
  EXPECT_EQ(back.volume, 100);
}
