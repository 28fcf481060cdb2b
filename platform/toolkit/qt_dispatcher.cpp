#include "platform/toolkit/qt_dispatcher.h"

#include <QMetaObject>
#include <QThread>

void QtDispatcher::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(&receiver_, std::move(call), Qt::QueuedConnection);
}

bool QtDispatcher::OnGuiThread() const {
  return QThread::currentThread() == receiver_.thread();
}
