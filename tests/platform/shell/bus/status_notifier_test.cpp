// The notification area as desktops' panels meet it over the session bus: a
// StatusNotifierItem whose title, tool tip, pictures and menu a host reads, whose menu
// events run the program's own handlers, which registers with every watcher that comes, and
// the view of the desktop that follows hosts as they come and go.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QPixmap>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/shell/dbus_types.h"
#include "platform/shell/shellapi.h"
#include "platform/shell/status_notifier_item.h"
#include "platform/shell/tmenuitem.h"
#include "platform/shell/tpopupmenu.h"
#include "platform/shell/tray_hosts.h"
#include "platform/shell/utility_window.h"
#include "platform/shell/winuser.h"
#include "tests/support/eventually.h"

namespace {

// Serves the event loop until `done` holds.
template <typename Condition>
bool Eventually(Condition done) {
  return EventuallyServing(done,
                           [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

// A tray host's end of the bus: a connection of its own, whose calls are answered by the
// program's objects on this same thread while the event loop runs.
class Host {
 public:
  Host() : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, Name())) {}
  ~Host() { QDBusConnection::disconnectFromBus(bus_.name()); }

  QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    QDBusPendingCall pending = bus_.asyncCall(call);
    Eventually([&] { return pending.isFinished(); });
    return pending.reply();
  }
  QVariant Property(const QString& service, const QString& path, const QString& interface,
                    const QString& name) {
    const QDBusMessage reply =
        Call(service, path, "org.freedesktop.DBus.Properties", "Get", {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
  }
  QDBusConnection& Bus() { return bus_; }

 private:
  static QString Name() {
    static int next = 0;
    return QStringLiteral("host-%1").arg(++next);
  }
  QDBusConnection bus_;
};

// A StatusNotifierWatcher as a panel runs one: it records the items that register and says
// whether a host is there.
class Watcher final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)

 public:
  explicit Watcher(Host& host) : host_(host) {
    host_.Bus().registerObject(
        "/StatusNotifierWatcher", this,
        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
    host_.Bus().registerService(TrayHosts::kWatcherService);
  }
  ~Watcher() override {
    host_.Bus().unregisterService(TrayHosts::kWatcherService);
    host_.Bus().unregisterObject("/StatusNotifierWatcher");
  }
  bool IsStatusNotifierHostRegistered() const { return true; }
  std::vector<QString> registered;

 public Q_SLOTS:
  void RegisterStatusNotifierItem(const QString& service) { registered.push_back(service); }

 private:
  Host& host_;
};

// Counts a signal as a host receives it.
class SignalCounter final : public QObject {
  Q_OBJECT

 public:
  int count = 0;

 public Q_SLOTS:
  void Count(const QDBusMessage&) { ++count; }
};

const QString kItem = "org.kde.StatusNotifierItem";
const QString kMenu = "com.canonical.dbusmenu";

class StatusNotifier : public testing::Test {
 protected:
  StatusNotifier() {
    RegisterTrayDBusTypes();
    TrayHosts::Instance().Pretend(TrayHosts::Kind::StatusNotifier);
    SetWindowTextA(ApplicationHandle(), "Tarnwick Echora");
    show_ = menu_.Add("&Show");
    menu_.Add("-");
    exit_ = menu_.Add("Exit");
    show_->OnClick = [this](QObject*) { clicked_.push_back("Show"); };
    exit_->OnClick = [this](QObject*) { clicked_.push_back("Exit"); };
    data_ = {NOTIFYICONDATAA_V1_SIZE,
             window_,
             0,
             NIF_MESSAGE | NIF_ICON | NIF_TIP,
             WM_USER + 1,
             &picture_,
             {}};
    std::strcpy(data_.szTip, "Echora: OFF");
    Shell_NotifyIconMenu(window_, 0, &menu_);
  }
  ~StatusNotifier() override {
    Shell_NotifyIconA(NIM_DELETE, &data_);
    DeallocateHWnd(window_);
    TrayHosts::Instance().Pretend(std::nullopt);
  }

  QString Service() {
    const auto items = QCoreApplication::instance()->findChildren<StatusNotifierItem*>();
    return items.size() == 1 ? items.front()->ServiceName() : QString();
  }
  MenuLayout Layout() {
    const QDBusMessage reply =
        host_.Call(Service(), "/MenuBar", kMenu, "GetLayout", {0, -1, QStringList()});
    MenuLayout layout;
    if (reply.arguments().size() == 2) {
      qvariant_cast<QDBusArgument>(reply.arguments()[1]) >> layout;
    }
    return layout;
  }

  QIcon picture_ = [] {
    QIcon icon;
    icon.addPixmap(QPixmap(22, 22));
    icon.addPixmap(QPixmap(48, 48));
    return icon;
  }();
  TPopupMenu menu_{nullptr};
  TMenuItem* show_;
  TMenuItem* exit_;
  std::vector<QString> clicked_;
  std::vector<TMessage> delivered_;
  const HWND window_ = AllocateHWnd([this](TMessage& message) {
    POINT at{};
    GetCursorPos(&at);
    delivered_.push_back(message);
    pointers_.push_back(at);
  });
  std::vector<POINT> pointers_;
  NOTIFYICONDATAA data_;
  Host host_;
};

TEST_F(StatusNotifier, HostsReadTheTitleToolTipEverySizeOfThePictureAndTheMenu) {
  ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), TRUE);
  const QString service = Service();
  ASSERT_TRUE(service.startsWith("org.kde.StatusNotifierItem-")) << service.toStdString();
  EXPECT_EQ(host_.Property(service, "/StatusNotifierItem", kItem, "Title"), "Tarnwick Echora");
  EXPECT_EQ(host_.Property(service, "/StatusNotifierItem", kItem, "Status"), "Active");
  EXPECT_EQ(
      qvariant_cast<QDBusObjectPath>(host_.Property(service, "/StatusNotifierItem", kItem, "Menu"))
          .path(),
      "/MenuBar");
  ToolTip tip;
  qvariant_cast<QDBusArgument>(host_.Property(service, "/StatusNotifierItem", kItem, "ToolTip")) >>
      tip;
  EXPECT_EQ(tip.title, "Echora: OFF");
  QList<IconPixmap> pixmaps;
  qvariant_cast<QDBusArgument>(
      host_.Property(service, "/StatusNotifierItem", kItem, "IconPixmap")) >>
      pixmaps;
  ASSERT_EQ(pixmaps.size(), 2);
  EXPECT_EQ(pixmaps[0].width * pixmaps[0].height * 4, pixmaps[0].argb.size());
  EXPECT_EQ(pixmaps[1].width, 48);

