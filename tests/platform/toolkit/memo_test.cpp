// The debug memo: lines appended one by one and cleared at once.
#include <gtest/gtest.h>

#include "platform/toolkit/tmemo.h"

namespace {

TEST(Memo, AddedLinesAreCountedAndReadBackClearEmptiesIt) {
  TMemo memo;
  memo.Lines.Add("waveInStart ERROR!");
  memo.Lines.Add("");
  memo.Lines.Add("WaveInGetDevCaps Error!");
  ASSERT_EQ(memo.Lines.Count(), 3);
  EXPECT_EQ(memo.Lines[1], "");
  EXPECT_EQ(memo.toPlainText(), "waveInStart ERROR!\n\nWaveInGetDevCaps Error!");
  memo.Lines.Clear();
  EXPECT_EQ(memo.Lines.Count(), 0);
  memo.Lines.Add("three");
  EXPECT_EQ(memo.toPlainText(), "three");
}

}  // namespace
