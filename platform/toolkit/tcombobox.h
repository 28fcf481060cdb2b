// TComboBox: a drop-down list without free text whose OnChange runs only when the user
// chooses an item. Setting ItemIndex from code runs nothing. Typing a letter picks the
// next item that starts with it; a letter held with Alt, Ctrl or Meta is a shortcut of the
// window, never a choice.
#pragma once

#include <QComboBox>
#include <QStringList>

#include "platform/notify_event.h"

class TComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TComboBox(QWidget* parent = nullptr);

  // Replaces the list; the selection stays at its index (none, -1, for a new box).
  void SetItems(const QStringList& items);
  QStringList Items() const;
  // -1 when nothing is selected.
  int ItemIndex() const { return currentIndex(); }
  void SetItemIndex(int index) { setCurrentIndex(index); }
  QString Text() const { return currentText(); }

  // A choice from the list or by the arrow keys, also of the item already shown.
  NotifyEvent OnChange;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void RunChange();
};
