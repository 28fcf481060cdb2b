// Spin edits run OnChange at once, nested, on every change of their value, and take no typing.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <string>
#include <vector>

#include "platform/toolkit/tspinedit.h"

namespace {

class SpinEdit : public ::testing::Test {
 protected:
  SpinEdit() {
    spin.SetMinValue(2);
    spin.SetMaxValue(99);
    spin.SetValue(8);
    spin.OnChange = [this](QObject* sender) {
      EXPECT_EQ(sender, &spin);
      seen.push_back(spin.Value());
    };
  }

  QString Shown() { return spin.findChild<QLineEdit*>()->text(); }

  TSpinEdit spin;
  std::vector<int> seen;  // the value each OnChange found
};

TEST_F(SpinEdit, CodeSettingTheValueClampsAndRunsTheHandlerWhenTheTextChanges) {
  spin.SetValue(10);
  spin.SetValue(10);
  spin.SetValue(150);
  spin.SetValue(-3);
  spin.SetValue(1);
  EXPECT_EQ(seen, (std::vector<int>{10, 99, 2}));
  EXPECT_EQ(Shown(), "2");
}

// The buffer multiplier's handler lowers the value one step per nesting level.
TEST_F(SpinEdit, HandlerLoweringTheValueIsRunAgainNestedBeforeItGoesOn) {
  std::vector<std::string> trace;
  spin.OnChange = [&](QObject*) {
    trace.push_back("enter " + std::to_string(spin.Value()));
    if (spin.Value() > 5) spin.SetValue(spin.Value() - 1);
    trace.push_back("leave " + std::to_string(spin.Value()));
  };
  spin.SetValue(7);
  EXPECT_EQ(trace, (std::vector<std::string>{"enter 7", "enter 6", "enter 5", "leave 5", "leave 5",
                                             "leave 5"}));
  EXPECT_EQ(Shown(), "5");
}

// A device selector once no device is left: the range becomes 0 to -1 under its value.
TEST_F(SpinEdit, RangeChangeLeavesTheValueAndASelectorHandlerThenEnds) {
  spin.SetMaxValue(5);
  EXPECT_EQ(Shown(), "8");
  EXPECT_TRUE(seen.empty());

  spin.SetMinValue(0);
  spin.SetMaxValue(-1);
  int runs = 0;
  spin.OnChange = [&](QObject*) {
    ASSERT_LT(++runs, 10) << "the handler keeps bouncing";
    if (spin.Value() < 0) spin.SetValue(0);
    if (spin.Value() > spin.MaxValue()) spin.SetValue(spin.MaxValue());
  };
  spin.OnChange(&spin);
  EXPECT_EQ(spin.Value(), 0);
  EXPECT_EQ(runs, 2);  // the outer run, and the one nested when 8 became 0
}

TEST_F(SpinEdit, ArrowKeysAndButtonsStepByOneNotBeyondTheRange) {
  QTest::keyClick(&spin, Qt::Key_Up);
  QTest::keyClick(&spin, Qt::Key_Down);
  QTest::keyClick(&spin, Qt::Key_PageUp);
  spin.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&spin));
  QTest::mouseClick(&spin, Qt::LeftButton, {}, QPoint(spin.width() - 4, 3));  // up button
  EXPECT_EQ(seen, (std::vector<int>{9, 8, 9, 10}));
  spin.SetValue(99);
  QTest::keyClick(&spin, Qt::Key_Up);
  EXPECT_EQ(seen.size(), 5u);
}

// A device selector whose range was set when fewer devices were plugged in: the arrow's
// handler widens it first, and the same press then steps into it.
TEST_F(SpinEdit, AnArrowHandlerRunsBeforeTheStepAndKeepsTheArrowsAliveAtTheEnds) {
  spin.SetValue(99);
  seen.clear();
  int arrows = 0;
  spin.OnArrow = [&](QObject* sender) {
    EXPECT_EQ(sender, &spin);
    if (++arrows == 1) spin.SetMaxValue(100);
  };
  QTest::keyClick(&spin, Qt::Key_Up);  // past the end as it was
  EXPECT_EQ(spin.Value(), 100);
  QTest::keyClick(&spin, Qt::Key_Up);  // the end as it is now: the handler runs, no step
  EXPECT_EQ(spin.Value(), 100);
  spin.SetValue(2);
  QTest::keyClick(&spin, Qt::Key_Down);
  EXPECT_EQ(arrows, 3);
  EXPECT_EQ(seen, (std::vector<int>{100, 2}));
}

TEST_F(SpinEdit, TypedDigitsAndDeletesChangeNothing) {
  spin.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&spin));
  spin.setFocus();
  QTest::keyClick(&spin, Qt::Key_Backspace);
  QTest::keyClicks(&spin, "42");
  QTest::keyClick(&spin, Qt::Key_Return);
  spin.clearFocus();
  EXPECT_EQ(Shown(), "8");
  EXPECT_TRUE(seen.empty());
}

}  // namespace
