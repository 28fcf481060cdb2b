// Keeps a window off the taskbar and the pager on X11 desktops, through the window
// manager's _NET_WM_STATE hints; elsewhere it does nothing.
#pragma once

class QWidget;

// Call on every showing: window managers drop the hints when a window is hidden.
void KeepOffTaskbar(QWidget* window);
