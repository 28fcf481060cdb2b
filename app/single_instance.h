// One program per session and display: a second launch hands over to the first, which
// shows its window, and ends. Two processors on the same devices would double every echo.
//
// The first launch takes a name: a well-known name on the session bus where there is one,
// and otherwise a local socket in the user's runtime folder, which a second program cannot
// take over. Either is made of the display's
// name as well, so that programs on two displays of one user (tests side by side, a
// second seat) do not meet. GUI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;

class SingleInstance final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.tarnwick.echora.Instance")

 public:
  // The name's display part: DISPLAY, or WAYLAND_DISPLAY without one, as letters, digits
  // and underscores.
  static QString DisplayToken(const char* x11Display, const char* waylandDisplay);
  // The well-known bus name, and the local socket's name, for a display token.
  static QString BusName(const QString& displayToken);
  static QString SocketName(const QString& displayToken);

  explicit SingleInstance(QObject* parent = nullptr);
  ~SingleInstance() override;

  // Takes the name for this program, or, when another program holds it, asks that one to
  // show its window: false then, and this program should end.
  bool Claim();

  // Run when a later launch asks this program to show itself.
  std::function<void()> OnShowRequested;

 public Q_SLOTS:
  // Called over the bus by a later launch.
  Q_SCRIPTABLE void Show();

 private:
  bool ClaimOnBus();
  bool ClaimSocket();

  const QString token_;
  std::unique_ptr<QLocalServer> server_;
};
