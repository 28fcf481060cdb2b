#include "app/display_session.h"

#include <cstdlib>
#include <string_view>

namespace {

bool Set(const char* value) {
  return value != nullptr && *value != '\0';
}

}  // namespace

const char* const kWaylandLimits =
    "echora: on Wayland the window cannot centre itself or stay off the taskbar, and the "
    "compositor moves it; with an X display and QT_QPA_PLATFORM unset it runs on XWayland";

SessionEnvironment CurrentSessionEnvironment() {
  return {std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"),
          std::getenv("XDG_SESSION_TYPE")};
}

std::optional<std::string> PreferredPlatform(const SessionEnvironment& environment) {
  if (Set(environment.qtPlatform)) return std::nullopt;
  const bool wayland =
      Set(environment.waylandDisplay) ||
      (Set(environment.sessionType) && std::string_view(environment.sessionType) == "wayland");
  if (!wayland || !Set(environment.x11Display)) return std::nullopt;
  // Qt tries the platforms in order: Wayland still serves when the X display cannot be
  // opened.
  return "xcb;wayland";
}

void ChooseDisplayPlatform() {
  if (const auto platform = PreferredPlatform(CurrentSessionEnvironment())) {
    setenv("QT_QPA_PLATFORM", platform->c_str(), 1);
  }
}
