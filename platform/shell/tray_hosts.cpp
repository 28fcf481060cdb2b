#include "platform/shell/tray_hosts.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QPointer>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/shell/x11_connection.h"

namespace {

const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
constexpr int kXEmbedPollMs = 2000;
// Only at start-up is the answer waited for, so that the window starts with or without a
// taskbar entry as the desktop needs; a hung bus must not hold the start for long.
constexpr int kFirstQuestionTimeoutMs = 1000;

// The screen of DISPLAY (":0.1" is screen 1), whose tray the icon would go to.
int X11ScreenNumber() {
  const char* display = std::getenv("DISPLAY");
  const char* dot = display ? std::strrchr(display, '.') : nullptr;
  const char* colon = display ? std::strrchr(display, ':') : nullptr;
  return dot && colon && dot > colon ? std::atoi(dot + 1) : 0;
}

// Whether an X11 system tray manages the screen: it owns the selection _NET_SYSTEM_TRAY_Sn.
bool XEmbedTrayPresent() {
  xcb_connection_t* connection = X11Connection();
  if (!connection) return false;
  const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(X11ScreenNumber());
  const xcb_atom_t selection = X11Atom(connection, name.c_str());
  if (selection == XCB_ATOM_NONE) return false;
  xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
      connection, xcb_get_selection_owner(connection, selection), nullptr);
  const bool present = owner && owner->owner != XCB_WINDOW_NONE;
  std::free(owner);
  return present;
}

QDBusMessage HostQuestion() {
  QDBusMessage question = QDBusMessage::createMethodCall(
      TrayHosts::kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("Get"));
  question << TrayHosts::kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
  return question;
}

// A watcher that cannot say whether hosts have registered is taken to have one: watchers
// are run by the hosts themselves.
bool HostFromAnswer(const QDBusMessage& answer) {
  if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) return true;
  return qvariant_cast<QDBusVariant>(answer.arguments().constFirst()).variant().toBool();
}

}  // namespace

TrayHosts& TrayHosts::Instance() {
  static QPointer<TrayHosts> hosts;
  if (!hosts) hosts = new TrayHosts(QCoreApplication::instance());
  return *hosts;
}

TrayHosts::TrayHosts(QObject* parent) : QObject(parent) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected()) {
    auto* watch = new QDBusServiceWatcher(kWatcherService, bus,
                                          QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watch, &QDBusServiceWatcher::serviceOwnerChanged, this, &TrayHosts::AskWatcher);
    for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
      bus.connect(kWatcherService, kWatcherPath, kWatcherService, QLatin1String(signal), this,
                  SLOT(AskWatcher()));
    }
    const bool owned = bus.interface() && bus.interface()->isServiceRegistered(kWatcherService);
    statusNotifierHost_ =
        owned && HostFromAnswer(bus.call(HostQuestion(), QDBus::Block, kFirstQuestionTimeoutMs));
  }
  if (X11Connection()) {
    xembedTray_ = XEmbedTrayPresent();
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &TrayHosts::LookAtXEmbedTray);
    poll->start(kXEmbedPollMs);
  }
}

TrayHosts::Kind TrayHosts::Current() const {
  if (pretended_) return *pretended_;
  if (statusNotifierHost_) return Kind::StatusNotifier;
  return xembedTray_ ? Kind::XEmbed : Kind::None;
}

void TrayHosts::Pretend(std::optional<Kind> kind) {
  const Kind before = Current();
  pretended_ = kind;
  if (Current() != before) Q_EMIT Changed();
}

void TrayHosts::Update(bool statusNotifierHost, bool xembedTray) {
  const Kind before = Current();
  statusNotifierHost_ = statusNotifierHost;
  xembedTray_ = xembedTray;
  if (Current() != before) Q_EMIT Changed();
}

void TrayHosts::LookAtXEmbedTray() {
  Update(statusNotifierHost_, XEmbedTrayPresent());
}

void TrayHosts::AskWatcher() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.interface() || !bus.interface()->isServiceRegistered(kWatcherService)) {
    Update(false, xembedTray_);
    return;
  }
  // The latest question is the one whose answer counts.
  delete question_;
  question_ = new QDBusPendingCallWatcher(bus.asyncCall(HostQuestion()), this);
  connect(question_, &QDBusPendingCallWatcher::finished, this,
          [this](QDBusPendingCallWatcher* answered) {
            answered->deleteLater();
            if (answered != question_) return;
            question_ = nullptr;
            Update(HostFromAnswer(answered->reply()), xembedTray_);
          });
}
