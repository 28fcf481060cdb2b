// Colours by their toolkit names, as 0x00BBGGRR values; the system colours are indexes into
// the desktop's palette, flagged by the top byte, and resolved by the window.
#pragma once

#include <cstdint>

using TColor = std::int32_t;

constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clWindowText = static_cast<TColor>(0xFF000008);
constexpr TColor clGrayText = static_cast<TColor>(0xFF000011);
