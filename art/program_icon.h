// The program's artwork: one icon for the window, the panel, the About dialog and the
// notification area, and the logo of the About dialog.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

QIcon ProgramIcon();
// The icon at 32 x 32 logical pixels, drawn from the picture that suits the screen.
QPixmap ProgramIconPixmap(qreal devicePixelRatio);
// The logo drawn to fill `size` (logical pixels) at `devicePixelRatio`, sharp at any scale.
QPixmap LogoPixmap(QSize size, qreal devicePixelRatio);
