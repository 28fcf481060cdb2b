// The application object: message boxes captioned with the title, modal showing that
// refuses a visible window, and message processing that runs calls posted to the GUI thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "platform/thread/dispatcher.h"
#include "platform/toolkit/tapplication.h"

namespace {

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
};

QMessageBox* ShownBox() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(window);
    if (box && box->isVisible()) return box;
  }
  return nullptr;
}

class ApplicationLoop : public ::testing::Test {
 protected:
  ApplicationLoop() { application.SetTitle("Tarnwick Echora"); }

  // Once a message box is shown, records it and presses its OK button; `then` runs after
  // that, still inside the modal loop that showed the box.
  void AnswerNextBox(SeenBox& seen, std::function<void()> then = {}) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &seen, then] {
      QMessageBox* box = ShownBox();
      if (!box) return;
      poll->stop();
      poll->deleteLater();
      seen = {box->windowTitle(), box->text(), box->icon(),
              static_cast<int>(box->buttons().size())};
      box->button(QMessageBox::Ok)->click();
      if (then) then();
    });
    poll->start(5);
  }

  TApplication application;
};

TEST_F(ApplicationLoop, MessageBoxIsCaptionedWithTheTitleAndHasOneOkButton) {
  SeenBox seen;
  AnswerNextBox(seen);
  application.MessageBox("ERROR:  No playing device present!\r Please correct the error(s)");
  EXPECT_EQ(seen.title, "Tarnwick Echora");
  EXPECT_EQ(seen.text, "ERROR:  No playing device present!\n Please correct the error(s)");
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen.buttons, 1);
}

TEST_F(ApplicationLoop, MessageBoxCopiesItsTextOnCtrlC) {
  QGuiApplication::clipboard()->clear();
  QString copied;
  auto* poll = new QTimer(qApp);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, &copied] {
    QMessageBox* box = ShownBox();
    if (!box) return;
    poll->stop();
    poll->deleteLater();
    box->activateWindow();
    if (QTest::qWaitForWindowActive(box)) QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    copied = QGuiApplication::clipboard()->text();
    box->button(QMessageBox::Ok)->click();
  });
  poll->start(5);
  application.MessageBox("ERROR:  No playing device present!\r Please correct the error(s)");
  EXPECT_EQ(copied, "ERROR:  No playing device present!\n Please correct the error(s)");
}

// The About dialog clicked open just before the start-up timer asks for it again.
TEST_F(ApplicationLoop, ShowModalOfAVisibleWindowIsRefusedWithAnErrorBoxAndTheFirstGoesOn) {
  QWidget about;
  SeenBox seen;
  bool stillShown = false;
  QTimer::singleShot(0, &about, [&] {
    AnswerNextBox(seen, [&] {
      QTimer::singleShot(0, &about, [&] {
        stillShown = about.isVisible();
        about.close();
      });
    });
    application.ShowModal(&about);
  });
  application.ShowModal(&about);
  EXPECT_EQ(seen.title, "Tarnwick Echora");
  EXPECT_EQ(seen.text, "Cannot make a visible window modal");
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_TRUE(stillShown);
  EXPECT_FALSE(about.isVisible());  // the first showing returned once the window closed
}

TEST_F(ApplicationLoop, ModalShowingDisablesTheOtherWindowsUntilItEnds) {
  QWidget main;
  // Where a notification area keeps the main window off the taskbar, it is a tool window.
  QWidget tool(nullptr, Qt::Tool);
  QWidget alreadyDisabled;
  QWidget hidden;
  QWidget about;
  main.show();
  tool.show();
  alreadyDisabled.show();
  alreadyDisabled.setEnabled(false);
  bool mainDisabled = false;
  bool toolDisabled = false;
  bool aboutEnabled = false;
  SeenBox seen;
  QTimer::singleShot(0, &about, [&] {
    mainDisabled = !main.isEnabled();
    toolDisabled = !tool.isEnabled();
    aboutEnabled = about.isEnabled();
    AnswerNextBox(seen, [&] { about.close(); });
    // A message box over the modal window disables that one too, for its own showing.
    application.MessageBox("x");
  });
  application.ShowModal(&about);
  EXPECT_TRUE(mainDisabled);
  EXPECT_TRUE(toolDisabled);
  EXPECT_TRUE(aboutEnabled);
  EXPECT_EQ(seen.text, "x");
  EXPECT_TRUE(main.isEnabled());
  EXPECT_TRUE(tool.isEnabled());
  EXPECT_FALSE(alreadyDisabled.isEnabled());  // stays as it was before
  EXPECT_TRUE(hidden.isEnabled());
}

