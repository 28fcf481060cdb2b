// Two-state speed buttons stay down until clicked again; none of them takes the focus.
#include <gtest/gtest.h>

#include <QTest>
#include <vector>

#include "platform/toolkit/tspeedbutton.h"

namespace {

class SpeedButton : public ::testing::Test {
 protected:
  SpeedButton() : button(&window), editor(&window) {
    button.setText("Power");
    button.resize(60, 20);
    editor.move(0, 30);
    editor.setFocusPolicy(Qt::StrongFocus);
    button.OnClick = [this](QObject* sender) {
      EXPECT_EQ(sender, &button);
      seen.push_back(button.Down());
    };
  }

  void Click() { QTest::mouseClick(&button, Qt::LeftButton); }

  QWidget window;
  TSpeedButton button;
  QWidget editor;
  std::vector<bool> seen;  // Down as each OnClick found it
};

TEST_F(SpeedButton, TwoStateButtonStaysDownUntilClickedAgainAndCodeRunsNoHandler) {
  button.SetGroupIndex(1);
  Click();
  EXPECT_TRUE(button.Down());
  Click();
  EXPECT_FALSE(button.Down());
  button.SetDown(true);
  EXPECT_TRUE(button.Down());
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST_F(SpeedButton, PushButtonClicksButNeverStaysDown) {
  Click();
  EXPECT_FALSE(button.Down());
  EXPECT_EQ(seen, std::vector<bool>{false});
}

TEST_F(SpeedButton, ClickLeavesTheFocusWhereItWas) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  editor.setFocus();
  Click();
  EXPECT_TRUE(editor.hasFocus());
}

}  // namespace
