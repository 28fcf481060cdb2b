// Check boxes run OnClick on every change of their tick, and other threads read the tick.
#include <gtest/gtest.h>

#include <QTest>
#include <thread>
#include <vector>

#include "platform/toolkit/tcheckbox.h"

namespace {

class CheckBox : public ::testing::Test {
 protected:
  CheckBox() {
    box.setText("Echo active");
    box.OnClick = [this](QObject* sender) {
      EXPECT_EQ(sender, &box);
      seen.push_back(box.Checked());
    };
  }

  bool CheckedSeenByAnotherThread() {
    bool checked = false;
    std::thread([&] { checked = box.Checked(); }).join();
    return checked;
  }

  TCheckBox box;
  std::vector<bool> seen;  // the tick each OnClick found
};

TEST_F(CheckBox, CodeSettingTheTickRunsTheHandlerOnlyWhenItChangesAlsoWhenDisabled) {
  box.setEnabled(false);
  box.SetChecked(true);
  EXPECT_TRUE(CheckedSeenByAnotherThread());
  box.SetChecked(true);
  box.SetChecked(false);
  EXPECT_FALSE(CheckedSeenByAnotherThread());
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST_F(CheckBox, UserClickOrSpaceRunsTheHandlerWithTheNewTick) {
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, box.height() / 2));
  EXPECT_TRUE(CheckedSeenByAnotherThread());
  QTest::keyClick(&box, Qt::Key_Space);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

}  // namespace
