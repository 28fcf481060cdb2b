// TPopupMenu: a menu that pops up at a screen position and runs the chosen item's OnClick.
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "platform/shell/tcomponent.h"
#include "platform/shell/tmenuitem.h"

class QMenu;

class TPopupMenu final : public TComponent {
 public:
  explicit TPopupMenu(QObject* AOwner);
  ~TPopupMenu() override;

  // Appends an item; the caption "-" makes a separator line. The menu owns the item.
  TMenuItem* Add(const QString& Caption);
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int Index) const { return items_.at(static_cast<std::size_t>(Index)); }

  // Raises OnPopup, then shows the menu with its top left corner at (X, Y) in screen
  // coordinates and returns once an item has been chosen or the menu dismissed. The chosen
  // item's OnClick runs afterwards, from the event loop: a handler may then destroy the
  // menu's owner without pulling anything out from under the menu or its caller.
  void Popup(int X, int Y);

  // The menu while it is shown, for input that closes it.
  QMenu* Menu() const { return menu_.get(); }

  NotifyEvent OnPopup;

 private:
  std::unique_ptr<QMenu> menu_;
  std::vector<TMenuItem*> items_;  // owned as children, in menu order
};
