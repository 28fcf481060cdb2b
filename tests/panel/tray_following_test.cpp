// The window as the desktop's notification area comes and goes: off the taskbar only while
// a tray holds the icon, back on screen when the last tray goes while it is hidden, and,
// with no tray at all, the icon's menu on a right click of the strip.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <memory>

#include "panel/tform1.h"
#include "platform/shell/tpopupmenu.h"
#include "platform/shell/tray_hosts.h"
#include "platform/toolkit/tspeedbutton.h"
#include "tests/panel/window_rig.h"

namespace {

class WindowAndTray : public testing::Test {
 protected:
  WindowAndTray() {
    TrayHosts::Instance().Pretend(TrayHosts::Kind::None);  // a panel that is not there yet
    rig_ = std::make_unique<WindowRig>();
    form = rig_->form.get();
    form->show();
  }
  ~WindowAndTray() override {
    rig_.reset();
    TrayHosts::Instance().Pretend(std::nullopt);
  }

  // Right-clicks the strip and says which menu, if any, it opened (and closes it).
  QMenu* RightClickStrip() {
    QMenu* opened = nullptr;
    QTimer::singleShot(0, [&] {
      opened = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (opened) opened->close();
    });
    QTest::mousePress(form->Panel1, Qt::RightButton, {}, QPoint(480, 25));
    QTest::mouseRelease(form->Panel1, Qt::RightButton, {}, QPoint(480, 25));
    QApplication::processEvents();
    return opened;
  }

  std::unique_ptr<WindowRig> rig_;
  TForm1* form;
};

TEST_F(WindowAndTray, ATrayThatComesTakesTheTaskbarEntryAndOneThatGoesBringsTheWindowBack) {
  EXPECT_EQ(form->windowType(), Qt::Window);  // a taskbar entry: the only way back
  TrayHosts::Instance().Pretend(TrayHosts::Kind::StatusNotifier);
  EXPECT_EQ(form->windowType(), Qt::Tool);
  EXPECT_TRUE(form->isVisible());
  QTest::mouseClick(form->SpeedButton3, Qt::LeftButton);  // Hide
  EXPECT_FALSE(form->isVisible());
  TrayHosts::Instance().Pretend(TrayHosts::Kind::XEmbed);  // another tray: nothing to do
  EXPECT_FALSE(form->isVisible());
  TrayHosts::Instance().Pretend(TrayHosts::Kind::None);
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->isMinimized());
  EXPECT_EQ(form->windowType(), Qt::Window);
}

TEST_F(WindowAndTray, WithoutATrayARightClickOnTheStripShowsTheIconsMenu) {
  EXPECT_EQ(RightClickStrip(), form->PopupMenu1->Menu());
  TrayHosts::Instance().Pretend(TrayHosts::Kind::XEmbed);
  EXPECT_EQ(RightClickStrip(), nullptr);  // the icon has it
}

TEST_F(WindowAndTray, ARightDragStillMovesTheWindowWithoutAMenu) {
  const QPoint before = form->pos();
  QMenu* opened = nullptr;
  QTimer::singleShot(0, [&] {
    opened = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (opened) opened->close();
  });
  QTest::mousePress(form->Panel1, Qt::RightButton, {}, QPoint(400, 25));
  QTest::mouseMove(form->Panel1, QPoint(440, 45));
  QTest::mouseRelease(form->Panel1, Qt::RightButton, {}, QPoint(440, 45));
  QApplication::processEvents();
  EXPECT_EQ(opened, nullptr);
  EXPECT_EQ(form->pos() - before, QPoint(40, 20));
}

}  // namespace
