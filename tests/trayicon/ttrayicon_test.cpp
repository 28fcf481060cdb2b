// TTrayIcon against a recording fake of the shell call: the calls that stored settings,
// setters and destruction send, the tool tip's length, the refresh message, and what the
// clicks reported on the callback message raise.
#include "trayicon/ttrayicon.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<DWORD>;
using Log = std::vector<std::string>;

// Stands in for the notification area and keeps every call with a copy of its record.
class RecordingShell {
 public:
  RecordingShell() {
    SetShellNotifyIconHandler([this](DWORD message, PNOTIFYICONDATAA data) {
      messages.push_back(message);
      records.push_back(*data);
      return result;
    });
  }
  ~RecordingShell() { SetShellNotifyIconHandler({}); }

  Calls messages;
  std::vector<NOTIFYICONDATAA> records;
  BOOL result = TRUE;
};

QIcon RedSquare() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::red);
  return QIcon(pixmap);
}

// The menu is closed from inside its own loop, as a user would: by keys.
void CloseMenuWith(TPopupMenu& menu, std::vector<Qt::Key> keys) {
  QTimer::singleShot(0, menu.Menu(), [&menu, keys] {
    for (const Qt::Key key : keys) QTest::keyClick(menu.Menu(), key);
  });
}

class TrayIcon : public testing::Test {
 protected:
  // What the notification area does for a gesture: the mouse messages, as the callback
  // message, to the window that the record names.
  void Report(std::initializer_list<UINT> mouseMessages) {
    const NOTIFYICONDATAA& data = shell_.records.at(0);
    for (const UINT message : mouseMessages) {
      PostMessageA(data.hWnd, data.uCallbackMessage, data.uID, static_cast<LPARAM>(message));
    }
    QCoreApplication::processEvents();
  }
  void LogRightClicks() {
    tray_->OnRightClick = [this](QObject* sender, Qt::MouseButton button,
                                 Qt::KeyboardModifiers shift, int x, int y) {
      EXPECT_EQ(sender, tray_.get());
      EXPECT_EQ(button, Qt::RightButton);
      EXPECT_EQ(shift, Qt::NoModifier);
      log_.push_back("right " + std::to_string(x) + "," + std::to_string(y));
    };
  }

  RecordingShell shell_;
  std::unique_ptr<TTrayIcon> tray_ = std::make_unique<TTrayIcon>(nullptr);
  Log log_;
};

