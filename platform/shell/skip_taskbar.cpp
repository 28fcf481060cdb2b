#include "platform/shell/skip_taskbar.h"

#include <QWidget>
#include <cstdint>

#include "platform/shell/x11_connection.h"

void KeepOffTaskbar(QWidget* window) {
  xcb_connection_t* connection = X11Connection();
  if (!connection) return;
  const auto id = static_cast<xcb_window_t>(window->winId());
  const xcb_atom_t state = X11Atom(connection, "_NET_WM_STATE");
  const xcb_atom_t hints[] = {X11Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                              X11Atom(connection, "_NET_WM_STATE_SKIP_PAGER")};
  // Read by the window manager when the window is mapped, which follows the show event.
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32, 2, hints);
  xcb_flush(connection);
}

void SetTaskbarEntry(QWidget* window, bool entry) {
  xcb_connection_t* connection = X11Connection();
  if (!connection) return;
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  constexpr std::uint32_t kRemove = 0;
  constexpr std::uint32_t kAdd = 1;
  constexpr std::uint32_t kFromApplication = 1;
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = static_cast<xcb_window_t>(window->winId());
  message.type = X11Atom(connection, "_NET_WM_STATE");
  message.data.data32[0] = entry ? kRemove : kAdd;
  message.data.data32[1] = X11Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
  message.data.data32[2] = X11Atom(connection, "_NET_WM_STATE_SKIP_PAGER");
  message.data.data32[3] = kFromApplication;
  // Sent after the window's map request on the same connection, so the window manager
  // handles it once it manages the window.
  xcb_send_event(connection, 0, screen->root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(connection);
}
