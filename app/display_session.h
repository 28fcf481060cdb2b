// Which display platform the desktop program runs on. Centring the window, moving it by
// its own drag and keeping it off the taskbar need X11; a Wayland compositor allows none
// of them. So in a Wayland session with an X display (XWayland) the program asks Qt for
// X11 first, unless the user has chosen a platform.
#pragma once

#include <optional>
#include <string>

struct SessionEnvironment {
  const char* qtPlatform;      // QT_QPA_PLATFORM: the user's choice
  const char* x11Display;      // DISPLAY
  const char* waylandDisplay;  // WAYLAND_DISPLAY
  const char* sessionType;     // XDG_SESSION_TYPE
};

SessionEnvironment CurrentSessionEnvironment();

// The value to give QT_QPA_PLATFORM, or nothing to leave Qt's own choice.
std::optional<std::string> PreferredPlatform(const SessionEnvironment& environment);

// Sets QT_QPA_PLATFORM as PreferredPlatform says, before the application object exists.
void ChooseDisplayPlatform();

// One line for standard error when the program runs on Wayland itself.
extern const char* const kWaylandLimits;
