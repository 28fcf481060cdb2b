// Utility windows and the window calls: messages posted to a window reach its method in
// order, only from the event loop and on the GUI thread; a handle dies with its window; the
// application's window brings the program to the foreground and hides.
#include "platform/shell/utility_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>
#include <QWidget>
#include <thread>
#include <vector>

namespace {

// A utility window that keeps what it is given, with whether it came on the GUI thread.
class RecordingWindow {
 public:
  RecordingWindow()
      : handle_(AllocateHWnd([this](TMessage& message) {
          received.push_back({message.Msg, message.WParam, message.LParam, message.Result});
          onGuiThread.push_back(QThread::currentThread() == qApp->thread());
        })) {}
  ~RecordingWindow() { DeallocateHWnd(handle_); }

  HWND Handle() const { return handle_; }
  std::vector<TMessage> received;
  std::vector<bool> onGuiThread;

 private:
  const HWND handle_;
};

TEST(UtilityWindow, PostedMessagesArriveInOrderOnceTheLoopRunsAndOnTheGuiThread) {
  RecordingWindow window;
  EXPECT_EQ(PostMessageA(window.Handle(), WM_USER + 1, 7, WM_LBUTTONUP), TRUE);
  std::thread([&] { PostMessageA(window.Handle(), WM_USER + 2, 0, 0); }).join();
  EXPECT_TRUE(window.received.empty());

  QCoreApplication::processEvents();
  ASSERT_EQ(window.received.size(), 2u);
  EXPECT_EQ(window.received[0].Msg, WM_USER + 1);
  EXPECT_EQ(window.received[0].WParam, 7u);
  EXPECT_EQ(window.received[0].LParam, static_cast<LPARAM>(WM_LBUTTONUP));
  EXPECT_EQ(window.received[0].Result, 0);
  EXPECT_EQ(window.received[1].Msg, WM_USER + 2);
  EXPECT_EQ(window.onGuiThread, (std::vector<bool>{true, true}));
}

TEST(UtilityWindow, DeallocatedWindowDropsQueuedMessagesAndItsHandleIsNeverReused) {
  std::vector<UINT> received;
  const HWND first = AllocateHWnd([&](TMessage& message) { received.push_back(message.Msg); });
  PostMessageA(first, WM_USER, 0, 0);
  DeallocateHWnd(first);
  const HWND second = AllocateHWnd([&](TMessage& message) { received.push_back(message.Msg); });
  EXPECT_NE(second, first);
  EXPECT_EQ(PostMessageA(first, WM_USER, 0, 0), FALSE);
  QCoreApplication::processEvents();
  EXPECT_TRUE(received.empty());
  DeallocateHWnd(second);
  DeallocateHWnd(second);  // a stale handle is ignored
}

TEST(ApplicationWindow, ComesToTheForegroundAsTheProgramsWindowAndHides) {
  QWidget window;
  window.show();
  EXPECT_EQ(SetForegroundWindow(ApplicationHandle()), TRUE);
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::activeWindow(), &window);
  RecordingWindow utility;
  EXPECT_EQ(SetForegroundWindow(utility.Handle()), FALSE);

  EXPECT_EQ(ShowWindow(ApplicationHandle(), SW_HIDE), TRUE);  // it was visible
  EXPECT_EQ(ShowWindow(ApplicationHandle(), SW_HIDE), FALSE);
}

}  // namespace
