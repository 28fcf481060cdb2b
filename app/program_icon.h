// The program's artwork: one icon for the window, the panel, the About dialog and the
// notification area, and the logo of the About dialog.
#pragma once

#include <QIcon>
#include <QPixmap>

QIcon ProgramIcon();
QPixmap ProgramIconPixmap();  // 32 x 32
QPixmap LogoPixmap();
