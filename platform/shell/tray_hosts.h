// Which notification area the desktop offers now, followed for the program's whole life:
// a StatusNotifierItem host (a panel on the session bus: KDE, Xfce, Cinnamon, waybar...),
// an X11 system tray that embeds icon windows (XEmbed), or none. Panels start after the
// programs of a session, crash and restart, so this is never decided once.
//
// The bus tells when its watcher comes or goes and when hosts register with it; the X
// server tells no one when a tray's selection owner goes unless they watch its window, so
// the tray's selection is looked at every two seconds instead.
//
// GUI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <optional>

class QDBusPendingCallWatcher;

class TrayHosts final : public QObject {
  Q_OBJECT

 public:
  static inline const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

  enum class Kind {
    None,            // no notification area: an icon would not be seen
    XEmbed,          // an X11 tray that embeds icon windows
    StatusNotifier,  // a StatusNotifierItem host, preferred where both are there
  };

  // The application's view of the desktop, made on first use; it lives as long as the
  // QApplication.
  static TrayHosts& Instance();

  Kind Current() const;
  bool Available() const { return Current() != Kind::None; }

  // Makes the desktop look as given to everything that asks, until called with nothing:
  // for tests, which have no panel to start and stop.
  void Pretend(std::optional<Kind> kind);

 Q_SIGNALS:
  // Current() has changed.
  void Changed();

 private Q_SLOTS:
  // Asks the watcher, if there is one, whether a host has registered. Also the target of
  // the watcher's own signals, whose connection the bus API makes by slot name.
  void AskWatcher();

 private:
  explicit TrayHosts(QObject* parent);
  void LookAtXEmbedTray();
  void Update(bool statusNotifierHost, bool xembedTray);

  bool statusNotifierHost_ = false;
  bool xembedTray_ = false;
  std::optional<Kind> pretended_;
  QDBusPendingCallWatcher* question_ = nullptr;
};
