#include "platform/shell/tpopupmenu.h"

#include <QAction>
#include <QMenu>
#include <QMetaObject>
#include <QPoint>
#include <QPointer>
#include <algorithm>

TPopupMenu::TPopupMenu(QObject* AOwner) : TComponent(AOwner), menu_(std::make_unique<QMenu>()) {}

TPopupMenu::~TPopupMenu() = default;

TMenuItem* TPopupMenu::Add(const QString& Caption) {
  auto* item = new TMenuItem(this, new QAction);
  item->SetCaption(Caption);
  menu_->addAction(item->Action());
  items_.push_back(item);
  return item;
}

void TPopupMenu::Popup(int X, int Y) {
  if (OnPopup) OnPopup(this);
  const QPointer<TPopupMenu> alive(this);
  QAction* chosen = menu_->exec(QPoint(X, Y));
  if (!alive) return;  // destroyed by a handler that ran while the menu was up
  const auto found = std::find_if(items_.begin(), items_.end(),
                                  [chosen](TMenuItem* item) { return item->Action() == chosen; });
  if (!chosen || found == items_.end()) return;
  TMenuItem* item = *found;
  // Queued on the item, so the call is dropped if the item is destroyed first.
  QMetaObject::invokeMethod(
      item, [item] { item->Click(); }, Qt::QueuedConnection);
}
