#include "platform/toolkit/tcheckbox.h"

TCheckBox::TCheckBox(QWidget* parent) : QCheckBox(parent) {
  // `toggled` follows both the user and setChecked, `clicked` the user alone.
  connect(this, &QAbstractButton::toggled, this, &TCheckBox::TickChanged);
}

void TCheckBox::TickChanged(bool checked) {
  checked_.store(checked);
  if (OnClick) OnClick(this);
}
