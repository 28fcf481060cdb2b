// A TPopupMenu exported over D-Bus as com.canonical.dbusmenu, for tray hosts that draw an
// item's menu themselves (most StatusNotifierItem hosts never ask the program to show one).
// The host reads the items with their captions and enabled state, is told when these
// change, and reports a choice as a "clicked" event, which runs the item's OnClick just as
// choosing it in the program's own menu does.
//
// The menu is flat: the root (id 0) holds the items, whose ids are their positions plus 1.
// Everything runs on the GUI thread, where Qt delivers the bus's calls.
#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QPointer>
#include <QSet>

#include "platform/shell/dbus_types.h"
#include "platform/shell/tpopupmenu.h"

class QAction;

class DBusMenu final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
  Q_PROPERTY(uint Version READ Version)
  Q_PROPERTY(QString TextDirection READ TextDirection)
  Q_PROPERTY(QString Status READ Status)
  Q_PROPERTY(QStringList IconThemePath READ IconThemePath)

 public:
  // Exports `menu` (which may go away first) on `connection` at `path`.
  DBusMenu(TPopupMenu* menu, QDBusConnection connection, const QString& path,
           QObject* parent = nullptr);
  ~DBusMenu() override;

  uint Version() const { return 3; }
  QString TextDirection() const;
  QString Status() const { return QStringLiteral("normal"); }
  QStringList IconThemePath() const { return {}; }

  // A caption's "&" mnemonic as dbusmenu writes it ("_").
  static QString Label(const QString& caption);

 public Q_SLOTS:
  uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                 MenuLayout& layout);
  QList<MenuItemProperties> GetGroupProperties(const QList<int>& ids,
                                               const QStringList& propertyNames);
  QDBusVariant GetProperty(int id, const QString& name);
  void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
  QList<int> EventGroup(const QList<MenuEvent>& events);
  bool AboutToShow(int id);
  QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

 Q_SIGNALS:
  void ItemsPropertiesUpdated(const QList<MenuItemProperties>& updatedProps,
                              const QList<MenuItemPropertyNames>& removedProps);
  void LayoutUpdated(uint revision, int parent);
  void ItemActivationRequested(int id, uint timestamp);

 private:
  QVariantMap Properties(int id) const;
  TMenuItem* Item(int id) const;
  // Follows the items' changes, including those of items added since the last look.
  void WatchItems();

  QPointer<TPopupMenu> menu_;
  QDBusConnection connection_;
  const QString path_;
  QSet<QAction*> watched_;
};
