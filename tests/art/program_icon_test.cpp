// The program's icon: each size the window, About and the tray ask for is drawn from the
// artist's own picture of that size, not shrunk or blown up from another.
#include "art/program_icon.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

QImage Art(int size) {
  return QImage(QStringLiteral(":/art/echora-%1.png").arg(size))
      .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

TEST(ProgramIcon, EverySizeComesFromItsOwnPicture) {
  const QIcon icon = ProgramIcon();
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QImage drawn = icon.pixmap(QSize(size, size))
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(drawn, Art(size)) << size;
  }
}

TEST(ProgramIcon, ThePanelsPictureIsSharpOnScaledScreens) {
  for (const qreal ratio : {1.0, 2.0}) {
    const QPixmap pixmap = ProgramIconPixmap(ratio);
    EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(32, 32)) << ratio;
    EXPECT_EQ(pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
              Art(static_cast<int>(32 * ratio)))
        << ratio;
  }
}

}  // namespace
