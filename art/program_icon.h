// The program's artwork: one icon for the window, the panel, the About dialog and the
// notification area, and the logo of the About dialog.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

QIcon ProgramIcon();
QPixmap ProgramIconPixmap();  // 32 x 32
// The logo drawn to fill `size` (logical pixels) at `devicePixelRatio`, sharp at any scale.
QPixmap LogoPixmap(QSize size, qreal devicePixelRatio);
