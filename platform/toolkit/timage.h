// TImage: a picture; with a click handler it is also a button that the left mouse button, Space,
// Enter and assistive technologies press, and that takes the focus from the keyboard.
#pragma once

#include <QLabel>

#include "platform/notify_event.h"

class TImage : public QLabel {
  Q_OBJECT

 public:
  explicit TImage(QWidget* parent = nullptr);

  // Runs the click handler, as pressing the image does.
  void Click();

  // What a press released over the image runs. Setting one makes the image a button, which
  // Tab reaches; none leaves it a picture.
  void SetOnClick(NotifyEvent handler);
  bool Clickable() const { return static_cast<bool>(onClick_); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  NotifyEvent onClick_;
};
