#include "platform/toolkit/qt_color.h"

namespace {
constexpr std::uint32_t systemFlag = 0xFF000000u;
// The indexes that clWindowText and clGrayText carry in their low byte.
constexpr int windowTextIndex = 0x08;
constexpr int grayTextIndex = 0x11;
}  // namespace

QColor ToQColor(TColor color, const QPalette& palette) {
  const auto bits = static_cast<std::uint32_t>(color);
  if ((bits & systemFlag) == systemFlag) {
    switch (bits & 0xFF) {
      case grayTextIndex:
        return palette.color(QPalette::Disabled, QPalette::WindowText);
      case windowTextIndex:
      default:
        // The window uses no other system colour; text colour is the least surprising.
        return palette.color(QPalette::Active, QPalette::WindowText);
    }
  }
  return QColor(bits & 0xFF, (bits >> 8) & 0xFF, (bits >> 16) & 0xFF);
}
