// What Shell_NotifyIconA does when no test has replaced it: one icon per window and ID,
// whose clicks are posted to that window as the record's callback message.
//
// Each icon is shown in whatever notification area the desktop offers now (tray_hosts.h):
// as a StatusNotifierItem where a host on the session bus takes one, as Qt's X11 tray icon
// where an XEmbed tray runs, and not at all where there is none. When the desktop changes
// (a panel starts late, crashes, restarts), every icon moves over; the program only sees the
// same messages as before.
#pragma once

#include <QElapsedTimer>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "platform/shell/click_translator.h"
#include "platform/shell/shellapi.h"
#include "platform/shell/status_notifier_item.h"
#include "platform/shell/tpopupmenu.h"

class NotificationArea final : public QObject {
 public:
  // The application's notification area, made on first use; it lives, with its icons, as
  // long as the QApplication.
  static NotificationArea& Instance();

  // Serves one Shell_NotifyIconA call whose record has been checked.
  BOOL Notify(DWORD message, const NOTIFYICONDATAA& data);
  // Serves Shell_NotifyIconMenu.
  void SetMenu(HWND window, UINT id, TPopupMenu* menu);

 private:
  using IconKey = std::pair<HWND, UINT>;
  struct Entry {
    explicit Entry(std::chrono::milliseconds doubleClickTime) : clicks(doubleClickTime) {}
    std::optional<UINT> callbackMessage;  // none until a record sets NIF_MESSAGE
    QIcon picture;
    QString toolTip;
    ClickTranslator clicks;
    // The icon as the desktop's notification area shows it: at most one of the two.
    std::unique_ptr<QSystemTrayIcon> xembed;
    std::unique_ptr<StatusNotifierItem> item;
  };

  explicit NotificationArea(QObject* parent);

  // Copies the fields that the record's uFlags select into the entry and its icon.
  void Apply(Entry& entry, const NOTIFYICONDATAA& data);
  // Shows the entry in the notification area there is now, moving it from another.
  void Place(const IconKey& key, Entry& entry);
  void ShowInTray(Entry& entry);
  void Activated(const IconKey& key, QSystemTrayIcon::ActivationReason reason,
                 std::optional<QPoint> position);
  // Posts the right click's WM_RBUTTONUP once the right mouse button is up again.
  void PostOnRightButtonRelease(HWND window, UINT message, WPARAM id);

  std::map<IconKey, Entry> icons_;
  // Menus by icon, kept apart from the icons: a component names its menu before its icon is
  // added, and keeps it while the icon is removed and added again.
  std::map<IconKey, QPointer<TPopupMenu>> menus_;
  QElapsedTimer clock_;  // the time line of the icons' clicks
};
