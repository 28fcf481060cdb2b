// The real Shell_NotifyIconA over Qt's tray icons: adding, changing and removing an icon,
// the calls it refuses, and the mouse messages each click gesture posts to the record's
// window, whatever way the tray host reports the gesture.
#include "platform/shell/notification_area.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPixmap>
#include <cstring>
#include <vector>

#include "platform/shell/tray_hosts.h"
#include "platform/shell/utility_window.h"

namespace {

using namespace std::chrono_literals;
using Reason = QSystemTrayIcon::ActivationReason;

QList<QSystemTrayIcon*> TrayIcons() {
  return QCoreApplication::instance()->findChildren<QSystemTrayIcon*>();
}

// On a desktop with an X11 tray, where the icons are Qt's own tray icons.
class ShellNotifyIcon : public testing::Test {
 protected:
  ShellNotifyIcon() {
    TrayHosts::Instance().Pretend(TrayHosts::Kind::XEmbed);
    data_ = {NOTIFYICONDATAA_V1_SIZE,
             window_,
             3,
             NIF_MESSAGE | NIF_ICON | NIF_TIP,
             WM_USER + 1,
             &picture_,
             {}};
    std::strcpy(data_.szTip, "Echora: OFF");
  }
  ~ShellNotifyIcon() override {
    data_.cbSize = NOTIFYICONDATAA_V1_SIZE;
    Shell_NotifyIconA(NIM_DELETE, &data_);
    DeallocateHWnd(window_);
    TrayHosts::Instance().Pretend(std::nullopt);
  }

  QIcon picture_{QPixmap(16, 16)};
  std::vector<TMessage> delivered_;
  const HWND window_ = AllocateHWnd([this](TMessage& message) { delivered_.push_back(message); });
  NOTIFYICONDATAA data_;
};

TEST_F(ShellNotifyIcon, AddModifyDeleteKeepOneTrayIconInStep) {
  ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), TRUE);
  ASSERT_EQ(TrayIcons().size(), 1);
  QSystemTrayIcon* icon = TrayIcons().front();
  EXPECT_EQ(icon->toolTip(), "Echora: OFF");
  EXPECT_FALSE(icon->icon().isNull());
  EXPECT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), FALSE);  // already there

  std::strcpy(data_.szTip, "Echora: ON");
  data_.hIcon = nullptr;
  data_.uFlags = NIF_TIP;  // the tool tip only
  EXPECT_EQ(Shell_NotifyIconA(NIM_MODIFY, &data_), TRUE);
  EXPECT_EQ(icon->toolTip(), "Echora: ON");
  EXPECT_FALSE(icon->icon().isNull());
  data_.uFlags = NIF_ICON;
  EXPECT_EQ(Shell_NotifyIconA(NIM_MODIFY, &data_), TRUE);
  EXPECT_TRUE(icon->icon().isNull());

  EXPECT_EQ(Shell_NotifyIconA(NIM_DELETE, &data_), TRUE);
  EXPECT_TRUE(TrayIcons().isEmpty());
  EXPECT_EQ(Shell_NotifyIconA(NIM_DELETE, &data_), FALSE);
  EXPECT_EQ(Shell_NotifyIconA(NIM_MODIFY, &data_), FALSE);
}

TEST_F(ShellNotifyIcon, MalformedCallsAreRefused) {
  EXPECT_EQ(Shell_NotifyIconA(NIM_ADD, nullptr), FALSE);
  EXPECT_EQ(Shell_NotifyIconA(7, &data_), FALSE);
  data_.cbSize = sizeof data_;
  EXPECT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), FALSE);
  EXPECT_TRUE(TrayIcons().isEmpty());
}

