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
  QIcon icon(":/art/echora-32.png");
  icon.addFile(":/art/echora-256.png");
  return icon;
}

QPixmap ProgramIconPixmap() {
  LoadArt();
  return QPixmap(":/art/echora-32.png");
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
