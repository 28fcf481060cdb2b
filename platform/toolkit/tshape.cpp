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
  // An outline one device pixel wide, drawn as fills: at a fractional scale (1.5x) the
  // widget's edges fall between device pixels, where a one-pixel line may be dropped (its
  // top and left sides vanished), while a fill always covers the pixels whose centres it
  // holds.
  const qreal ratio = painter.device()->devicePixelRatioF();
  painter.scale(1 / ratio, 1 / ratio);
  const QRectF outline(QPointF(0, 0), QSizeF(size()) * ratio);
  painter.fillRect(outline, Qt::black);
  painter.fillRect(outline.adjusted(1, 1, -1, -1), ToQColor(brushColor_, palette()));
}
