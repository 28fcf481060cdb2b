// Hidden windows whose messages go to a method of an object: the toolkit's utility windows.
// A component that must receive messages (the tray icon's notifications, its own refresh)
// allocates one and names it by its HWND; PostMessageA queues messages for it through Qt's
// event loop, and the window hands each one to the method on the GUI thread.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "platform/shell/winuser.h"

// One message as a window method sees it; Result starts at 0.
struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

using TWndMethod = std::function<void(TMessage& Message)>;

class UtilityWindow final : public QObject {
 public:
  UtilityWindow(TWndMethod method, bool visible, QObject* parent = nullptr);
  // Drops the messages still queued for it; its handle is invalid from here on.
  ~UtilityWindow() override;
  UtilityWindow(const UtilityWindow&) = delete;
  UtilityWindow& operator=(const UtilityWindow&) = delete;

  HWND Handle() const { return handle_; }

  // The live window of a handle, nullptr for a stale or made-up one. GUI thread.
  static UtilityWindow* Find(HWND handle);
  // Queues a message for the window of `handle`; false when there is none. Any thread.
  // A message may carry where the pointer is known to be, for a pointer Qt cannot see
  // (over another program's panel): GetCursorPos reports it while the message is handled.
  static bool Post(HWND handle, UINT msg, WPARAM wParam, LPARAM lParam,
                   std::optional<POINT> pointer = std::nullopt);
  // The pointer position carried by the message being handled now, if it carries one.
  static std::optional<POINT> HandledMessagePointer();

  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  // The window's caption: the application's window carries the application's title.
  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption) { caption_ = caption; }

 protected:
  bool event(QEvent* event) override;

 private:
  const HWND handle_;
  const TWndMethod method_;
  bool visible_;
  QString caption_;
};

// A new hidden window whose messages go to `Method`. Return it with DeallocateHWnd.
HWND AllocateHWnd(TWndMethod Method);
// Destroys a window made by AllocateHWnd; messages still queued for it are dropped. A null
// or stale handle is ignored.
void DeallocateHWnd(HWND Wnd);

// The application's own top-level window, the one that would carry the program's taskbar
// button: a utility window made on first use, visible until hidden, that gives every
// message the default handling. It lives as long as the QApplication.
HWND ApplicationHandle();
