// The shell's notification-area call by its classic name: Shell_NotifyIconA adds, changes
// and removes an icon described by a NOTIFYICONDATAA record, and the icon's mouse activity
// comes back as the record's callback message, posted to the record's window. The icons
// are Qt's system tray icons (notification_area.h); tests put a fake of their own in place
// of the whole call with SetShellNotifyIconHandler.
//
// GUI thread only.
#pragma once

#include <functional>

#include "platform/shell/winuser.h"

class QIcon;

// An icon handle is the address of a picture owned by whoever made the handle (a TIcon);
// the shell copies the picture during the call and keeps no reference.
using HICON = const QIcon*;

constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_MODIFY = 1;
constexpr DWORD NIM_DELETE = 2;

constexpr UINT NIF_MESSAGE = 0x1;
constexpr UINT NIF_ICON = 0x2;
constexpr UINT NIF_TIP = 0x4;

// The first version of the record, whose cbSize is 88 (its size on the 32-bit system it
// was defined for, whatever sizeof says here).
struct NOTIFYICONDATAA {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;               // with hWnd, names the icon
  UINT uFlags;            // which of the next three fields to use: NIF_MESSAGE, NIF_ICON, NIF_TIP
  UINT uCallbackMessage;  // posted to hWnd with wParam = uID, lParam = the mouse message
  HICON hIcon;            // nullptr: no picture
  char szTip[64];         // UTF-8, ending with a zero byte
};
using PNOTIFYICONDATAA = NOTIFYICONDATAA*;

constexpr DWORD NOTIFYICONDATAA_V1_SIZE = 88;

// NIM_ADD puts a new icon in the notification area (FALSE if the window and ID already name
// one), NIM_MODIFY changes the fields uFlags selects, NIM_DELETE removes the icon. FALSE for
// a null record, a cbSize other than 88, an unknown message, or an icon that is not there.
// A left click reaches the callback as WM_LBUTTONUP, a double click as WM_LBUTTONUP,
// WM_LBUTTONDBLCLK, WM_LBUTTONUP, a right click as WM_RBUTTONUP and a middle click as
// WM_MBUTTONUP. An icon without a picture is kept but not shown.
BOOL Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData);

// This platform's addition: the menu of the icon that `hWnd` and `uID` name, for the tray
// hosts that draw an icon's menu themselves (StatusNotifierItem hosts, over D-Bus); a choice
// there runs the item's OnClick as a choice in the menu's own Popup does. Elsewhere the
// right click still comes as WM_RBUTTONUP for the program to pop the menu up. nullptr: no
// menu. The menu may be destroyed first; it is then simply gone.
class TPopupMenu;
void Shell_NotifyIconMenu(HWND hWnd, UINT uID, TPopupMenu* menu);

// Replaces what Shell_NotifyIconA does; an empty handler restores the notification area.
using ShellNotifyIconHandler = std::function<BOOL(DWORD dwMessage, PNOTIFYICONDATAA lpData)>;
void SetShellNotifyIconHandler(ShellNotifyIconHandler handler);
