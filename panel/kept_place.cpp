#include "panel/kept_place.h"

std::optional<QPoint> KeptPlace::Seen(QPoint at, int height) {
  if (!place_ || height != height_) return std::nullopt;  // still on the way
  if (at == *place_) {
    if (asked_) place_.reset();
    return std::nullopt;
  }
  asked_ = true;
  return place_;
}
