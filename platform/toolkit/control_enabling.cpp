#include "platform/toolkit/control_enabling.h"

#include <QWidget>

void SetControlEnabled(QWidget* control, bool enabled) {
  if (!enabled) {
    QWidget* focused = control->window()->focusWidget();
    if (focused && (focused == control || control->isAncestorOf(focused))) focused->clearFocus();
  }
  control->setEnabled(enabled);
}
