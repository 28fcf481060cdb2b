#include "platform/shell/notification_area.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStyleHints>
#include <QTimer>
#include <chrono>
#include <cstring>

#include "platform/shell/tray_hosts.h"
#include "platform/shell/utility_window.h"

NotificationArea& NotificationArea::Instance() {
  static QPointer<NotificationArea> area;
  if (!area) area = new NotificationArea(QCoreApplication::instance());
  return *area;
}

NotificationArea::NotificationArea(QObject* parent) : QObject(parent) {
  clock_.start();
  connect(&TrayHosts::Instance(), &TrayHosts::Changed, this, [this] {
    for (auto& [key, entry] : icons_) Place(key, entry);
  });
}

BOOL NotificationArea::Notify(DWORD message, const NOTIFYICONDATAA& data) {
  const IconKey key{data.hWnd, data.uID};
  const auto found = icons_.find(key);
  switch (message) {
    case NIM_ADD: {
      if (found != icons_.end()) return FALSE;
      const std::chrono::milliseconds doubleClickTime(
          QGuiApplication::styleHints()->mouseDoubleClickInterval());
      Entry& entry = icons_.try_emplace(key, doubleClickTime).first->second;
      Apply(entry, data);
      Place(key, entry);
      return TRUE;
    }
    case NIM_MODIFY:
      if (found == icons_.end()) return FALSE;
      Apply(found->second, data);
      return TRUE;
    case NIM_DELETE:
      if (found == icons_.end()) return FALSE;
      icons_.erase(found);
      return TRUE;
    default:
      return FALSE;
  }
}

void NotificationArea::SetMenu(HWND window, UINT id, TPopupMenu* menu) {
  const IconKey key{window, id};
  menus_[key] = menu;
  if (const auto found = icons_.find(key); found != icons_.end() && found->second.item) {
    found->second.item->SetMenu(menu);
  }
}

void NotificationArea::Apply(Entry& entry, const NOTIFYICONDATAA& data) {
  if (data.uFlags & NIF_MESSAGE) entry.callbackMessage = data.uCallbackMessage;
  if (data.uFlags & NIF_TIP) {
    entry.toolTip = QString::fromUtf8(
        data.szTip, static_cast<qsizetype>(strnlen(data.szTip, sizeof data.szTip)));
  }
  if (data.uFlags & NIF_ICON) entry.picture = data.hIcon ? *data.hIcon : QIcon();
  ShowInTray(entry);
}

void NotificationArea::ShowInTray(Entry& entry) {
  if (entry.xembed) {
    entry.xembed->setToolTip(entry.toolTip);
    entry.xembed->setIcon(entry.picture);
    // A tray host would draw an empty icon as a blank, or complain about it.
    entry.xembed->setVisible(!entry.picture.isNull());
  }
  if (entry.item) {
    entry.item->SetToolTip(entry.toolTip);
    entry.item->SetIcon(entry.picture);
  }
}

void NotificationArea::Place(const IconKey& key, Entry& entry) {
  switch (TrayHosts::Instance().Current()) {
    case TrayHosts::Kind::StatusNotifier:
      entry.xembed.reset();
      if (entry.item) return;
      entry.item = std::make_unique<StatusNotifierItem>(this);
      entry.item->OnActivated = [this, key](QSystemTrayIcon::ActivationReason reason,
                                            QPoint position) { Activated(key, reason, position); };
      if (const auto menu = menus_.find(key); menu != menus_.end()) {
        entry.item->SetMenu(menu->second);
      }
      break;
    case TrayHosts::Kind::XEmbed:
      entry.item.reset();
      if (entry.xembed) return;
      entry.xembed = std::make_unique<QSystemTrayIcon>(this);
      connect(entry.xembed.get(), &QSystemTrayIcon::activated, this,
              [this, key](QSystemTrayIcon::ActivationReason reason) {
                Activated(key, reason, std::nullopt);
              });
      break;
    case TrayHosts::Kind::None:
      entry.item.reset();
      entry.xembed.reset();
      return;
  }
  ShowInTray(entry);
}

void NotificationArea::Activated(const IconKey& key, QSystemTrayIcon::ActivationReason reason,
                                 std::optional<QPoint> position) {
  Entry& entry = icons_.at(key);
  const std::chrono::milliseconds now(clock_.elapsed());
  const std::vector<UINT> messages = entry.clicks.Translate(reason, now);
  if (!entry.callbackMessage) return;
  const HWND window = key.first;
  const UINT message = *entry.callbackMessage;
  const auto id = key.second;
  for (const UINT mouseMessage : messages) {
    if (mouseMessage == WM_RBUTTONUP && position) {
      // The host says where the click was: over a panel this program may not see, so the
      // pointer position it would read could be anywhere.
      UtilityWindow::Post(window, message, id, static_cast<LPARAM>(mouseMessage),
                          POINT{position->x(), position->y()});
    } else if (mouseMessage == WM_RBUTTONUP) {
      PostOnRightButtonRelease(window, message, id);
    } else {
      PostMessageA(window, message, id, static_cast<LPARAM>(mouseMessage));
    }
  }
}

void NotificationArea::PostOnRightButtonRelease(HWND window, UINT message, WPARAM id) {
  // Tray hosts report a right click as the button goes down, the shell as it comes up.
  // A menu opened on the press would take the release as a choice of whatever item is
  // under the pointer, so the message waits for the release (a few seconds at most).
  if (!(QGuiApplication::mouseButtons() & Qt::RightButton)) {
    PostMessageA(window, message, id, static_cast<LPARAM>(WM_RBUTTONUP));
    return;
  }
  auto* timer = new QTimer(this);
  auto waited = std::make_shared<int>(0);
  connect(timer, &QTimer::timeout, this, [timer, waited, window, message, id] {
    if ((QGuiApplication::mouseButtons() & Qt::RightButton) && ++*waited < 500) return;
    timer->deleteLater();
    timer->stop();
    PostMessageA(window, message, id, static_cast<LPARAM>(WM_RBUTTONUP));
  });
  timer->start(10);
}
