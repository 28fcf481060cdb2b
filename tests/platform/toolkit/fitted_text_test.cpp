// Device names fitted into the Setup page's name labels: whole when they fit, cut with "…"
// when they do not, and never wider or taller than the label.
#include "platform/toolkit/fitted_text.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

namespace {

constexpr QSize kTwoLines(185, 32);

QFont DesignedFont() {
  QFont font;
  font.setPixelSize(13);
  return font;
}

bool FitsWrapped(const QString& text, QSize box) {
  const QRect needed = QFontMetrics(DesignedFont())
                           .boundingRect(QRect(0, 0, box.width(), 1 << 20), Qt::TextWordWrap, text);
  return needed.width() <= box.width() && needed.height() <= box.height();
}

TEST(FittedText, AServersNameAsTheCapabilityRecordHoldsItShowsWholeOnTwoLines) {
  const QString name = "Monitor of Built-in Audio Analo";  // 31 characters, cut by the record
  EXPECT_EQ(FittedText(name, DesignedFont(), kTwoLines), name);
  EXPECT_EQ(FittedText("Line In", DesignedFont(), kTwoLines), "Line In");
}

TEST(FittedText, ANameTooLongIsCutWithAnEllipsisAndFits) {
  const QString name =
      "Monitor of Built-in Audio Analog Stereo on the docking station in the other room";
  const QString fitted = FittedText(name, DesignedFont(), kTwoLines);
  EXPECT_TRUE(fitted.endsWith(QChar(0x2026))) << fitted.toStdString();
  EXPECT_TRUE(name.startsWith(fitted.chopped(1).trimmed()));
  EXPECT_TRUE(FitsWrapped(fitted, kTwoLines));
  EXPECT_GT(fitted.size(), 20);  // cut at the end, not emptied
}

TEST(FittedText, AWordLongerThanALineIsCutRatherThanClipped) {
  const QString word = "alsa_output.pci-0000_00_1f.3.analog-stereo";
  const QSize oneLine(185, 16);
  const QString fitted = FittedText(word, DesignedFont(), oneLine);
  EXPECT_TRUE(fitted.endsWith(QChar(0x2026)));
  EXPECT_TRUE(FitsWrapped(fitted, oneLine));
}

}  // namespace
