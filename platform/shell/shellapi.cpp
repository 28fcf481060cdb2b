#include "platform/shell/shellapi.h"

#include "platform/shell/notification_area.h"

namespace {

ShellNotifyIconHandler& ReplacedHandler() {
  static ShellNotifyIconHandler handler;
  return handler;
}

}  // namespace

BOOL Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData) {
  if (ReplacedHandler()) return ReplacedHandler()(dwMessage, lpData);
  if (!lpData || lpData->cbSize != NOTIFYICONDATAA_V1_SIZE) return FALSE;
  return NotificationArea::Instance().Notify(dwMessage, *lpData);
}

void Shell_NotifyIconMenu(HWND hWnd, UINT uID, TPopupMenu* menu) {
  NotificationArea::Instance().SetMenu(hWnd, uID, menu);
}

void SetShellNotifyIconHandler(ShellNotifyIconHandler handler) {
  ReplacedHandler() = std::move(handler);
}
