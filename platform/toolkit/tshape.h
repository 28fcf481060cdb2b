// TShape: a rectangle filled with a brush colour and outlined in black, the window's LEDs.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "platform/colors.h"

class TShape : public QWidget {
  Q_OBJECT

 public:
  explicit TShape(QWidget* parent = nullptr);

  TColor BrushColor() const { return brushColor_; }
  // Repaints with the new colour; system colours follow the widget's palette.
  void SetBrushColor(TColor color);

  // What the shape shows, in words, for assistive technologies ("on", "off"); none: nothing.
  std::function<QString()> StateText;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TColor brushColor_ = clWhite;
};
