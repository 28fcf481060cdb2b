#include "platform/toolkit/tshape.h"

#include <QAccessible>
#include <QPainter>

#include "platform/toolkit/qt_color.h"

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::SetBrushColor(TColor color) {
  if (color == brushColor_) return;
  brushColor_ = color;
  update();
  if (StateText && QAccessible::isActive()) {
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
  }
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // Drawn in device pixels: at a fractional scale (1.5x) a one-pixel outline placed in
  // logical pixels falls between device pixels and its top and left edges vanish.
  const qreal ratio = devicePixelRatioF();
  painter.scale(1 / ratio, 1 / ratio);
  const QSize device = (QSizeF(size()) * ratio).toSize();
  painter.setPen(QPen(Qt::black, 0));
  painter.setBrush(ToQColor(brushColor_, palette()));
  // A cosmetic pen draws on the pixels right of and below its path, so the outline of a
  // rectangle one pixel smaller lies exactly on the widget's border.
  painter.drawRect(QRect(QPoint(0, 0), device).adjusted(0, 0, -1, -1));
}
