#include "platform/toolkit/fitted_text.h"

#include <QFontMetrics>

namespace {

bool Fits(const QString& text, const QFontMetrics& metrics, QSize box) {
  const QRect needed =
      metrics.boundingRect(QRect(0, 0, box.width(), 1 << 20), Qt::TextWordWrap, text);
  return needed.width() <= box.width() && needed.height() <= box.height();
}

}  // namespace

QString FittedText(const QString& text, const QFont& font, QSize box) {
  const QFontMetrics metrics(font);
  if (Fits(text, metrics, box)) return text;
  // Names are short: trying each length from the longest is fast enough and exact.
  for (qsizetype length = text.size() - 1; length > 0; --length) {
    const QString cut = text.left(length).trimmed() + QChar(0x2026);
    if (Fits(cut, metrics, box)) return cut;
  }
  return QString(QChar(0x2026));
}
