// What the desktop program decides before Qt starts: its own options, and the display
// platform it asks for in each kind of session.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/display_session.h"

namespace {

struct Outcome {
  std::optional<int> status;
  std::string out;
};

Outcome CommandLine(std::vector<const char*> args) {
  args.insert(args.begin(), "echora");
  std::ostringstream out;
  const auto status = HandleCommandLine(static_cast<int>(args.size()), args.data(), out);
  return {status, out.str()};
}

TEST(CommandLine, HelpEndsTheProgramWithTheUsageAndTheOptions) {
  for (const char* flag : {"--help", "-h"}) {
    const Outcome run = CommandLine({"-platform", "xcb", flag});
    EXPECT_EQ(run.status, 0) << flag;
    EXPECT_EQ(run.out.rfind("Usage: echora ", 0), 0u) << run.out;
    for (const char* text : {"--help", "--version", "QT_QPA_PLATFORM", "XWayland"}) {
      EXPECT_NE(run.out.find(text), std::string::npos) << text;
    }
  }
}

TEST(CommandLine, HelpLinesFitAnEightyColumnTerminal) {
  std::istringstream lines(CommandLine({"--help"}).out);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

TEST(CommandLine, VersionEndsTheProgramWithItsNameAndVersion) {
  const Outcome run = CommandLine({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "echora " ECHORA_VERSION "\n");
}

TEST(CommandLine, QtOptionsAndNoOptionsLetTheProgramRun) {
  EXPECT_FALSE(CommandLine({}).status);
  const Outcome qtOptions = CommandLine({"-platform", "wayland", "-style", "Fusion", "--reverse"});
  EXPECT_FALSE(qtOptions.status);
  EXPECT_EQ(qtOptions.out, "");
}

std::optional<std::string> Platform(const char* user, const char* display, const char* wayland,
                                    const char* session) {
  return PreferredPlatform({user, display, wayland, session});
}

TEST(DisplayPlatform, AWaylandSessionWithAnXDisplayRunsOnXWaylandFirst) {
  EXPECT_EQ(Platform(nullptr, ":0", "wayland-0", "wayland"), "xcb;wayland");
  EXPECT_EQ(Platform(nullptr, ":1", "wayland-1", nullptr), "xcb;wayland");
  EXPECT_EQ(Platform("", ":0", nullptr, "wayland"), "xcb;wayland");
}

TEST(DisplayPlatform, TheUsersOwnChoiceWins) {
  EXPECT_EQ(Platform("wayland", ":0", "wayland-0", "wayland"), std::nullopt);
  EXPECT_EQ(Platform("offscreen", ":0", "wayland-0", "wayland"), std::nullopt);
}

TEST(DisplayPlatform, QtChoosesAloneOnX11OrOnWaylandWithoutAnXDisplay) {
  EXPECT_EQ(Platform(nullptr, ":0", nullptr, "x11"), std::nullopt);
  EXPECT_EQ(Platform(nullptr, ":0", "", nullptr), std::nullopt);
  EXPECT_EQ(Platform(nullptr, nullptr, "wayland-0", "wayland"), std::nullopt);
  EXPECT_EQ(Platform(nullptr, "", "wayland-0", "wayland"), std::nullopt);
  EXPECT_EQ(Platform(nullptr, nullptr, nullptr, nullptr), std::nullopt);
}

}  // namespace