// The window manager keeps a dialog with the window it belongs to and offers no minimise
// or maximise for it.
TEST_F(ApplicationLoop, ModalShowingIsADialogTransientForTheMainFormWithoutMinimiseOrMaximise) {
  QWidget main(nullptr, Qt::Tool);
  main.show();
  application.SetMainForm(&main);
  QWidget about;
  Qt::WindowFlags flags;
  QWindow* transientParent = nullptr;
  QTimer::singleShot(0, &about, [&] {
    flags = about.windowFlags();
    transientParent = about.windowHandle()->transientParent();
    about.close();
  });
  application.ShowModal(&about);
  application.SetMainForm(nullptr);
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);  // or Qt adds its defaults back
  EXPECT_EQ(transientParent, main.windowHandle());
}

// A window manager may minimise it all the same; asking for it again, or showing the main
// window again, brings it back instead of failing.
TEST_F(ApplicationLoop, AModalShowingThatWasMinimisedComesBackWhenAskedForAgain) {
  QWidget about;
  QString refusal;
  QTimer answerer;  // a refusal's box would otherwise hold the test
  QObject::connect(&answerer, &QTimer::timeout, [&refusal] {
    if (QMessageBox* box = ShownBox()) {
      refusal = box->text();
      box->button(QMessageBox::Ok)->click();
    }
  });
  answerer.start(5);
  bool restoredByShowModal = false;
  bool restoredByTheMainWindow = false;
  QTimer::singleShot(0, &about, [&] {
    about.showMinimized();
    application.ShowModal(&about);
    restoredByShowModal = !about.isMinimized() && about.isVisible();
    about.showMinimized();
    application.BringModalToFront();
    restoredByTheMainWindow = !about.isMinimized() && about.isVisible();
    about.close();
  });
  application.ShowModal(&about);
  EXPECT_TRUE(restoredByShowModal);
  EXPECT_TRUE(restoredByTheMainWindow);
  EXPECT_EQ(refusal, "");
  EXPECT_FALSE(about.isVisible());
}

TEST_F(ApplicationLoop, ProcessMessagesRunsCallsPostedFromAnotherThread) {
  EXPECT_TRUE(GuiDispatcher()->OnGuiThread());
  std::atomic<bool> onGuiThreadThere{true};
  int ran = 0;
  std::thread([&] {
    onGuiThreadThere = GuiDispatcher()->OnGuiThread();
    PostToGui([&] { ran = ran * 10 + 1; });
    PostToGui([&] { ran = ran * 10 + 2; });
  }).join();
  EXPECT_FALSE(onGuiThreadThere);
  EXPECT_EQ(ran, 0);
  application.ProcessMessages();
  EXPECT_EQ(ran, 12);
}

// A posted call that shows a modal box must not hold back the calls posted after it: the
// echo thread waits on them while the box is up.
TEST_F(ApplicationLoop, CallsPostedBehindOneThatOpensAModalLoopRunInsideThatLoop) {
  std::vector<int> ran;
  QEventLoop modal;
  PostToGui([&] {
    ran.push_back(1);
    QTimer::singleShot(5000, &modal, &QEventLoop::quit);  // a safety net only
    modal.exec();
    ran.push_back(4);
  });
  PostToGui([&] { ran.push_back(2); });
  std::thread([&] {
    PostToGui([&] {
      ran.push_back(3);
      modal.quit();
    });
  }).join();
  for (int i = 0; i < 100 && ran.size() < 4; ++i) application.ProcessMessages();
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(ApplicationLoop, ProcessMessagesAlsoPumpsAQueueDispatcherInstalledInstead) {
  QueueDispatcher queue;
  Dispatcher* const qt = GuiDispatcher();
  SetGuiDispatcher(&queue);
  bool ran = false;
  PostToGui([&] { ran = true; });
  application.ProcessMessages();
  SetGuiDispatcher(qt);
  EXPECT_TRUE(ran);
}

TEST(ApplicationObject, UninstallsItsDispatcherWhenDestroyed) {
  { TApplication application; }
  EXPECT_EQ(GuiDispatcher(), nullptr);
  EXPECT_EQ(Application(), nullptr);
}

}  // namespace