TEST_F(TrayIcon, StoredSettingsSendAddThenModifyThenModifyAgainAfterTheRefresh) {
  TPopupMenu menu(nullptr);
  tray_->ReadStoredSettings(
      {.Active = true, .Icon = RedSquare(), .ToolTip = "Echora: OFF", .PopupMenu = &menu});
  ASSERT_EQ(shell_.messages, (Calls{NIM_ADD, NIM_MODIFY}));
  EXPECT_EQ(shell_.records[0].hIcon, nullptr);  // added before icon and tool tip were read
  EXPECT_STREQ(shell_.records[0].szTip, "");

  QCoreApplication::processEvents();
  ASSERT_EQ(shell_.messages, (Calls{NIM_ADD, NIM_MODIFY, NIM_MODIFY}));
  for (const NOTIFYICONDATAA& record : shell_.records) {
    EXPECT_EQ(record.cbSize, 88u);
    EXPECT_EQ(record.hWnd, shell_.records[0].hWnd);
    EXPECT_EQ(record.uID, 0u);
    EXPECT_EQ(record.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    EXPECT_EQ(record.uCallbackMessage, 1025u);
  }
  for (const NOTIFYICONDATAA& modify : {shell_.records[1], shell_.records[2]}) {
    EXPECT_EQ(modify.hIcon, tray_->Icon()->Handle());
    EXPECT_STREQ(modify.szTip, "Echora: OFF");
  }
  EXPECT_NE(tray_->Icon()->Handle(), nullptr);
  EXPECT_EQ(tray_->PopupMenu(), &menu);
}

TEST_F(TrayIcon, StoredSettingsWithoutToolTipSendTheIconOnlyWithTheOneRefresh) {
  tray_->ReadStoredSettings({.Active = true, .Icon = RedSquare()});
  ASSERT_EQ(shell_.messages, (Calls{NIM_ADD}));
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  ASSERT_EQ(shell_.messages, (Calls{NIM_ADD, NIM_MODIFY}));
  EXPECT_NE(shell_.records[1].hIcon, nullptr);
}

TEST_F(TrayIcon, ActiveTwiceAddsOnceAndFalseRemovesOnlyWhatWasAdded) {
  tray_->SetActive(false);
  EXPECT_TRUE(shell_.messages.empty());
  tray_->SetActive(true);
  tray_->SetActive(true);
  tray_->SetActive(false);
  EXPECT_EQ(shell_.messages, (Calls{NIM_ADD, NIM_DELETE}));
}

TEST_F(TrayIcon, InactiveChangesSendNothingUntilTheAddCarriesThem) {
  TIcon picture;
  picture.SetPicture(RedSquare());
  tray_->SetIcon(&picture);
  tray_->SetToolTip("Echora: ON");
  EXPECT_TRUE(shell_.messages.empty());
  tray_->SetActive(true);
  QCoreApplication::processEvents();
  ASSERT_EQ(shell_.messages, (Calls{NIM_ADD}));  // with a tool tip, no refresh
  EXPECT_NE(shell_.records[0].hIcon, nullptr);
  EXPECT_STREQ(shell_.records[0].szTip, "Echora: ON");
}

TEST_F(TrayIcon, ToolTipKeepsAtMost62CharactersAndIsResentWhenUnchanged) {
  tray_->SetToolTip("x");
  tray_->SetActive(true);
  tray_->SetToolTip(QString(62, 'a'));
  EXPECT_EQ(tray_->ToolTip(), QString(62, 'a'));
  EXPECT_EQ(std::string(shell_.records.back().szTip), std::string(62, 'a'));

  tray_->SetToolTip(QString(62, 'b') + QString(8, 'c'));
  EXPECT_EQ(tray_->ToolTip(), QString(62, 'b'));
  EXPECT_EQ(std::string(shell_.records.back().szTip), std::string(62, 'b'));

  tray_->SetToolTip(tray_->ToolTip());
  EXPECT_EQ(shell_.messages, (Calls{NIM_ADD, NIM_MODIFY, NIM_MODIFY, NIM_MODIFY}));
}

TEST_F(TrayIcon, ToolTipBeyondAsciiIsCutOnACharacterBoundaryInTheRecord) {
  tray_->SetActive(true);
  tray_->SetToolTip(QString(40, QChar(0x00E9)));  // two bytes each
  EXPECT_EQ(QString::fromUtf8(shell_.records.back().szTip), QString(31, QChar(0x00E9)));
  EXPECT_EQ(tray_->ToolTip().size(), 40);
}

TEST_F(TrayIcon, IconSetToNoneEmptiesItAndSendsAZeroHandle) {
  tray_->Icon()->SetPicture(RedSquare());
  tray_->SetActive(true);
  tray_->SetIcon(tray_->Icon());  // its own object: nothing happens
  tray_->SetIcon(nullptr);
  EXPECT_TRUE(tray_->Icon()->Empty());
  ASSERT_EQ(shell_.messages, (Calls{NIM_ADD, NIM_MODIFY}));
  EXPECT_EQ(shell_.records.back().hIcon, nullptr);
}

TEST_F(TrayIcon, ShellFailuresChangeNoState) {
  shell_.result = FALSE;
  tray_->SetActive(true);
  EXPECT_TRUE(tray_->Active());
  tray_->SetToolTip("Echora: ON");
  EXPECT_EQ(shell_.messages, (Calls{NIM_ADD, NIM_MODIFY}));
}

TEST_F(TrayIcon, ShowDesigningPreviewsOnlyInADesignerWhereActiveIsOnlyRecorded) {
  tray_->SetShowDesigning(true);  // a running program: ignored
  EXPECT_FALSE(tray_->ShowDesigning());
  EXPECT_TRUE(shell_.messages.empty());

  tray_->SetDesigning(true);
  tray_->SetActive(true);
  EXPECT_TRUE(shell_.messages.empty());
  tray_->SetShowDesigning(true);
  tray_->SetToolTip("preview");  // modifies follow Active, also while designing
  tray_.reset();
  EXPECT_EQ(shell_.messages, (Calls{NIM_ADD, NIM_MODIFY, NIM_DELETE}));
}

TEST_F(TrayIcon, DestructionRemovesTheIconOnlyWhenItIsThere) {
  tray_->SetActive(true);
  const HWND window = shell_.records[0].hWnd;
  tray_.reset();
  ASSERT_EQ(shell_.messages, (Calls{NIM_ADD, NIM_DELETE}));
  EXPECT_EQ(shell_.records[1].hWnd, window);
  EXPECT_EQ(PostMessageA(window, 1025, 0, WM_LBUTTONUP), FALSE);  // the window went too

  auto owner = std::make_unique<QObject>();
  (new TTrayIcon(owner.get()))->SetToolTip("never shown");
  owner.reset();  // destroys the inactive component it owns
  EXPECT_EQ(shell_.messages.size(), 2u);
}

TEST_F(TrayIcon, ClicksRaiseTheEventsOfTheShellsSequences) {
  tray_->OnClick = [this](QObject* sender) {
    log_.push_back(sender == tray_.get() ? "click" : "");
  };
  tray_->OnDblClick = [this](QObject* sender) {
    log_.push_back(sender == tray_.get() ? "double" : "");
  };
  tray_->SetActive(true);
  Report({WM_LBUTTONUP});
  EXPECT_EQ(log_, (Log{"click"}));
  Report({WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
  EXPECT_EQ(log_, (Log{"click", "click", "double", "click"}));
  Report({0x0200 /* WM_MOUSEMOVE */, 0x0201 /* WM_LBUTTONDOWN */, WM_MBUTTONUP});
  EXPECT_EQ(log_.size(), 4u);
}

TEST_F(TrayIcon, RightClickWithNeitherMenuNorHandlerDoesNothing) {
  tray_->OnClick = [this](QObject*) { log_.push_back("click"); };
  tray_->SetActive(true);
  Report({WM_RBUTTONUP});
  EXPECT_TRUE(log_.empty());
}

TEST_F(TrayIcon, RightClickWithHandlerOnlyReportsTheRightButtonAtThePointer) {
  LogRightClicks();
  tray_->SetActive(true);
  QCursor::setPos(120, 80);
  Report({WM_RBUTTONUP});
  EXPECT_EQ(log_, (Log{"right 120,80"}));
}

TEST_F(TrayIcon, RightClickWithMenuOnlyPopsTheMenuUpAtThePointer) {
  TPopupMenu menu(nullptr);
  menu.Add("Show");
  QPoint shownAt;
  menu.OnPopup = [&](QObject*) {
    QTimer::singleShot(0, menu.Menu(), [&] { shownAt = menu.Menu()->pos(); });
    CloseMenuWith(menu, {Qt::Key_Escape});
  };
  tray_->SetPopupMenu(&menu);
  tray_->SetActive(true);
  QCursor::setPos(150, 90);
  Report({WM_RBUTTONUP});
  EXPECT_EQ(shownAt, QPoint(150, 90));
}

TEST_F(TrayIcon, RightClickWithMenuAndHandlerShowsTheMenuFirstWithThePointerReadBefore) {
  TPopupMenu menu(nullptr);
  menu.Add("Show")->OnClick = [this](QObject*) { log_.push_back("Show chosen"); };
  menu.OnPopup = [&](QObject*) {
    log_.push_back("menu");
    QCursor::setPos(300, 250);  // the pointer moves on while the menu is up
    CloseMenuWith(menu, {Qt::Key_Down, Qt::Key_Return});
  };
  LogRightClicks();
  tray_->SetPopupMenu(&menu);
  tray_->SetActive(true);
  QCursor::setPos(40, 60);
  Report({WM_RBUTTONUP});
  QCoreApplication::processEvents();
  EXPECT_EQ(log_, (Log{"menu", "right 40,60", "Show chosen"}));
}

TEST_F(TrayIcon, RightClickStopsWhenTheMenuDestroysTheComponent) {
  TPopupMenu menu(nullptr);
  menu.OnPopup = [&](QObject*) {
    tray_.reset();
    CloseMenuWith(menu, {Qt::Key_Escape});
  };
  LogRightClicks();
  tray_->SetPopupMenu(&menu);
  tray_->SetActive(true);
  Report({WM_RBUTTONUP});
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(shell_.messages.back(), NIM_DELETE);
}

}  // namespace
