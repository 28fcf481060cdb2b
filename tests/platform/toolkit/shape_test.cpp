// LEDs paint their brush colour inside a black outline; TColor values become Qt colours.
#include <gtest/gtest.h>

#include <QImage>
#include <QPalette>

#include "platform/toolkit/qt_color.h"
#include "platform/toolkit/tshape.h"

namespace {

TEST(ToQColor, PlainColoursAreBlueGreenRedSystemColoursComeFromThePalette) {
  QPalette palette;
  palette.setColor(QPalette::Active, QPalette::WindowText, QColor(1, 2, 3));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(4, 5, 6));
  EXPECT_EQ(ToQColor(clRed, palette), QColor(255, 0, 0));
  EXPECT_EQ(ToQColor(0x123456, palette), QColor(0x56, 0x34, 0x12));
  EXPECT_EQ(ToQColor(clWindowText, palette), QColor(1, 2, 3));
  EXPECT_EQ(ToQColor(clGrayText, palette), QColor(4, 5, 6));
}

TEST(Shape, PaintsTheBrushColourInsideABlackOutline) {
  TShape led;
  led.resize(25, 8);
  led.SetBrushColor(clRed);
  const QImage image = led.grab().toImage();
  EXPECT_EQ(image.pixelColor(12, 4), QColor(Qt::red));
  for (const QPoint corner : {QPoint(0, 0), QPoint(24, 7)}) {
    EXPECT_EQ(image.pixelColor(corner), QColor(Qt::black)) << corner.x() << "," << corner.y();
  }
}

}  // namespace