  std::strcpy(data_.szTip, "Echora: ON");
  Shell_NotifyIconA(NIM_MODIFY, &data_);
  qvariant_cast<QDBusArgument>(host_.Property(service, "/StatusNotifierItem", kItem, "ToolTip")) >>
      tip;
  EXPECT_EQ(tip.title, "Echora: ON");
}

TEST_F(StatusNotifier, TheExportedMenuHasTheItemsAndFollowsTheirEnabledState) {
  ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), TRUE);
  MenuLayout layout = Layout();
  ASSERT_EQ(layout.children.size(), 3);
  EXPECT_EQ(layout.children[0].properties["label"], "_Show");
  EXPECT_EQ(layout.children[1].properties["type"], "separator");
  EXPECT_EQ(layout.children[2].properties["label"], "Exit");
  EXPECT_EQ(layout.children[2].properties["enabled"], true);
  SignalCounter updates;
  ASSERT_TRUE(host_.Bus().connect(Service(), "/MenuBar", kMenu, "ItemsPropertiesUpdated", &updates,
                                  SLOT(Count(QDBusMessage))));
  exit_->SetEnabled(false);
  EXPECT_EQ(Layout().children[2].properties["enabled"], false);
  EXPECT_TRUE(Eventually([&] { return updates.count == 1; }));  // the host redraws it
}

