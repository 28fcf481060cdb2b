#include "platform/shell/dbus_menu.h"

#include <QAction>
#include <QGuiApplication>
#include <QMetaObject>

#include "platform/shell/tmenuitem.h"

DBusMenu::DBusMenu(TPopupMenu* menu, QDBusConnection connection, const QString& path,
                   QObject* parent)
    : QObject(parent), menu_(menu), connection_(std::move(connection)), path_(path) {
  RegisterTrayDBusTypes();
  WatchItems();
  connection_.registerObject(path_, this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                 QDBusConnection::ExportAllProperties);
}

DBusMenu::~DBusMenu() {
  connection_.unregisterObject(path_);
}

QString DBusMenu::TextDirection() const {
  return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                               : QStringLiteral("ltr");
}

QString DBusMenu::Label(const QString& caption) {
  QString label;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    const QChar c = caption[i];
    if (c == u'_') {
      label += QStringLiteral("__");  // a plain underscore
    } else if (c == u'&' && i + 1 < caption.size()) {
      label += caption[++i] == u'&' ? QStringLiteral("&") : QString(u'_') + caption[i];
    } else {
      label += c;
    }
  }
  return label;
}

TMenuItem* DBusMenu::Item(int id) const {
  if (!menu_ || id < 1 || id > menu_->Count()) return nullptr;
  return menu_->Items(id - 1);
}

QVariantMap DBusMenu::Properties(int id) const {
  if (id == 0) return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
  const TMenuItem* item = Item(id);
  if (!item) return {};
  if (item->Action()->isSeparator()) return {{QStringLiteral("type"), QStringLiteral("separator")}};
  return {{QStringLiteral("label"), Label(item->Caption())},
          {QStringLiteral("enabled"), item->Enabled()},
          {QStringLiteral("visible"), item->Action()->isVisible()}};
}

void DBusMenu::WatchItems() {
  if (!menu_) return;
  for (int index = 0; index < menu_->Count(); ++index) {
    QAction* action = menu_->Items(index)->Action();
    if (watched_.contains(action)) continue;
    watched_.insert(action);
    const int id = index + 1;
    connect(action, &QAction::changed, this, [this, id] {
      Q_EMIT ItemsPropertiesUpdated({{id, Properties(id)}}, {});
    });
    connect(action, &QObject::destroyed, this, [this, action] { watched_.remove(action); });
  }
}

uint DBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList&, MenuLayout& layout) {
  WatchItems();
  layout = {parentId, Properties(parentId), {}};
  // Only the root has children; a depth of 0 asks for the item alone.
  if (parentId == 0 && recursionDepth != 0 && menu_) {
    for (int id = 1; id <= menu_->Count(); ++id)
      layout.children << MenuLayout{id, Properties(id), {}};
  }
  // The layout is read anew on every call and the items' changes are signalled one by one,
  // so it keeps its first revision.
  return 1;
}

QList<MenuItemProperties> DBusMenu::GetGroupProperties(const QList<int>& ids, const QStringList&) {
  QList<MenuItemProperties> found;
  for (const int id : ids) {
    if (id == 0 || Item(id)) found << MenuItemProperties{id, Properties(id)};
  }
  return found;
}

QDBusVariant DBusMenu::GetProperty(int id, const QString& name) {
  return QDBusVariant(Properties(id).value(name));
}

void DBusMenu::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
  TMenuItem* item = Item(id);
  if (!item || eventId != QLatin1String("clicked")) return;
  // Queued on the item, as a choice in the program's own menu is: the reply goes back to
  // the host first, and a handler that ends the program does not cut it off.
  QMetaObject::invokeMethod(
      item, [item] { item->Click(); }, Qt::QueuedConnection);
}

QList<int> DBusMenu::EventGroup(const QList<MenuEvent>& events) {
  QList<int> unknown;
  for (const MenuEvent& event : events) {
    if (event.id != 0 && !Item(event.id)) {
      unknown << event.id;
      continue;
    }
    Event(event.id, event.eventId, event.data, event.timestamp);
  }
  return unknown;
}

bool DBusMenu::AboutToShow(int id) {
  // The host is about to draw the menu: the moment the program's own menu raises OnPopup.
  if (id == 0 && menu_ && menu_->OnPopup) menu_->OnPopup(menu_);
  return false;  // the layout is always current; nothing to fetch again
}

QList<int> DBusMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
  for (const int id : ids) {
    if (id == 0) {
      AboutToShow(id);
    } else if (!Item(id)) {
      idErrors << id;
    }
  }
  return {};
}
