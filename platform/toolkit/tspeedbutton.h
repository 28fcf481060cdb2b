// TSpeedButton: a button that a click never gives the focus; the keyboard reaches it with
// Tab, and Space or Enter clicks it. With a group index it is a two-state button that stays
// down until it is clicked again; with group index 0 it is a push button.
// Each of the window's groups holds one button and allows all up, so a second click
// always releases it.
#pragma once

#include <QToolButton>

#include "platform/notify_event.h"

class TSpeedButton : public QToolButton {
  Q_OBJECT

 public:
  explicit TSpeedButton(QWidget* parent = nullptr);

  void SetGroupIndex(int index);
  // Down is the pressed state of a two-state button; a push button is never down. Setting
  // it runs no OnClick.
  bool Down() const { return isChecked(); }
  void SetDown(bool down) { setChecked(down); }

  // A user click; for a two-state button Down is already the new state.
  NotifyEvent OnClick;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void RunClick();

  int groupIndex_ = 0;
};
