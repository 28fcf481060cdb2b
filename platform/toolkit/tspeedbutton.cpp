#include "platform/toolkit/tspeedbutton.h"

TSpeedButton::TSpeedButton(QWidget* parent) : QToolButton(parent) {
  setFocusPolicy(Qt::NoFocus);
  setToolButtonStyle(Qt::ToolButtonTextOnly);
  connect(this, &QAbstractButton::clicked, this, &TSpeedButton::RunClick);
}

void TSpeedButton::SetGroupIndex(int index) {
  groupIndex_ = index;
  setCheckable(index != 0);
}

void TSpeedButton::RunClick() {
  if (OnClick) OnClick(this);
}
