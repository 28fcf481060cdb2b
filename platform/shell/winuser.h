// The window-manager calls the tray icon and the start-up sequence make by their classic
// names: posting a message to a window, a window's default handling, the pointer position,
// the foreground window and hiding a window. The windows they name are the utility windows
// of utility_window.h; this platform has no other kind of window handle.
//
// All of them are for the GUI thread, except PostMessageA, which any thread may call.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// A window handle is an opaque token that is looked up, never dereferenced: a stale or
// made-up handle is answered like an invalid window.
struct HWND__;
using HWND = HWND__*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

struct POINT {
  LONG x;
  LONG y;
};

// The start of the range of message numbers that a program defines for its own windows.
constexpr UINT WM_USER = 0x0400;

// The mouse messages the notification area reports for an icon.
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MBUTTONUP = 0x0208;

constexpr int SW_HIDE = 0;

// Queues the message for the window; it is handled once the GUI thread's event loop (or a
// processing of pending messages) gets to it, after the messages posted before it. FALSE
// when the window does not exist. Messages still queued when the window goes are dropped.
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// The handling a utility window gives to a message it has no use for: none, with result 0.
LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// The mouse pointer's position now, in screen coordinates. FALSE for a null pointer. While
// a message that the notification area posted with the host's position of a click is being
// handled, that position: the pointer is then over a panel that this program may be unable
// to see (another Wayland client, under XWayland).
BOOL GetCursorPos(POINT* lpPoint);

// Brings the program to the foreground when given the application's window
// (ApplicationHandle): its active window, or else its first visible top-level window, is
// activated if there is one. Any other utility window is never shown and cannot come to the
// foreground: FALSE.
BOOL SetForegroundWindow(HWND hWnd);

// Sets a utility window's caption (UTF-8); FALSE for a stale handle or a null text. The
// application's window carries the application's title, which the notification area shows
// as its icons' title where the tray host asks for one.
BOOL SetWindowTextA(HWND hWnd, const char* lpString);

// Shows or hides a utility window (SW_HIDE hides; any other command shows) and returns
// whether it was visible before. Only the application's window starts out visible. On this
// platform a utility window has no picture and no taskbar button, so visibility is a
// recorded state that nothing draws: the taskbar button belongs to the main window itself.
BOOL ShowWindow(HWND hWnd, int nCmdShow);
