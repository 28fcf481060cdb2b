#include "platform/toolkit/tpanel.h"

#include <qdrawutil.h>

#include <QPainter>

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
  SetBevels(outer_, inner_);
}

void TPanel::SetBevels(Bevel outer, Bevel inner) {
  outer_ = outer;
  inner_ = inner;
  const int width = (outer != Bevel::None) + (inner != Bevel::None);
  setContentsMargins(width, width, width, width);
  update();
}

void TPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect edge = rect();
  for (Bevel bevel : {outer_, inner_}) {
    if (bevel == Bevel::None) continue;
    qDrawShadeRect(&painter, edge, palette(), bevel == Bevel::Lowered, 1, 0);
    edge.adjust(1, 1, -1, -1);
  }
}
