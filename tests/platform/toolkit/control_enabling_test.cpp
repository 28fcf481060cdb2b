// Disabling a focused control from code: the focus goes nowhere, so no other control is
// entered behind the user's back.
#include "platform/toolkit/control_enabling.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/toolkit/tcheckbox.h"
#include "platform/toolkit/ttrackbar.h"

namespace {

struct FocusedWindow {
  FocusedWindow() {
    auto* layout = new QVBoxLayout(&window);
    page->setLayout(new QVBoxLayout);
    page->layout()->addWidget(box);
    layout->addWidget(page);
    layout->addWidget(slider);
    slider->OnEnter = [this](QObject*) { ++entered; };
    window.show();
    window.activateWindow();
    active = QTest::qWaitForWindowActive(&window);
    box->setFocus(Qt::MouseFocusReason);
  }

  QWidget window;
  QWidget* page = new QWidget;
  TCheckBox* box = new TCheckBox;
  TTrackBar* slider = new TTrackBar;
  bool active = false;
  int entered = 0;
};

TEST(SetControlEnabled, DisablingTheFocusedControlEntersNoOtherControl) {
  FocusedWindow w;
  ASSERT_TRUE(w.active && w.box->hasFocus());
  SetControlEnabled(w.box, false);
  EXPECT_FALSE(w.box->isEnabled());
  EXPECT_EQ(w.entered, 0);
  EXPECT_EQ(QApplication::focusWidget(), nullptr);
  SetControlEnabled(w.box, true);
  EXPECT_TRUE(w.box->isEnabled());
  EXPECT_FALSE(w.box->hasFocus());  // enabling gives no focus either
}

TEST(SetControlEnabled, DisablingAPageThatHoldsTheFocusEntersNoOtherControl) {
  FocusedWindow w;
  ASSERT_TRUE(w.active && w.box->hasFocus());
  SetControlEnabled(w.page, false);
  EXPECT_FALSE(w.box->isEnabled());
  EXPECT_EQ(w.entered, 0);
}

TEST(SetControlEnabled, DisablingAnUnfocusedControlLeavesTheFocusWhereItIs) {
  FocusedWindow w;
  ASSERT_TRUE(w.active);
  w.slider->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(w.entered, 1);
  SetControlEnabled(w.box, false);
  EXPECT_TRUE(w.slider->hasFocus());
  EXPECT_EQ(w.entered, 1);
}

}  // namespace
