// The X server, for the few window-manager conversations Qt has no call for (taskbar hints,
// the system tray's selection). GUI thread.
#pragma once

#include <xcb/xcb.h>

// The application's connection to the X server; none off X11. (The offscreen platform
// answers as an X11 application too, with no connection.)
xcb_connection_t* X11Connection();

// The atom of `name`, XCB_ATOM_NONE if the server gives none.
xcb_atom_t X11Atom(xcb_connection_t* connection, const char* name);
