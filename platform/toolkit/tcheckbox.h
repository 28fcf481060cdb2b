// TCheckBox: a check box whose OnClick runs on every change of its tick, from a user click
// or from code, and whose tick any thread may read.
#pragma once

#include <QCheckBox>
#include <atomic>

#include "platform/notify_event.h"

class TCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  explicit TCheckBox(QWidget* parent = nullptr);

  // The tick as last set, read without touching the widget. Any thread (the echo thread
  // reads it on every pass).
  bool Checked() const { return checked_.load(); }
  // Runs OnClick, nested, when the tick changes; does nothing otherwise.
  void SetChecked(bool checked) { setChecked(checked); }

  // The tick changed; Checked is already the new tick.
  NotifyEvent OnClick;

 private:
  void TickChanged(bool checked);

  std::atomic<bool> checked_{false};
};
