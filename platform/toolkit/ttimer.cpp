#include "platform/toolkit/ttimer.h"

TTimer::TTimer(QObject* parent) : QObject(parent) {
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, &TTimer::Tick);
}

void TTimer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Restart();
}

void TTimer::SetInterval(int milliseconds) {
  timer_.setInterval(milliseconds);
  Restart();
}

void TTimer::Restart() {
  timer_.stop();
  if (enabled_ && timer_.interval() > 0) timer_.start();
}

void TTimer::Tick() {
  if (OnTimer) OnTimer(this);
}
