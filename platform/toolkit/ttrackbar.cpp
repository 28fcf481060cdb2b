#include "platform/toolkit/ttrackbar.h"

#include <QFocusEvent>
#include <QWheelEvent>
#include <utility>

TTrackBar::TTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::TicksBelow);
  connect(this, &QAbstractSlider::actionTriggered, this, &TTrackBar::NoteUserAction);
  connect(this, &QAbstractSlider::valueChanged, this, &TTrackBar::RunChangeAfterUserAction);
}

void TTrackBar::focusInEvent(QFocusEvent* event) {
  QSlider::focusInEvent(event);
  const Qt::FocusReason reason = event->reason();
  if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && OnEnter) {
    OnEnter(this);
  }
}

void TTrackBar::wheelEvent(QWheelEvent* event) {
  // Qt turns a bar under the pointer without focusing it; the wheel here moves only a
  // focused bar, so it is entered first (OnEnter, then OnChange), as by mouse and keys.
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
  QSlider::wheelEvent(event);
}

void TTrackBar::NoteUserAction() {
  // Every user move passes through here with the bounded new position; the value follows
  // only when it differs, so a move against an end leaves nothing pending.
  userMovePending_ = sliderPosition() != value();
}

void TTrackBar::RunChangeAfterUserAction() {
  if (std::exchange(userMovePending_, false) && OnChange) OnChange(this);
}
