// TImage: a picture; with an OnClick it is also a button that the left mouse button, Space,
// Enter and assistive technologies press, and that takes the focus from the keyboard.
#pragma once

#include <QLabel>

#include "platform/notify_event.h"

class TImage : public QLabel {
  Q_OBJECT

 public:
  explicit TImage(QWidget* parent = nullptr);

  // Runs OnClick, as pressing the image does.
  void Click();

  // A press released over the image. Setting it makes the image a button.
  NotifyEvent OnClick;
  void SetOnClick(NotifyEvent handler);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};
