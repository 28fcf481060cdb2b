#include "app/command_line.h"

#include <string_view>

namespace {

constexpr const char* kHelp =
    R"(Usage: echora [OPTION]... [QT OPTION]...
Records live stereo sound, rewrites it with a multi-tap echo (equally spaced
repeats with linearly graded weights), a gain of up to 50x and hard clipping,
and plays the result four buffer periods later, until it is switched off. The
window is a borderless strip with a Power button, a preset selector, Advanced
(the echo, setup and debug pages) and Hide; the program lives in the
notification area, where the icon's menu shows the window again or exits.

Options:
  -h, --help       show this text and exit
      --version    show the version and exit

Qt's own options are taken too, such as -platform xcb or -platform wayland.

Environment:
  QT_QPA_PLATFORM  the display platform, as Qt reads it. When it is not set
                   and the Wayland session has an X display, echora runs on
                   X11 through XWayland: only there can it centre its window,
                   move it by itself and keep it off the taskbar. On Wayland
                   alone the compositor moves the window, and it keeps a
                   taskbar entry.
  PULSE_SERVER     the sound server to use instead of the user's own.

Sound comes from the server's sources (monitors of its sinks included) and goes
to its sinks: PulseAudio, or PipeWire's PulseAudio service. echora-cli runs the
same engine on sound files or on devices, without the window.
)";

}  // namespace

std::optional<int> HandleCommandLine(int argc, const char* const* argv, std::ostream& out) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      out << kHelp;
      return 0;
    }
    if (arg == "--version") {
      out << "echora " ECHORA_VERSION "\n";
      return 0;
    }
  }
  return std::nullopt;
}
