#include "platform/toolkit/tspinedit.h"

#include <QLineEdit>

TSpinEdit::TSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
  // The edit, not the box, is read-only: a read-only box would refuse the buttons too.
  lineEdit()->setReadOnly(true);
  lineEdit()->setText(QString::number(value_));
}

void TSpinEdit::SetValue(int value) {
  value = Clamp(value);
  if (value == value_) return;
  value_ = value;
  lineEdit()->setText(QString::number(value_));
  update();  // the buttons' enabled look follows the value
  if (OnChange) OnChange(this);
}

void TSpinEdit::SetMinValue(int min) {
  min_ = min;
  update();
}

void TSpinEdit::SetMaxValue(int max) {
  max_ = max;
  update();
}

void TSpinEdit::stepBy(int steps) {
  if (OnArrow) OnArrow(this);
  if (steps != 0) SetValue(value_ + (steps > 0 ? 1 : -1));
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
  if (OnArrow) return StepUpEnabled | StepDownEnabled;
  StepEnabled enabled = StepNone;
  if (Clamp(value_ + 1) != value_) enabled |= StepUpEnabled;
  if (Clamp(value_ - 1) != value_) enabled |= StepDownEnabled;
  return enabled;
}

int TSpinEdit::Clamp(int value) const {
  if (value > max_) value = max_;
  if (value < min_) value = min_;
  return value;
}
