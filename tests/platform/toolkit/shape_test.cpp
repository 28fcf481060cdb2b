// LEDs paint their brush colour inside a black outline; TColor values become Qt colours.
#include <gtest/gtest.h>

#include <QImage>
#include <QPalette>
#include <algorithm>

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

TEST(Shape, KeepsAllFourSidesOfItsOutlineAtAFractionalScale) {
  TShape led;
  led.resize(25, 8);
  led.SetBrushColor(clWhite);
  // At 1.5x, one logical pixel in: the widget's edges fall between device pixels.
  QImage image(QSize(27, 10) * 1.5, QImage::Format_RGB32);
  image.setDevicePixelRatio(1.5);
  image.fill(Qt::green);
  led.render(&image, QPoint(1, 1));
  int top = image.height(), bottom = -1, left = image.width(), right = -1;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixelColor(x, y) != QColor(Qt::black)) continue;
      top = std::min(top, y), bottom = std::max(bottom, y);
      left = std::min(left, x), right = std::max(right, x);
    }
  }
  ASSERT_LT(top, bottom);
  for (int x = left; x <= right; ++x) {
    EXPECT_EQ(image.pixelColor(x, top), QColor(Qt::black)) << "top " << x;
    EXPECT_EQ(image.pixelColor(x, bottom), QColor(Qt::black)) << "bottom " << x;
  }
  for (int y = top; y <= bottom; ++y) {
    EXPECT_EQ(image.pixelColor(left, y), QColor(Qt::black)) << "left " << y;
    EXPECT_EQ(image.pixelColor(right, y), QColor(Qt::black)) << "right " << y;
  }
  EXPECT_EQ(image.pixelColor((left + right) / 2, (top + bottom) / 2), QColor(Qt::white));
}

}  // namespace
