#include "platform/toolkit/tspeedbutton.h"

#include <QKeyEvent>

TSpeedButton::TSpeedButton(QWidget* parent) : QToolButton(parent) {
  // Tab only: a click leaves the focus where it was (on "Echo active", say).
  setFocusPolicy(Qt::TabFocus);
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

void TSpeedButton::keyPressEvent(QKeyEvent* event) {
  // Space is a button's own key; Enter clicks too, as on the window's other buttons.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
    click();
    return;
  }
  QToolButton::keyPressEvent(event);
}
