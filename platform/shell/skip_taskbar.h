// Keeps a window off the taskbar and the pager on X11 desktops, through the window
// manager's _NET_WM_STATE hints; elsewhere it does nothing.
#pragma once

class QWidget;

// Call on every showing: window managers drop the hints when a window is hidden.
void KeepOffTaskbar(QWidget* window);

// Puts a window that is shown on the taskbar, or takes it off, now: the window manager is
// asked, as it must be once it manages the window (a hint set meanwhile could be dropped
// as it finishes a hiding). Call right after showing it.
void SetTaskbarEntry(QWidget* window, bool entry);
