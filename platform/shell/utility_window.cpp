#include "platform/shell/utility_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <utility>

#include "platform/handle_table.h"

namespace {

// A message queued by PostMessageA, on its way to the window's method.
class PostedMessage final : public QEvent {
 public:
  PostedMessage(UINT msg, WPARAM wParam, LPARAM lParam, std::optional<POINT> pointer)
      : QEvent(Type()), msg_(msg), wParam_(wParam), lParam_(lParam), pointer_(pointer) {}

  static QEvent::Type Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }

  const UINT msg_;
  const WPARAM wParam_;
  const LPARAM lParam_;
  const std::optional<POINT> pointer_;
};

// The pointer of the message being handled; a handler that processes messages nests.
std::optional<POINT> handledPointer;

// The live windows by handle. PostMessageA may come from any thread while the GUI thread
// makes and destroys windows.
using WindowTable = HandleTable<UtilityWindow*>;

WindowTable& Windows() {
  static WindowTable table;
  return table;
}

WindowTable::Number Number(HWND handle) {
  return reinterpret_cast<WindowTable::Number>(handle);
}

}  // namespace

UtilityWindow::UtilityWindow(TWndMethod method, bool visible, QObject* parent)
    : QObject(parent),
      handle_(reinterpret_cast<HWND>(Windows().Add(this))),
      method_(std::move(method)),
      visible_(visible) {}

UtilityWindow::~UtilityWindow() {
  Windows().Take(Number(handle_));
}

UtilityWindow* UtilityWindow::Find(HWND handle) {
  UtilityWindow* found = nullptr;
  Windows().With(Number(handle), [&](UtilityWindow* window) { found = window; });
  return found;
}

bool UtilityWindow::Post(HWND handle, UINT msg, WPARAM wParam, LPARAM lParam,
                         std::optional<POINT> pointer) {
  // Posting under the table's lock keeps the window alive until the event is queued; its
  // destruction then removes the event from Qt's queue.
  return Windows().With(Number(handle), [&](UtilityWindow* window) {
    QCoreApplication::postEvent(window, new PostedMessage(msg, wParam, lParam, pointer));
  });
}

bool UtilityWindow::event(QEvent* event) {
  if (event->type() != PostedMessage::Type()) return QObject::event(event);
  const auto* posted = static_cast<PostedMessage*>(event);
  TMessage message{posted->msg_, posted->wParam_, posted->lParam_, 0};
  // A copy, because the method may destroy this window (its component going away).
  const TWndMethod method = method_;
  const std::optional<POINT> outer = std::exchange(handledPointer, posted->pointer_);
  method(message);
  handledPointer = outer;
  return true;
}

std::optional<POINT> UtilityWindow::HandledMessagePointer() {
  return handledPointer;
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
