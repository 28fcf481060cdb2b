// The names by which a second launch finds the first: one per display, and valid as a
// name on the session bus.
#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

namespace {

TEST(SingleInstanceNames, EachDisplayHasItsOwnNameThatTheBusAccepts) {
  const QString x11 = SingleInstance::DisplayToken(":90", "wayland-1");
  const QString screen = SingleInstance::DisplayToken(":90.1", nullptr);
  const QString wayland = SingleInstance::DisplayToken("", "wayland-1");
  const QString none = SingleInstance::DisplayToken(nullptr, nullptr);
  EXPECT_EQ(x11, "_90");  // X11 first: that is where the program runs when both are there
  EXPECT_EQ(wayland, "wayland_1");
  const QStringList tokens{x11, screen, wayland, none};
  EXPECT_EQ(QSet<QString>(tokens.begin(), tokens.end()).size(), 4);
  // Elements of letters, digits and underscores, none starting with a digit.
  const QRegularExpression busName("^[A-Za-z_][A-Za-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)+$");
  for (const QString& token : tokens) {
    EXPECT_TRUE(busName.match(SingleInstance::BusName(token)).hasMatch())
        << SingleInstance::BusName(token).toStdString();
    EXPECT_NE(SingleInstance::SocketName(token), SingleInstance::SocketName("_0"));
    EXPECT_TRUE(SingleInstance::SocketName(token).startsWith('/'));  // never Qt's temp folder
  }
  EXPECT_TRUE(
      busName.match(SingleInstance::BusName(SingleInstance::DisplayToken("é:1", ""))).hasMatch());
}

}  // namespace
