// The GUI dispatcher of the desktop program: calls posted from any thread run on the GUI
// thread from Qt's event loop, in posting order, also inside modal loops and
// TApplication::ProcessMessages.
#pragma once

#include <QObject>

#include "platform/thread/dispatcher.h"

class QtDispatcher final : public Dispatcher {
 public:
  // Binds to the thread that creates it, which must be the GUI thread.
  QtDispatcher() = default;

  // Any thread. Calls still queued when the dispatcher is destroyed are dropped.
  void Post(std::function<void()> call) override;
  bool OnGuiThread() const override;

 private:
  QObject receiver_;  // lives in the GUI thread, where its queued calls run
};
