#include "platform/shell/click_translator.h"

#include "platform/shell/winuser.h"

ClickTranslator::ClickTranslator(std::chrono::milliseconds doubleClickTime)
    : doubleClickTime_(doubleClickTime) {}

bool ClickTranslator::Recent(const std::optional<std::chrono::milliseconds>& time,
                             std::chrono::milliseconds now) const {
  return time && now - *time <= doubleClickTime_;
}

std::vector<UINT> ClickTranslator::Translate(QSystemTrayIcon::ActivationReason reason,
                                             std::chrono::milliseconds now) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      if (Recent(firstClick_, now)) {
        // The second press of a double click.
        firstClick_.reset();
        doubleFromClicks_ = now;
        return {WM_LBUTTONDBLCLK, WM_LBUTTONUP};
      }
      firstClick_ = now;
      doubleFromClicks_.reset();
      return {WM_LBUTTONUP};
    case QSystemTrayIcon::DoubleClick: {
      const bool reported = Recent(doubleFromClicks_, now);
      const bool halfReported = Recent(firstClick_, now);
      firstClick_.reset();
      doubleFromClicks_.reset();
      if (reported) return {};
      if (halfReported) return {WM_LBUTTONDBLCLK, WM_LBUTTONUP};
      return {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP};
    }
    case QSystemTrayIcon::Context:
      return {WM_RBUTTONUP};
    case QSystemTrayIcon::MiddleClick:
      return {WM_MBUTTONUP};
    case QSystemTrayIcon::Unknown:
      break;
  }
  return {};
}
