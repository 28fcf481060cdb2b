// One icon as a StatusNotifierItem: the way most desktops' panels (KDE, Xfce, Cinnamon,
// waybar...) host tray icons, over the session bus rather than by embedding X windows.
//
// The item owns a private connection to the session bus, under a name of its own
// (org.kde.StatusNotifierItem-PID-N), exports itself at /StatusNotifierItem and its menu, if
// it has one, at /MenuBar, and registers with the StatusNotifierWatcher, again whenever a
// watcher appears (a panel restarted). The host reads the title, the tool tip and the
// pictures, every size the icon has, and reports clicks by calling Activate (left button),
// SecondaryActivate (middle) and ContextMenu (right, at the position it gives); hosts that
// draw the exported menu themselves make no call for the right click.
//
// GUI thread only: Qt delivers the bus's calls there.
#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

#include "platform/shell/dbus_types.h"

class DBusMenu;
class TPopupMenu;

class StatusNotifierItem final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
  Q_PROPERTY(QString Category READ Category)
  Q_PROPERTY(QString Id READ Id)
  Q_PROPERTY(QString Title READ Title)
  Q_PROPERTY(QString Status READ Status)
  Q_PROPERTY(int WindowId READ WindowId)
  Q_PROPERTY(QString IconName READ IconName)
  Q_PROPERTY(QList<IconPixmap> IconPixmap READ Pixmaps)
  Q_PROPERTY(QString OverlayIconName READ EmptyName)
  Q_PROPERTY(QList<IconPixmap> OverlayIconPixmap READ NoPixmaps)
  Q_PROPERTY(QString AttentionIconName READ EmptyName)
  Q_PROPERTY(QList<IconPixmap> AttentionIconPixmap READ NoPixmaps)
  Q_PROPERTY(QString AttentionMovieName READ EmptyName)
  Q_PROPERTY(ToolTip ToolTip READ ToolTipRecord)
  Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
  Q_PROPERTY(QDBusObjectPath Menu READ Menu)

 public:
  // Connects and registers; an item without a reachable session bus stays unseen.
  explicit StatusNotifierItem(QObject* parent = nullptr);
  ~StatusNotifierItem() override;

  // The bus name hosts know the item by; empty without a bus.
  QString ServiceName() const { return serviceName_; }

  void SetIcon(const QIcon& icon);
  void SetToolTip(const QString& text);
  // The menu hosts draw for a right click (nullptr: none); it may go away first.
  void SetMenu(TPopupMenu* menu);

  // A click, with where the host says it happened (screen coordinates). A callback rather
  // than a signal: every signal of an exported object is looked at for the bus.
  std::function<void(QSystemTrayIcon::ActivationReason reason, QPoint position)> OnActivated;

  QString Category() const { return QStringLiteral("ApplicationStatus"); }
  QString Id() const;
  // The caption of the application's window (its title), which hosts show for the item.
  QString Title() const;
  QString Status() const { return QStringLiteral("Active"); }
  int WindowId() const { return 0; }
  QString IconName() const { return {}; }
  QList<IconPixmap> Pixmaps() const { return pixmaps_; }
  QString EmptyName() const { return {}; }
  QList<IconPixmap> NoPixmaps() const { return {}; }
  ToolTip ToolTipRecord() const;
  bool ItemIsMenu() const { return false; }
  QDBusObjectPath Menu() const;

 public Q_SLOTS:
  void Activate(int x, int y);
  void SecondaryActivate(int x, int y);
  void ContextMenu(int x, int y);
  void Scroll(int delta, const QString& orientation);
  void ProvideXdgActivationToken(const QString& token);

 Q_SIGNALS:
  // To hosts: what changed.
  void NewTitle();
  void NewIcon();
  void NewToolTip();
  void NewStatus(const QString& status);
  void NewMenu();

 private:
  void RegisterWithWatcher();

  QDBusConnection connection_;
  QString serviceName_;
  std::unique_ptr<DBusMenu> menu_;
  QList<IconPixmap> pixmaps_;
  QString toolTip_;
};
