// TSpinEdit: a number that only its up and down buttons and the Up and Down keys change, by
// one; nothing can be typed. Every change of Value, from the user or from code, runs
// OnChange at once, nested inside the call that made it, which lets a handler correct the
// value it was called for and be called again before it goes on.
#pragma once

#include <QAbstractSpinBox>
#include <QString>
#include <functional>

#include "platform/notify_event.h"

class TSpinEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  explicit TSpinEdit(QWidget* parent = nullptr);

  // Value is always the number the box shows. Setting it clamps into [MinValue, MaxValue]
  // (MinValue wins when MaxValue is below it, as for a device selector with no device,
  // MaxValue -1, so that a handler moving the value towards the range cannot bounce for
  // ever) and runs OnChange when the shown number changes.
  int Value() const { return value_; }
  void SetValue(int value);

  // Changing the range leaves Value and the text as they are and runs nothing: the next
  // OnChange sees a value above a lowered MaxValue, and the program's handlers clamp it.
  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }
  void SetMinValue(int min);
  void SetMaxValue(int max);

  NotifyEvent OnChange;
  // The value as the window shows it, for assistive technologies ("4.50x"); none: the
  // number itself.
  std::function<QString()> ShownValue;
  // Runs when the user presses an arrow, button or key, before the value moves; the step
  // then moves from whatever Value it left, within the range it left. While it is set, the
  // arrows never go dead at an end: a range that follows something outside the program (the
  // devices plugged in) may have grown since it was set, and it is up to this handler to
  // bring it up to date.
  NotifyEvent OnArrow;

  // Any user step moves by one, whatever Qt asks (Page Up/Down ask for ten).
  void stepBy(int steps) override;

 protected:
  StepEnabled stepEnabled() const override;

 private:
  int Clamp(int value) const;

  int value_ = 0;
  int min_ = 0;
  int max_ = 0;
};
