// Popup menus: the popup event comes before the menu shows, the chosen item's handler runs
// after the menu has closed, and dismissing it, separators and disabled items run none.
#include "platform/shell/tpopupmenu.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

class PopupMenu : public testing::Test {
 protected:
  PopupMenu() {
    menu_.Add("&Show")->OnClick = [this](QObject* sender) {
      log_.push_back(sender == menu_.Items(0) ? "Show" : "wrong sender");
    };
    menu_.Add("-");
    exit_ = menu_.Add("E&xit");
    exit_->OnClick = [this](QObject*) { log_.push_back("Exit"); };
  }

  // Pops the menu up and, once it is up, types `keys` into it.
  void PopupAndType(std::initializer_list<Qt::Key> keys) {
    menu_.OnPopup = [this, keys](QObject*) {
      log_.push_back("popup");
      QTimer::singleShot(0, menu_.Menu(), [this, keys] {
        log_.push_back(menu_.Menu()->isVisible() ? "shown" : "not shown");
        for (const Qt::Key key : keys) QTest::keyClick(menu_.Menu(), key);
      });
    };
    menu_.Popup(10, 20);
    log_.push_back("closed");
    QCoreApplication::processEvents();
  }

  TPopupMenu menu_{nullptr};
  TMenuItem* exit_;
  Log log_;
};

TEST_F(PopupMenu, ChosenItemRunsItsHandlerAfterTheMenuHasClosed) {
  PopupAndType({Qt::Key_Down, Qt::Key_Return});
  EXPECT_EQ(log_, (Log{"popup", "shown", "closed", "Show"}));
}

TEST_F(PopupMenu, DismissingRunsNoHandler) {
  PopupAndType({Qt::Key_Escape});
  EXPECT_EQ(log_, (Log{"popup", "shown", "closed"}));
}

TEST_F(PopupMenu, SeparatorsAndDisabledItemsAreNeverChosen) {
  exit_->SetEnabled(false);
  // The second Down passes over the separator and the disabled item back to the first.
  PopupAndType({Qt::Key_Down, Qt::Key_Down, Qt::Key_Return});
  exit_->Click();
  EXPECT_EQ(log_, (Log{"popup", "shown", "closed", "Show"}));
  EXPECT_EQ(menu_.Items(1)->Caption(), "-");
}

}  // namespace
