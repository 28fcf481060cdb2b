#include "platform/shell/utility_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <mutex>
#include <unordered_map>

namespace {

// A message queued by PostMessageA, on its way to the window's method.
class PostedMessage final : public QEvent {
 public:
  PostedMessage(UINT msg, WPARAM wParam, LPARAM lParam)
      : QEvent(Type()), msg_(msg), wParam_(wParam), lParam_(lParam) {}

  static QEvent::Type Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }

  const UINT msg_;
  const WPARAM wParam_;
  const LPARAM lParam_;
};

// The live windows by handle. Guarded because PostMessageA may come from any thread while
// the GUI thread makes and destroys windows.
std::mutex registryMutex;
std::unordered_map<HWND, UtilityWindow*> registry;
// Handles are numbers handed out once, so that a stale handle never names a newer window.
std::uintptr_t lastHandle = 0;

HWND Register(UtilityWindow* window) {
  std::lock_guard lock(registryMutex);
  const auto handle = reinterpret_cast<HWND>(++lastHandle);
  registry.emplace(handle, window);
  return handle;
}

}  // namespace

UtilityWindow::UtilityWindow(TWndMethod method, bool visible, QObject* parent)
    : QObject(parent), handle_(Register(this)), method_(std::move(method)), visible_(visible) {}

UtilityWindow::~UtilityWindow() {
  std::lock_guard lock(registryMutex);
  registry.erase(handle_);
}

UtilityWindow* UtilityWindow::Find(HWND handle) {
  std::lock_guard lock(registryMutex);
  const auto found = registry.find(handle);
  return found == registry.end() ? nullptr : found->second;
}

bool UtilityWindow::Post(HWND handle, UINT msg, WPARAM wParam, LPARAM lParam) {
  // Posting under the lock keeps the window alive until the event is queued; its
  // destruction then removes the event from Qt's queue.
  std::lock_guard lock(registryMutex);
  const auto found = registry.find(handle);
  if (found == registry.end()) return false;
  QCoreApplication::postEvent(found->second, new PostedMessage(msg, wParam, lParam));
  return true;
}

bool UtilityWindow::event(QEvent* event) {
  if (event->type() != PostedMessage::Type()) return QObject::event(event);
  const auto* posted = static_cast<PostedMessage*>(event);
  TMessage message{posted->msg_, posted->wParam_, posted->lParam_, 0};
  // A copy, because the method may destroy this window (its component going away).
  const TWndMethod method = method_;
  method(message);
  return true;
}

HWND AllocateHWnd(TWndMethod Method) {
  return (new UtilityWindow(std::move(Method), false))->Handle();
}

void DeallocateHWnd(HWND Wnd) {
  delete UtilityWindow::Find(Wnd);
}

HWND ApplicationHandle() {
  static QPointer<UtilityWindow> window;
  if (!window) {
    window = new UtilityWindow(
        [](TMessage& message) {
          message.Result =
              DefWindowProcA(ApplicationHandle(), message.Msg, message.WParam, message.LParam);
        },
        true, QCoreApplication::instance());
  }
  return window->Handle();
}
