#include "platform/toolkit/tapplication.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QShortcut>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <vector>

#include "platform/toolkit/accessibility.h"

namespace {
TApplication* current = nullptr;

// Ends a modal loop when its window is hidden: closing, accepting and rejecting all hide.
// Minimising hides it too, spontaneously, and must not end the showing.
class HideWatcher : public QObject {
 public:
  explicit HideWatcher(QEventLoop& loop) : loop_(loop) {}

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Hide && !event->spontaneous()) loop_.quit();
    return false;
  }

 private:
  QEventLoop& loop_;
};

// The program's texts break lines with a single carriage return.
QString ShownText(QString text) {
  return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
}

// The windows a modal showing disables: every other visible, enabled window of the program
// (the borderless main window is a tool window where a notification area keeps it off the
// taskbar) but the notification-area icon, which stays usable as the shell's icons do.
// Qt's own application modality would block the icon too, so it is not used.
bool TakesPartInModality(const QWidget* window, const QWidget* form) {
  const Qt::WindowType type = window->windowType();
  return window != form && window->isVisible() && window->isEnabled() &&
         (type == Qt::Window || type == Qt::Dialog || type == Qt::Tool) &&
         !window->inherits("QSystemTrayIconSys");
}

// A dialog of the main window: the window manager keeps it above that window, minimises
// and restores it with it, and offers no minimise or maximise of its own.
void MakeDialogOf(QWidget* form, QWidget* main) {
  const Qt::WindowFlags dialog = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
  if (form->windowFlags() != dialog) form->setWindowFlags(dialog);
  // The parent is set on the native window only: a widget parent would pass the main
  // window's disabling on to the very form it was disabled for.
  // A hidden main window leaves the form standing alone.
  if (main && main != form) {
    form->winId();
    form->windowHandle()->setTransientParent(main->isVisible() ? main->windowHandle() : nullptr);
  }
}

void Restore(QWidget* form) {
  if (form->isMinimized()) form->showNormal();
  form->raise();
  form->activateWindow();
}

void ShowBox(TApplication& application, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, application.Title(), ShownText(text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  // Ctrl+C copies the text, as the shell's own message boxes do, so that an error can be
  // passed on word for word.
  QShortcut copy(QKeySequence::Copy, &box);
  QObject::connect(&copy, &QShortcut::activated, &box,
                   [&box] { QGuiApplication::clipboard()->setText(box.text()); });
  application.ShowModal(&box);
}
}  // namespace

TApplication::TApplication() {
  Q_ASSERT(QApplication::instance() && !current);
  current = this;
  SetGuiDispatcher(&dispatcher_);
  InstallToolkitAccessibility();
}

TApplication::~TApplication() {
  if (GuiDispatcher() == &dispatcher_) SetGuiDispatcher(nullptr);
  current = nullptr;
}

void TApplication::ProcessMessages() {
  QApplication::processEvents();
  if (auto* queue = dynamic_cast<QueueDispatcher*>(GuiDispatcher())) queue->Pump();
}

void TApplication::MessageBox(const QString& text) {
  ShowBox(*this, QMessageBox::NoIcon, text);
}

void TApplication::ShowModal(QWidget* form) {
  if (form->isVisible()) {
    const bool showing = std::find(modal_.begin(), modal_.end(), form) != modal_.end();
    if (showing && form->isMinimized()) {
      Restore(form);
    } else {
      ShowBox(*this, QMessageBox::Critical, QStringLiteral("Cannot make a visible window modal"));
    }
    return;
  }
  RunModal(form);
}

void TApplication::BringModalToFront() {
  std::erase_if(modal_, [](const QPointer<QWidget>& shown) { return shown.isNull(); });
  if (!modal_.empty()) Restore(modal_.back());
}

// Shows `form` with the program's other windows disabled and returns once it is hidden or
// destroyed, or the application quits; then enables again what it disabled.
void TApplication::RunModal(QWidget* form) {
  std::vector<QPointer<QWidget>> disabled;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!TakesPartInModality(window, form)) continue;
    window->setEnabled(false);
    disabled.emplace_back(window);
  }
  MakeDialogOf(form, mainForm_);
  QEventLoop loop;
  HideWatcher watcher(loop);
  form->installEventFilter(&watcher);
  QObject::connect(form, &QObject::destroyed, &loop, &QEventLoop::quit);
  const QPointer<QWidget> alive(form);
  modal_.push_back(alive);
  form->show();
  form->raise();
  form->activateWindow();
  loop.exec(QEventLoop::DialogExec);
  std::erase_if(modal_, [&](const QPointer<QWidget>& shown) { return shown == alive; });
  if (alive) {
    form->removeEventFilter(&watcher);
    form->hide();
  }
  for (const QPointer<QWidget>& window : disabled) {
    if (window) window->setEnabled(true);
  }
  // The focus goes back to the program, not to whatever the window manager picks: a
  // keyboard user goes on where they were.
  if (mainForm_ && mainForm_->isVisible() && modal_.empty()) mainForm_->activateWindow();
}

TApplication* Application() {
  return current;
}