TEST_F(ShellNotifyIcon, ActivationsArePostedAsTheCallbackMessageOnlyWhenOneIsSet) {
  ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), TRUE);
  Q_EMIT TrayIcons().front()->activated(QSystemTrayIcon::Context);
  EXPECT_TRUE(delivered_.empty());  // posted, not sent
  QCoreApplication::processEvents();
  ASSERT_EQ(delivered_.size(), 1u);
  EXPECT_EQ(delivered_[0].Msg, WM_USER + 1);
  EXPECT_EQ(delivered_[0].WParam, 3u);
  EXPECT_EQ(delivered_[0].LParam, static_cast<LPARAM>(WM_RBUTTONUP));

  data_.uID = 4;
  data_.uFlags = NIF_ICON;
  ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), TRUE);
  for (QSystemTrayIcon* icon : TrayIcons()) Q_EMIT icon->activated(QSystemTrayIcon::Trigger);
  QCoreApplication::processEvents();
  EXPECT_EQ(delivered_.size(), 2u);  // icon 4 has no callback message
  Shell_NotifyIconA(NIM_DELETE, &data_);
  data_.uID = 3;
}

TEST_F(ShellNotifyIcon, WithoutATrayTheIconIsKeptUnseenAndComesBackWithOne) {
  TrayHosts::Instance().Pretend(TrayHosts::Kind::None);
  ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), TRUE);
  EXPECT_TRUE(TrayIcons().isEmpty());
  std::strcpy(data_.szTip, "Echora: ON");
  EXPECT_EQ(Shell_NotifyIconA(NIM_MODIFY, &data_), TRUE);
  TrayHosts::Instance().Pretend(TrayHosts::Kind::XEmbed);  // a tray started late
  ASSERT_EQ(TrayIcons().size(), 1);
  EXPECT_EQ(TrayIcons().front()->toolTip(), "Echora: ON");
  EXPECT_TRUE(TrayIcons().front()->isVisible());
  TrayHosts::Instance().Pretend(TrayHosts::Kind::None);  // and gone again
  EXPECT_TRUE(TrayIcons().isEmpty());
}

// Feeds activations at the given times (ms) and collects the messages of each.
std::vector<std::vector<UINT>> Translate(std::initializer_list<std::pair<Reason, int>> events) {
  ClickTranslator translator(400ms);
  std::vector<std::vector<UINT>> messages;
  for (const auto& [reason, at] : events) {
    messages.push_back(translator.Translate(reason, std::chrono::milliseconds(at)));
  }
  return messages;
}
using Messages = std::vector<std::vector<UINT>>;
constexpr UINT kUp = WM_LBUTTONUP;
constexpr UINT kDouble = WM_LBUTTONDBLCLK;

TEST(ClickTranslator, DoubleClickGivesTheShellsSequenceHoweverTheHostReportsIt) {
  // A click for each press, then the double click.
  EXPECT_EQ(Translate({{Reason::Trigger, 0}, {Reason::Trigger, 200}, {Reason::DoubleClick, 201}}),
            (Messages{{kUp}, {kDouble, kUp}, {}}));
  EXPECT_EQ(Translate({{Reason::Trigger, 0}, {Reason::DoubleClick, 200}}),
            (Messages{{kUp}, {kDouble, kUp}}));
  EXPECT_EQ(Translate({{Reason::Trigger, 0}, {Reason::Trigger, 400}}),
            (Messages{{kUp}, {kDouble, kUp}}));
  EXPECT_EQ(Translate({{Reason::DoubleClick, 0}}), (Messages{{kUp, kDouble, kUp}}));
}

TEST(ClickTranslator, OtherGesturesAreSingleReleases) {
  EXPECT_EQ(Translate({{Reason::Trigger, 0}, {Reason::Trigger, 401}}), (Messages{{kUp}, {kUp}}));
  // A third quick click starts over.
  EXPECT_EQ(Translate({{Reason::Trigger, 0}, {Reason::Trigger, 100}, {Reason::Trigger, 200}}),
            (Messages{{kUp}, {kDouble, kUp}, {kUp}}));
  EXPECT_EQ(Translate({{Reason::Context, 0}, {Reason::MiddleClick, 10}, {Reason::Unknown, 20}}),
            (Messages{{WM_RBUTTONUP}, {WM_MBUTTONUP}, {}}));
}

}  // namespace
