// Turns the window's TColor values into Qt colours.
#pragma once

#include <QColor>
#include <QPalette>

#include "platform/colors.h"

// A plain colour is 0x00BBGGRR; a system colour (clWindowText, clGrayText) takes its value
// from `palette`, so that it follows the desktop's theme.
QColor ToQColor(TColor color, const QPalette& palette);
