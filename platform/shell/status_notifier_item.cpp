#include "platform/shell/status_notifier_item.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

#include "platform/shell/dbus_menu.h"
#include "platform/shell/tray_hosts.h"
#include "platform/shell/utility_window.h"

namespace {

const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");
// What Qt's and other toolkits' items publish when they have no menu: hosts then call
// ContextMenu for a right click.
const QString kNoMenuPath = QStringLiteral("/NO_DBUSMENU");

// A connection of the item's own: every item exports the same object path, so two items of
// one process cannot share one.
QDBusConnection PrivateSessionConnection(int number) {
  return QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                       QStringLiteral("echora-status-notifier-%1").arg(number));
}

int NextItemNumber() {
  static int next = 0;
  return ++next;
}

}  // namespace

StatusNotifierItem::StatusNotifierItem(QObject* parent)
    : QObject(parent), connection_(PrivateSessionConnection(NextItemNumber())) {
  RegisterTrayDBusTypes();
  if (!connection_.isConnected()) return;
  serviceName_ = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(connection_.name().section(u'-', -1));
  connection_.registerService(serviceName_);
  connection_.registerObject(kItemPath, this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                 QDBusConnection::ExportAllProperties);
  // A watcher that comes (a panel started or restarted) learns of the item at once.
  auto* watcher = new QDBusServiceWatcher(TrayHosts::kWatcherService, connection_,
                                          QDBusServiceWatcher::WatchForRegistration, this);
  connect(watcher, &QDBusServiceWatcher::serviceRegistered, this,
          &StatusNotifierItem::RegisterWithWatcher);
  RegisterWithWatcher();
}

StatusNotifierItem::~StatusNotifierItem() {
  menu_.reset();
  if (connection_.isConnected()) {
    // Hosts drop the item when its name goes.
    connection_.unregisterObject(kItemPath);
    connection_.unregisterService(serviceName_);
  }
  QDBusConnection::disconnectFromBus(connection_.name());
}

void StatusNotifierItem::RegisterWithWatcher() {
  QDBusMessage call = QDBusMessage::createMethodCall(
      TrayHosts::kWatcherService, QStringLiteral("/StatusNotifierWatcher"),
      TrayHosts::kWatcherService, QStringLiteral("RegisterStatusNotifierItem"));
  call << serviceName_;
  // No reply is awaited: a watcher that is not there yet is met when it comes.
  connection_.asyncCall(call);
}

void StatusNotifierItem::SetIcon(const QIcon& icon) {
  pixmaps_ = IconPixmaps(icon);
  Q_EMIT NewIcon();
  Q_EMIT NewToolTip();  // the tool tip carries the icon too
}

void StatusNotifierItem::SetToolTip(const QString& text) {
  if (text == toolTip_) return;
  toolTip_ = text;
  Q_EMIT NewToolTip();
}

void StatusNotifierItem::SetMenu(TPopupMenu* menu) {
  menu_.reset();
  if (menu && connection_.isConnected()) {
    menu_ = std::make_unique<DBusMenu>(menu, connection_, kMenuPath);
  }
  Q_EMIT NewMenu();
}

QString StatusNotifierItem::Id() const {
  return QCoreApplication::applicationName();
}

QString StatusNotifierItem::Title() const {
  const UtilityWindow* application = UtilityWindow::Find(ApplicationHandle());
  return application && !application->Caption().isEmpty() ? application->Caption() : Id();
}

ToolTip StatusNotifierItem::ToolTipRecord() const {
  return {{}, {}, toolTip_, {}};
}

QDBusObjectPath StatusNotifierItem::Menu() const {
  return QDBusObjectPath(menu_ ? kMenuPath : kNoMenuPath);
}

void StatusNotifierItem::Activate(int x, int y) {
  if (OnActivated) OnActivated(QSystemTrayIcon::Trigger, {x, y});
}

void StatusNotifierItem::SecondaryActivate(int x, int y) {
  if (OnActivated) OnActivated(QSystemTrayIcon::MiddleClick, {x, y});
}

void StatusNotifierItem::ContextMenu(int x, int y) {
  if (OnActivated) OnActivated(QSystemTrayIcon::Context, {x, y});
}

void StatusNotifierItem::Scroll(int, const QString&) {}

void StatusNotifierItem::ProvideXdgActivationToken(const QString&) {}
