// TTrackBar: a horizontal slider whose OnChange runs only for the user's moves. Code that
// sets the position or the range never runs it (the window calls its handlers itself where
// it needs them), and the position is always clamped into [Min, Max].
#pragma once

#include <QSlider>
#include <QString>
#include <functional>

#include "platform/notify_event.h"

class TTrackBar : public QSlider {
  Q_OBJECT

 public:
  explicit TTrackBar(QWidget* parent = nullptr);

  int Min() const { return minimum(); }
  int Max() const { return maximum(); }
  int Position() const { return value(); }
  // None of these runs OnChange. A range that leaves the position outside clamps it.
  void SetMin(int min) { setMinimum(min); }
  void SetMax(int max) { setMaximum(max); }
  void SetPosition(int position) { setValue(position); }
  void SetPageSize(int size) { setPageStep(size); }
  // The distance between two tick marks, drawn below the bar.
  void SetFrequency(int frequency) { setTickInterval(frequency); }

  // A move by mouse, keyboard or wheel that changed the position; Position is already the
  // new one and the handler may change the range or position without running again.
  NotifyEvent OnChange;
  // The value as the window shows it, for assistive technologies ("4.50x"); none: the
  // number itself.
  std::function<QString()> ShownValue;
  // The bar received the input focus from the user (click, Tab), not from its window
  // becoming active again or a popup closing.
  NotifyEvent OnEnter;

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void NoteUserAction();
  void RunChangeAfterUserAction();

  // Set between a user action and the value change it causes. QSlider reports the action
  // before the value is stored, when a handler that changes the range would undo the
  // move, so the handler waits for the value.
  bool userMovePending_ = false;
};