TEST_F(StatusNotifier, AClickedEventRunsTheItemsHandlerUnlessItIsDisabled) {
  ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), TRUE);
  const QVariant none = QVariant::fromValue(QDBusVariant(0));
  host_.Call(Service(), "/MenuBar", kMenu, "Event", {1, "clicked", none, 0u});
  EXPECT_TRUE(Eventually([&] { return clicked_.size() == 1; }));
  exit_->SetEnabled(false);
  host_.Call(Service(), "/MenuBar", kMenu, "Event", {3, "clicked", none, 0u});
  host_.Call(Service(), "/MenuBar", kMenu, "Event", {3, "hovered", none, 0u});
  exit_->SetEnabled(true);
  host_.Call(Service(), "/MenuBar", kMenu, "Event", {3, "clicked", none, 0u});
  EXPECT_TRUE(Eventually([&] { return clicked_.size() == 2; }));
  EXPECT_EQ(clicked_, (std::vector<QString>{"Show", "Exit"}));

  // Some hosts send their events in groups, and ask before they draw: waybar's GTK menus.
  const QDBusMessage asked = host_.Call(Service(), "/MenuBar", kMenu, "AboutToShowGroup",
                                        {QVariant::fromValue(QList<int>{0})});
  EXPECT_EQ(asked.type(), QDBusMessage::ReplyMessage) << asked.errorMessage().toStdString();
  QDBusArgument events;
  events.beginArray(qMetaTypeId<MenuEvent>());
  events << MenuEvent{3, "clicked", QDBusVariant(0), 0u};
  events.endArray();
  const QDBusMessage grouped =
      host_.Call(Service(), "/MenuBar", kMenu, "EventGroup", {QVariant::fromValue(events)});
  EXPECT_EQ(grouped.type(), QDBusMessage::ReplyMessage) << grouped.errorMessage().toStdString();
  EXPECT_TRUE(Eventually([&] { return clicked_.size() == 3; }));
}

TEST_F(StatusNotifier, ContextMenuIsARightClickWhereTheHostSaysThePointerIs) {
  ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), TRUE);
  host_.Call(Service(), "/StatusNotifierItem", kItem, "ContextMenu", {1226, 16});
  ASSERT_TRUE(Eventually([&] { return delivered_.size() == 1; }));
  EXPECT_EQ(delivered_[0].LParam, static_cast<LPARAM>(WM_RBUTTONUP));
  EXPECT_EQ(pointers_[0].x, 1226);
  EXPECT_EQ(pointers_[0].y, 16);
  // The position holds only while that message is handled.
  EXPECT_FALSE(UtilityWindow::HandledMessagePointer());

  host_.Call(Service(), "/StatusNotifierItem", kItem, "Activate", {5, 5});
  ASSERT_TRUE(Eventually([&] { return delivered_.size() == 2; }));
  EXPECT_EQ(delivered_[1].LParam, static_cast<LPARAM>(WM_LBUTTONUP));
}

TEST_F(StatusNotifier, TheItemRegistersWithEveryWatcherThatComes) {
  ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), TRUE);
  const QString service = Service();
  for (int panel = 0; panel < 2; ++panel) {  // a panel started late, then restarted
    Host panelBus;
    Watcher watcher(panelBus);
    EXPECT_TRUE(Eventually([&] { return !watcher.registered.empty(); })) << panel;
    if (!watcher.registered.empty()) {
      EXPECT_EQ(watcher.registered.front(), service);
    }
  }
}

TEST_F(StatusNotifier, IconsMoveToTheTrayThereIsAndGoWithTheLast) {
  ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), TRUE);
  const QString service = Service();
  QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  EXPECT_TRUE(bus->isServiceRegistered(service));
  TrayHosts::Instance().Pretend(TrayHosts::Kind::None);
  EXPECT_TRUE(Service().isEmpty());
  EXPECT_TRUE(Eventually([&] { return !bus->isServiceRegistered(service).value(); }));
  TrayHosts::Instance().Pretend(TrayHosts::Kind::XEmbed);
  EXPECT_EQ(QCoreApplication::instance()->findChildren<QSystemTrayIcon*>().size(), 1);
  TrayHosts::Instance().Pretend(TrayHosts::Kind::StatusNotifier);
  EXPECT_TRUE(QCoreApplication::instance()->findChildren<QSystemTrayIcon*>().isEmpty());
  EXPECT_FALSE(Service().isEmpty());
}

TEST(TrayHostsOnABus, AWatcherWithAHostIsANotificationAreaUntilItGoes) {
  TrayHosts& hosts = TrayHosts::Instance();
  // No panel yet (one of an earlier test in this program may still be on its way out).
  ASSERT_TRUE(Eventually([&] { return !hosts.Available(); }));
  int changes = 0;
  QObject::connect(&hosts, &TrayHosts::Changed, [&] { ++changes; });
  {
    Host panel;
    Watcher watcher(panel);
    EXPECT_TRUE(Eventually([&] { return hosts.Current() == TrayHosts::Kind::StatusNotifier; }));
  }
  EXPECT_TRUE(Eventually([&] { return hosts.Current() == TrayHosts::Kind::None; }));
  EXPECT_EQ(changes, 2);
}

}  // namespace

#include "status_notifier_test.moc"
