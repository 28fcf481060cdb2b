#include "platform/shell/winuser.h"

#include <QApplication>
#include <QCursor>
#include <QWidget>
#include <algorithm>

#include "platform/shell/utility_window.h"

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return UtilityWindow::Post(hWnd, Msg, wParam, lParam) ? TRUE : FALSE;
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}

BOOL GetCursorPos(POINT* lpPoint) {
  if (!lpPoint) return FALSE;
  if (const auto known = UtilityWindow::HandledMessagePointer()) {
    *lpPoint = *known;
    return TRUE;
  }
  const QPoint position = QCursor::pos();
  *lpPoint = {position.x(), position.y()};
  return TRUE;
}

BOOL SetForegroundWindow(HWND hWnd) {
  if (hWnd != ApplicationHandle()) return FALSE;
  QWidget* target = QApplication::activeWindow();
  if (!target) {
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto shown = std::find_if(windows.begin(), windows.end(), [](QWidget* window) {
      return window->isVisible() && window->windowType() != Qt::Popup;
    });
    if (shown != windows.end()) target = *shown;
  }
  if (target) target->activateWindow();
  return TRUE;
}

BOOL SetWindowTextA(HWND hWnd, const char* lpString) {
  UtilityWindow* window = UtilityWindow::Find(hWnd);
  if (!window || !lpString) return FALSE;
  window->SetCaption(QString::fromUtf8(lpString));
  return TRUE;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
  UtilityWindow* window = UtilityWindow::Find(hWnd);
  if (!window) return FALSE;
  const bool wasVisible = window->Visible();
  window->SetVisible(nCmdShow != SW_HIDE);
  return wasVisible ? TRUE : FALSE;
}
