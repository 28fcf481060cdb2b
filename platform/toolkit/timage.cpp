#include "platform/toolkit/timage.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

TImage::TImage(QWidget* parent) : QLabel(parent) {
  setFocusPolicy(Qt::NoFocus);
}

void TImage::SetOnClick(NotifyEvent handler) {
  onClick_ = std::move(handler);
  // Reached by Tab, never taken by a click: the mouse user's focus stays where it was.
  setFocusPolicy(Clickable() ? Qt::TabFocus : Qt::NoFocus);
}

void TImage::Click() {
  if (Clickable() && isEnabled()) onClick_(this);
}

void TImage::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (Clickable() && !event->isAutoRepeat()) {
        Click();
        return;
      }
      break;
    default:
      break;
  }
  QLabel::keyPressEvent(event);
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Click();
  QLabel::mouseReleaseEvent(event);
}

void TImage::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  // The style's focus frame, so that a keyboard user sees where the focus is.
  QStylePainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.backgroundColor = palette().color(QPalette::Window);
  painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}
