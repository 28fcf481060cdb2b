// The buffer size from the multiplier and the rate, within the 441000-byte cap.
#include "audio/buffer_rules.h"

#include <gtest/gtest.h>

TEST(BufferRules, SizeIsTheProductRoundedUpToWholeFrames) {
  EXPECT_EQ(BufferSizeFor(8, 44100), 352800);
  EXPECT_EQ(BufferSizeFor(8, 44100) * 7, 2469600);
  EXPECT_EQ(BufferSizeFor(3, 5510), 16532);
  EXPECT_EQ(BufferSizeFor(2, 11025), 22052);
  EXPECT_EQ(BufferSizeFor(2, 33075), 66152);
  for (std::int32_t rate : kSampleRates) {
    for (std::int32_t m = kMinMultiplier; m <= kMaxMultiplier; ++m) {
      ASSERT_EQ(BufferSizeFor(m, rate) % 4, 0);
      ASSERT_GE(BufferSizeFor(m, rate), m * rate);
    }
  }
}

TEST(BufferRules, MultiplierFallsToTheLargestThatFits) {
  EXPECT_EQ(FittingMultiplier(11, 44100), 10);
  EXPECT_EQ(BufferSizeFor(10, 44100), 441000);  // the cap itself is allowed
  EXPECT_EQ(FittingMultiplier(81, 5510), 80);
  EXPECT_EQ(BufferSizeFor(80, 5510), 440800);
  EXPECT_EQ(FittingMultiplier(80, 44100), 10);  // 80 at 5510, then 44100 selected
  EXPECT_EQ(FittingMultiplier(10, 5510), 10);   // a lower rate never raises it again
  EXPECT_EQ(BufferSizeFor(10, 5510), 55100);
  for (std::int32_t rate : kSampleRates) {
    const std::int32_t m = FittingMultiplier(kMaxMultiplier, rate);
    EXPECT_LE(BufferSizeFor(m, rate), kMaxBufferSize);
    EXPECT_GT(BufferSizeFor(m + 1, rate), kMaxBufferSize);
  }
}
