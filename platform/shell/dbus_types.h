// The records the notification area's D-Bus protocols carry, with their D-Bus signatures:
// StatusNotifierItem's icon pictures and tool tip, and com.canonical.dbusmenu's layout,
// item properties and events. RegisterTrayDBusTypes makes them known to Qt's D-Bus layer;
// call it before any of them crosses the bus. Lists are written out as QList<...> wherever
// Qt's D-Bus layer meets them (slots, signals, properties): it does not know a typedef's
// name, and would silently leave such a method or signal off the bus.
#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QIcon;

// (iiay): one picture, ARGB32 in network byte order, row by row.
struct IconPixmap {
  int width = 0;
  int height = 0;
  QByteArray argb;
};

// Every size the icon has a picture for, each drawn from its own picture.
QList<IconPixmap> IconPixmaps(const QIcon& icon);

// (sa(iiay)ss): an item's tool tip; hosts show the title.
struct ToolTip {
  QString iconName;
  QList<IconPixmap> icon;
  QString title;
  QString description;
};

// (ia{sv}av): a menu item, its properties and its children, each a variant holding the
// same structure again.
struct MenuLayout {
  int id = 0;
  QVariantMap properties;
  QList<MenuLayout> children;
};

// (ia{sv}): the properties of one item.
struct MenuItemProperties {
  int id = 0;
  QVariantMap properties;
};

// (ias): the properties an item no longer has.
struct MenuItemPropertyNames {
  int id = 0;
  QStringList names;
};

// (isvu): an event a host reports on an item ("clicked", "opened"...).
struct MenuEvent {
  int id = 0;
  QString eventId;
  QDBusVariant data;
  uint timestamp = 0;
};

Q_DECLARE_METATYPE(IconPixmap)
Q_DECLARE_METATYPE(ToolTip)
Q_DECLARE_METATYPE(MenuLayout)
Q_DECLARE_METATYPE(MenuItemProperties)
Q_DECLARE_METATYPE(MenuItemPropertyNames)
Q_DECLARE_METATYPE(MenuEvent)

QDBusArgument& operator<<(QDBusArgument& argument, const IconPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, IconPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const ToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& argument, ToolTip& tip);
QDBusArgument& operator<<(QDBusArgument& argument, const MenuLayout& layout);
const QDBusArgument& operator>>(const QDBusArgument& argument, MenuLayout& layout);
QDBusArgument& operator<<(QDBusArgument& argument, const MenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, MenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const MenuItemPropertyNames& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, MenuItemPropertyNames& item);
QDBusArgument& operator<<(QDBusArgument& argument, const MenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, MenuEvent& event);

void RegisterTrayDBusTypes();
