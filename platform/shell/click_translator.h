// Turns the activation reasons of a Qt tray icon into the mouse messages the shell reports
// for an icon, so that every gesture gives the same sequence whichever tray host reports
// it: a click WM_LBUTTONUP; a double click WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP; a
// right click WM_RBUTTONUP; a middle click WM_MBUTTONUP.
//
// Hosts differ in how they report a double click: some send a click for each press and
// then a double click, some a click and then a double click, some only two clicks, some a
// double click alone. The translator remembers the last click to tell these apart.
#pragma once

#include <QSystemTrayIcon>
#include <chrono>
#include <optional>
#include <vector>

#include "platform/wintypes.h"

class ClickTranslator {
 public:
  // Two left clicks no further apart than `doubleClickTime` make a double click.
  explicit ClickTranslator(std::chrono::milliseconds doubleClickTime);

  // The messages for one activation at time `now` (any clock that only moves forward).
  std::vector<UINT> Translate(QSystemTrayIcon::ActivationReason reason,
                              std::chrono::milliseconds now);

 private:
  bool Recent(const std::optional<std::chrono::milliseconds>& time,
              std::chrono::milliseconds now) const;

  const std::chrono::milliseconds doubleClickTime_;
  // The click that may become the first half of a double click.
  std::optional<std::chrono::milliseconds> firstClick_;
  // A double click already reported from two clicks, whose own report is still to come.
  std::optional<std::chrono::milliseconds> doubleFromClicks_;
};
