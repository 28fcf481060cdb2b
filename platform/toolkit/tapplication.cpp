#include "platform/toolkit/tapplication.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QShortcut>
#include <QWidget>
#include <vector>

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
// but the notification-area icon, which stays usable as the shell's icons do. Qt's own
// application modality would block the icon too, so it is not used.
bool TakesPartInModality(const QWidget* window, const QWidget* form) {
  return window != form && window->isVisible() && window->isEnabled() &&
         (window->windowType() == Qt::Window || window->windowType() == Qt::Dialog) &&
         !window->inherits("QSystemTrayIconSys");
}

// Shows `form` with the program's other windows disabled and returns once it is hidden or
// destroyed, or the application quits; then enables again what it disabled.
void RunModal(QWidget* form) {
  std::vector<QPointer<QWidget>> disabled;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!TakesPartInModality(window, form)) continue;
    window->setEnabled(false);
    disabled.emplace_back(window);
  }
  QEventLoop loop;
  HideWatcher watcher(loop);
  form->installEventFilter(&watcher);
  QObject::connect(form, &QObject::destroyed, &loop, &QEventLoop::quit);
  const QPointer<QWidget> alive(form);
  form->show();
  form->raise();
  form->activateWindow();
  loop.exec(QEventLoop::DialogExec);
  if (alive) {
    form->removeEventFilter(&watcher);
    form->hide();
  }
  for (const QPointer<QWidget>& window : disabled) {
    if (window) window->setEnabled(true);
  }
}

void ShowBox(QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, ShownText(text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  // Ctrl+C copies the text, as the shell's own message boxes do, so that an error can be
  // passed on word for word.
  QShortcut copy(QKeySequence::Copy, &box);
  QObject::connect(&copy, &QShortcut::activated, &box,
                   [&box] { QGuiApplication::clipboard()->setText(box.text()); });
  RunModal(&box);
}
}  // namespace

TApplication::TApplication() {
  Q_ASSERT(QApplication::instance() && !current);
  current = this;
  SetGuiDispatcher(&dispatcher_);
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
  ShowBox(QMessageBox::NoIcon, title_, text);
}

void TApplication::ShowModal(QWidget* form) {
  if (form->isVisible()) {
    ShowBox(QMessageBox::Critical, title_, QStringLiteral("Cannot make a visible window modal"));
    return;
  }
  RunModal(form);
}

TApplication* Application() {
  return current;
}
