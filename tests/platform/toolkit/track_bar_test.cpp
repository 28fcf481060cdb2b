// Track bars run OnChange for the user's moves only, and clamp whatever code sets.
#include <gtest/gtest.h>

#include <QTest>
#include <QWheelEvent>
#include <string>
#include <vector>

#include "platform/toolkit/ttrackbar.h"

namespace {

class TrackBar : public ::testing::Test {
 protected:
  TrackBar() {
    bar.resize(200, 30);
    bar.SetMax(100);
    bar.SetPageSize(10);
    bar.SetPosition(50);
    bar.OnChange = [this](QObject* sender) {
      EXPECT_EQ(sender, &bar);
      seen.push_back(bar.Position());
    };
  }

  TTrackBar bar;
  std::vector<int> seen;  // the position each OnChange found
};

TEST_F(TrackBar, CodeSettingPositionOrRangeClampsAndRunsNoHandler) {
  bar.SetPosition(150);
  EXPECT_EQ(bar.Position(), 100);
  bar.SetMax(60);
  EXPECT_EQ(bar.Position(), 60);
  bar.SetMin(70);
  EXPECT_EQ(bar.Position(), 70);
  EXPECT_TRUE(seen.empty());
}

TEST_F(TrackBar, KeyMovesRunTheHandlerOnceWithTheNewPositionExceptAgainstAnEnd) {
  QTest::keyClick(&bar, Qt::Key_Right);
  QTest::keyClick(&bar, Qt::Key_PageUp);
  QTest::keyClick(&bar, Qt::Key_End);
  QTest::keyClick(&bar, Qt::Key_Right);
  bar.SetPosition(40);  // a move left pending by the last key would show up here
  EXPECT_EQ(seen, (std::vector<int>{51, 61, 100}));
}

TEST_F(TrackBar, MouseDragRunsTheHandlerWithThePositionItLeaves) {
  bar.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
  const int y = bar.height() / 2;
  QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(bar.width() / 2, y));
  QTest::mouseMove(&bar, QPoint(bar.width() - 2, y));
  QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(bar.width() - 2, y));
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
  EXPECT_EQ(bar.Position(), 100);
}

// The volume bar's handler slides the range under the thumb; the move must survive it, and
// what the handler sets from code must not run it again.
TEST_F(TrackBar, HandlerChangingRangeAndPositionKeepsTheMoveAndIsNotRunAgain) {
  bar.OnChange = [this](QObject*) {
    seen.push_back(bar.Position());
    bar.SetMin(bar.Min() + 25);
    bar.SetMax(bar.Max() + 25);
  };
  QTest::keyClick(&bar, Qt::Key_Right);
  EXPECT_EQ(seen, std::vector<int>{51});
  EXPECT_EQ(bar.Position(), 51);
  EXPECT_EQ(bar.Max(), 125);

  bar.OnChange = [this](QObject*) {
    seen.push_back(bar.Position());
    bar.SetPosition(bar.Position() + 10);
  };
  QTest::keyClick(&bar, Qt::Key_Right);
  EXPECT_EQ(seen, (std::vector<int>{51, 52}));
  EXPECT_EQ(bar.Position(), 62);
}

TEST(TrackBarEnter, RunsWhenTheUserFocusesTheBarNotWhenItsWindowComesBack) {
  QWidget window;
  TTrackBar first(&window);
  TTrackBar second(&window);
  int enters = 0;
  second.OnEnter = [&](QObject* sender) {
    EXPECT_EQ(sender, &second);
    ++enters;
  };
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  first.setFocus(Qt::OtherFocusReason);
  QTest::keyClick(&window, Qt::Key_Tab);
  ASSERT_TRUE(second.hasFocus());
  EXPECT_EQ(enters, 1);

  QWidget other;  // the About box, say
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_TRUE(second.hasFocus());
  EXPECT_EQ(enters, 1);
}

// The wheel over a bar that has no focus: the bar is entered before it moves.
TEST(TrackBarEnter, RunsBeforeAWheelTurnMovesAnUnfocusedBar) {
  QWidget window;
  TTrackBar first(&window);
  TTrackBar second(&window);
  second.SetMax(100);
  std::vector<std::string> seen;
  second.OnEnter = [&](QObject*) { seen.push_back("enter"); };
  second.OnChange = [&](QObject*) { seen.push_back("change"); };
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  first.setFocus(Qt::OtherFocusReason);
  const QPointF at = second.rect().center();
  QWheelEvent wheel(at, second.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&second, &wheel);
  EXPECT_EQ(seen, (std::vector<std::string>{"enter", "change"}));
}

}  // namespace
