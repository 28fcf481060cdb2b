// What Shell_NotifyIconA does when no test has replaced it: one Qt system tray icon per
// window and ID, whose activations are posted to that window as the record's callback
// message. It needs no tray host to be running; without one the icons are simply not seen.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSystemTrayIcon>
#include <map>
#include <optional>
#include <utility>

#include "platform/shell/click_translator.h"
#include "platform/shell/shellapi.h"

class NotificationArea final : public QObject {
 public:
  // The application's notification area, made on first use; it lives, with its icons, as
  // long as the QApplication.
  static NotificationArea& Instance();

  // Serves one Shell_NotifyIconA call whose record has been checked.
  BOOL Notify(DWORD message, const NOTIFYICONDATAA& data);

 private:
  using IconKey = std::pair<HWND, UINT>;
  struct Entry {
    QSystemTrayIcon* icon;                // a child of the area
    std::optional<UINT> callbackMessage;  // none until a record sets NIF_MESSAGE
    ClickTranslator clicks;
  };

  explicit NotificationArea(QObject* parent);

  // Copies the fields that the record's uFlags select into the icon.
  static void Apply(Entry& entry, const NOTIFYICONDATAA& data);
  void Activated(const IconKey& key, QSystemTrayIcon::ActivationReason reason);
  // Posts the right click's WM_RBUTTONUP once the right mouse button is up again.
  void PostOnRightButtonRelease(HWND window, UINT message, WPARAM id);

  std::map<IconKey, Entry> icons_;
  QElapsedTimer clock_;  // the time line of the icons' clicks
};
