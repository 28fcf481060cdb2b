#include "platform/toolkit/tcombobox.h"

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  // Qt emits `activated` for user choices only; currentIndexChanged also follows code.
  connect(this, &QComboBox::activated, this, &TComboBox::RunChange);
}

void TComboBox::SetItems(const QStringList& items) {
  const int index = currentIndex();
  clear();
  addItems(items);
  // Filling an empty box makes Qt select its first item; a designed list selects nothing.
  setCurrentIndex(index < count() ? index : -1);
}

QStringList TComboBox::Items() const {
  QStringList items;
  for (int i = 0; i < count(); ++i) items.append(itemText(i));
  return items;
}

void TComboBox::RunChange() {
  if (OnChange) OnChange(this);
}
