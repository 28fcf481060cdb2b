#include "art/program_icon.h"

#include <QPainter>
#include <QSvgRenderer>

// The pictures are compiled into a static library, whose resource registration a linker
// would drop as unreferenced: it is registered on first use. (Outside any namespace, as
// the registration macro requires.)
static void LoadArt() {
  static const bool loaded = [] {
    Q_INIT_RESOURCE(art);
    return true;
  }();
  (void)loaded;
}

QIcon ProgramIcon() {
  LoadArt();
  // Every size the artist drew: a tray's 22 pixels, a 48-pixel panel or a 2x screen each
  // get a picture of their own, not one shrunk or blown up from another size.
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/art/echora-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

QPixmap ProgramIconPixmap(qreal devicePixelRatio) {
  return ProgramIcon().pixmap(QSize(32, 32), devicePixelRatio);
}

QPixmap LogoPixmap(QSize size, qreal devicePixelRatio) {
  LoadArt();
  QPixmap logo(size * devicePixelRatio);
  logo.fill(Qt::transparent);
  QPainter painter(&logo);
  QSvgRenderer(QStringLiteral(":/art/echora-logo.svg")).render(&painter);
  painter.end();
  logo.setDevicePixelRatio(devicePixelRatio);
  return logo;
}
