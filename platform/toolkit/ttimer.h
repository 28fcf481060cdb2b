// TTimer: calls OnTimer every Interval milliseconds while it is enabled.
#pragma once

#include <QObject>
#include <QTimer>

#include "platform/notify_event.h"

class TTimer : public QObject {
  Q_OBJECT

 public:
  // Created disabled, with an interval of 1000 ms.
  explicit TTimer(QObject* parent = nullptr);

  bool Enabled() const { return enabled_; }
  // Enabling starts a full interval from now; disabling drops a tick not yet delivered.
  void SetEnabled(bool enabled);
  int Interval() const { return timer_.interval(); }
  // A new interval while enabled starts again from now; 0 stops the ticks.
  void SetInterval(int milliseconds);

  NotifyEvent OnTimer;

 private:
  void Restart();
  void Tick();

  QTimer timer_;
  bool enabled_ = false;
};
