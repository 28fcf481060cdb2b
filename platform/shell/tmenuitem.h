// TMenuItem: one line of a popup menu: a caption, or a separator line when the caption is
// "-"; enabled or greyed; the menu's default item is drawn bold. Made by TPopupMenu::Add.
#pragma once

#include <QString>

#include "platform/shell/tcomponent.h"

class QAction;

class TMenuItem final : public TComponent {
 public:
  // The item owns `action`, which shows it in its menu.
  TMenuItem(TComponent* AOwner, QAction* action);

  QString Caption() const;
  void SetCaption(const QString& Caption);
  bool Enabled() const;
  void SetEnabled(bool Enabled);
  bool Default() const;
  void SetDefault(bool Default);

  QAction* Action() const { return action_; }

  // Runs OnClick, as choosing the item does; a disabled item does nothing.
  void Click();

  NotifyEvent OnClick;

 private:
  QAction* const action_;
};
