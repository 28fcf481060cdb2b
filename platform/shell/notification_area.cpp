#include "platform/shell/notification_area.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QPointer>
#include <QStyleHints>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <memory>

namespace {

// On Wayland an icon needs a StatusNotifierItem host. Without one Qt falls back to its X11
// tray code, which cannot work there and only complains, so the icon is kept but unseen.
bool IconsCanBeShown() {
  return QGuiApplication::platformName() != QLatin1String("wayland") ||
         QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace

NotificationArea& NotificationArea::Instance() {
  static QPointer<NotificationArea> area;
  if (!area) area = new NotificationArea(QCoreApplication::instance());
  return *area;
}

NotificationArea::NotificationArea(QObject* parent) : QObject(parent) {
  clock_.start();
}

BOOL NotificationArea::Notify(DWORD message, const NOTIFYICONDATAA& data) {
  const IconKey key{data.hWnd, data.uID};
  const auto found = icons_.find(key);
  switch (message) {
    case NIM_ADD: {
      if (found != icons_.end()) return FALSE;
      const std::chrono::milliseconds doubleClickTime(
          QGuiApplication::styleHints()->mouseDoubleClickInterval());
      Entry& entry = icons_
                         .emplace(key, Entry{new QSystemTrayIcon(this), std::nullopt,
                                             ClickTranslator(doubleClickTime)})
                         .first->second;
      connect(entry.icon, &QSystemTrayIcon::activated, this,
              [this, key](QSystemTrayIcon::ActivationReason reason) { Activated(key, reason); });
      Apply(entry, data);
      return TRUE;
    }
    case NIM_MODIFY:
      if (found == icons_.end()) return FALSE;
      Apply(found->second, data);
      return TRUE;
    case NIM_DELETE:
      if (found == icons_.end()) return FALSE;
      delete found->second.icon;
      icons_.erase(found);
      return TRUE;
    default:
      return FALSE;
  }
}

void NotificationArea::Apply(Entry& entry, const NOTIFYICONDATAA& data) {
  if (data.uFlags & NIF_MESSAGE) entry.callbackMessage = data.uCallbackMessage;
  if (data.uFlags & NIF_TIP) {
    entry.icon->setToolTip(QString::fromUtf8(
        data.szTip, static_cast<qsizetype>(strnlen(data.szTip, sizeof data.szTip))));
  }
  if (data.uFlags & NIF_ICON) {
    entry.icon->setIcon(data.hIcon ? *data.hIcon : QIcon());
    // A tray host would draw an empty icon as a blank, or complain about it.
    entry.icon->setVisible(!entry.icon->icon().isNull() && IconsCanBeShown());
  }
}

void NotificationArea::Activated(const IconKey& key, QSystemTrayIcon::ActivationReason reason) {
  Entry& entry = icons_.at(key);
  const std::chrono::milliseconds now(clock_.elapsed());
  const std::vector<UINT> messages = entry.clicks.Translate(reason, now);
  if (!entry.callbackMessage) return;
  const HWND window = key.first;
  const UINT message = *entry.callbackMessage;
  const auto id = key.second;
  for (const UINT mouseMessage : messages) {
    if (mouseMessage == WM_RBUTTONUP) {
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
