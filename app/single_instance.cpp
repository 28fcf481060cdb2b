#include "app/single_instance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QStandardPaths>
#include <cstdlib>

namespace {

const QString kObjectPath = QStringLiteral("/com/tarnwick/echora");
const QString kInterface = QStringLiteral("com.tarnwick.echora.Instance");
const QByteArray kShowRequest = "show\n";
// A program that holds the name but does not answer within this is taken to be hung; the
// new one then ends anyway rather than start a second processor.
constexpr int kAnswerTimeoutMs = 5000;

}  // namespace

QString SingleInstance::DisplayToken(const char* x11Display, const char* waylandDisplay) {
  const char* display = x11Display && *x11Display ? x11Display : waylandDisplay;
  QString token = QString::fromUtf8(display && *display ? display : "none");
  for (QChar& c : token) {
    if (!(c.isLetterOrNumber() && c.unicode() < 128)) c = u'_';
  }
  return token;
}

QString SingleInstance::BusName(const QString& displayToken) {
  // A bus name's element may not start with a digit: the token follows a letter.
  return QStringLiteral("com.tarnwick.echora.display") + displayToken;
}

QString SingleInstance::SocketName(const QString& displayToken) {
  // In the user's runtime folder, which only the user can enter. (Access options on the
  // server would not do: Qt then makes the socket elsewhere and renames it over the path,
  // so a second program would take the name from the first without a word.)
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
         QStringLiteral("/echora-%1").arg(displayToken);
}

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent),
      token_(DisplayToken(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"))) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::Claim() {
  if (QDBusConnection::sessionBus().isConnected()) return ClaimOnBus();
  return ClaimSocket();
}

void SingleInstance::Show() {
  // Queued: the caller's reply goes first, and the window is shown from the event loop.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (OnShowRequested) OnShowRequested();
      },
      Qt::QueuedConnection);
}

bool SingleInstance::ClaimOnBus() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  const QString name = BusName(token_);
  bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots);
  if (bus.registerService(name)) return true;
  bus.unregisterObject(kObjectPath);
  bus.call(QDBusMessage::createMethodCall(name, kObjectPath, kInterface, QStringLiteral("Show")),
           QDBus::Block, kAnswerTimeoutMs);
  return false;
}

bool SingleInstance::ClaimSocket() {
  const QString name = SocketName(token_);
  server_ = std::make_unique<QLocalServer>();
  if (!server_->listen(name)) {
    QLocalSocket first;
    first.connectToServer(name);
    if (first.waitForConnected(kAnswerTimeoutMs)) {
      first.write(kShowRequest);
      first.waitForBytesWritten(kAnswerTimeoutMs);
      server_.reset();
      return false;
    }
    // The socket of a program that ended without removing it.
    QLocalServer::removeServer(name);
    if (!server_->listen(name)) return true;  // no name to take: run alone regardless
  }
  connect(server_.get(), &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* later = server_->nextPendingConnection()) {
      connect(later, &QLocalSocket::readyRead, this, [this, later] {
        if (later->readAll().contains(kShowRequest.trimmed())) Show();
        later->disconnectFromServer();
      });
      connect(later, &QLocalSocket::disconnected, later, &QObject::deleteLater);
    }
  });
  return true;
}
