#pragma once

#include <QPoint>
#include <optional>

// The top-left corner a window keeps while its height changes. sway centres a floating
// window anew on every size change it is asked for, so the window asks to be put back.
// The corner is held from the size change until the window, asked back, is seen there with
// its new height (the toolkit's own resize puts it there at once, before the window manager
// has moved anything): a move sway makes on the way, or one seen with the old height,
// neither ends the hold nor becomes the corner that the next change keeps, however late
// the window hears of the moves.
class KeptPlace {
 public:
  // The corner a change of height starts from: the one still held from an unfinished
  // change, if any, else where the window is seen.
  QPoint From(QPoint seen) const { return place_.value_or(seen); }
  // A change to `height` begins, the window to stay at `place`.
  void Hold(QPoint place, int height) {
    place_ = place;
    height_ = height;
    asked_ = false;
  }
  // The window is seen at `at`, `height` high: where to ask it to go, when the change is
  // done and the window is elsewhere.
  std::optional<QPoint> Seen(QPoint at, int height);
  // The user moves the window, or it could not be put back: nothing is held any more.
  void Release() { place_.reset(); }

 private:
  std::optional<QPoint> place_;
  int height_ = 0;
  bool asked_ = false;
};
