// Runs the notification area's D-Bus tests inside a QApplication on a session bus of their
// own: a private dbus-daemon, started before Qt first looks for the bus and ended with the
// program. Test discovery starts this program too, so it picks the offscreen platform itself.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QProcess>
#include <cstdio>

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QProcess daemon;
  daemon.start("dbus-daemon", {"--session", "--fork", "--print-address=1", "--print-pid=1",
                               "--address=unix:tmpdir=/tmp"});
  if (!daemon.waitForFinished(10000) || daemon.exitCode() != 0) {
    std::fprintf(stderr, "the private session bus did not start\n");
    return 1;
  }
  const QList<QByteArray> lines = daemon.readAllStandardOutput().trimmed().split('\n');
  if (lines.size() < 2) return 1;
  qputenv("DBUS_SESSION_BUS_ADDRESS", lines[0].trimmed());
  const pid_t busPid = lines[1].trimmed().toInt();
  int status = 0;
  {
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    status = RUN_ALL_TESTS();
  }
  kill(busPid, SIGTERM);
  return status;
}
