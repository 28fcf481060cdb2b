#include "platform/toolkit/tapplication.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

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

void ShowBox(QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, ShownText(text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.exec();
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
  const Qt::WindowModality modality = form->windowModality();
  form->setWindowModality(Qt::ApplicationModal);
  QEventLoop loop;
  HideWatcher watcher(loop);
  form->installEventFilter(&watcher);
  QObject::connect(form, &QObject::destroyed, &loop, &QEventLoop::quit);
  QPointer<QWidget> alive(form);
  form->show();
  loop.exec(QEventLoop::DialogExec);
  if (alive) {
    form->removeEventFilter(&watcher);
    form->hide();
    form->setWindowModality(modality);
  }
}

TApplication* Application() {
  return current;
}
