// sway's own request for placing a window. sway centres a floating X11 window again on
// every size change it is asked for, and ignores a window that moves itself; its IPC socket
// (SWAYSOCK, set in every sway session) still takes a command to place a window, by its X11
// id. Elsewhere there is no such socket and nothing is done.
//
// GUI thread; the command waits for sway's answer for a moment at most.
#pragma once

#include <QPoint>
#include <QString>
#include <cstdint>

// The command that places the X11 window `window` with its top-left corner at `topLeft`.
QString SwayPlaceCommand(std::uint32_t window, QPoint topLeft);

// Asks the sway of this session, if the program runs under one, to place the window; true
// when sway said it did.
bool SwayPlaceWindow(std::uint32_t window, QPoint topLeft);
