// Combo boxes run OnChange for the user's choices only.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QTest>
#include <vector>

#include "platform/toolkit/tcombobox.h"

namespace {

class ComboBox : public ::testing::Test {
 protected:
  ComboBox() {
    combo.SetItems({"Custom", "Concert Hall 1", "Concert Hall 2", "Canyon"});
    combo.OnChange = [this](QObject* sender) {
      EXPECT_EQ(sender, &combo);
      seen.push_back(combo.ItemIndex());
    };
  }

  TComboBox combo;
  std::vector<int> seen;  // the index each OnChange found
};

TEST_F(ComboBox, NewListSelectsNothingAndCodeSettingTheIndexRunsNoHandler) {
  EXPECT_EQ(combo.ItemIndex(), -1);
  combo.SetItemIndex(3);
  combo.SetItemIndex(0);
  EXPECT_EQ(combo.Text(), "Custom");
  EXPECT_TRUE(seen.empty());
}

TEST_F(ComboBox, UserChoicesRunTheHandlerAlsoForTheItemShown) {
  combo.SetItemIndex(1);
  QTest::keyClick(&combo, Qt::Key_Down);  // on the closed list
  combo.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&combo));
  const auto choose = [this](std::vector<Qt::Key> keys) {
    combo.showPopup();
    ASSERT_TRUE(combo.view()->isVisible());
    for (const Qt::Key key : keys) QTest::keyClick(combo.view(), key);
  };
  choose({Qt::Key_Up, Qt::Key_Return});
  choose({Qt::Key_Return});
  EXPECT_EQ(seen, (std::vector<int>{2, 1, 1}));
}

}  // namespace
