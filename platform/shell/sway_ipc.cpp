#include "platform/shell/sway_ipc.h"

#include <QByteArray>
#include <QLocalSocket>
#include <QtEndian>
#include <cstdlib>

namespace {

// i3's IPC framing, which sway speaks: a magic string, the payload's length and the
// message type (0: run a command), both 32-bit in the machine's own byte order.
constexpr char kMagic[] = "i3-ipc";
constexpr std::uint32_t kRunCommand = 0;
constexpr int kAnswerTimeoutMs = 500;

QByteArray Frame(const QByteArray& payload) {
  QByteArray frame(kMagic, sizeof kMagic - 1);
  const auto length = static_cast<std::uint32_t>(payload.size());
  frame.append(reinterpret_cast<const char*>(&length), sizeof length);
  frame.append(reinterpret_cast<const char*>(&kRunCommand), sizeof kRunCommand);
  return frame + payload;
}

}  // namespace

QString SwayPlaceCommand(std::uint32_t window, QPoint topLeft) {
  return QStringLiteral("[id=%1] move absolute position %2 px %3 px")
      .arg(window)
      .arg(topLeft.x())
      .arg(topLeft.y());
}

bool SwayPlaceWindow(std::uint32_t window, QPoint topLeft) {
  const char* path = std::getenv("SWAYSOCK");
  if (!path || !*path) return false;
  QLocalSocket sway;
  sway.connectToServer(QString::fromLocal8Bit(path));
  if (!sway.waitForConnected(kAnswerTimeoutMs)) return false;
  sway.write(Frame(SwayPlaceCommand(window, topLeft).toUtf8()));
  if (!sway.waitForBytesWritten(kAnswerTimeoutMs)) return false;
  // The answer: a header, then [{"success": true}] for the one command.
  QByteArray answer;
  while (sway.waitForReadyRead(kAnswerTimeoutMs)) {
    answer += sway.readAll();
    if (answer.contains(']')) break;
  }
  return answer.contains("\"success\": true") || answer.contains("\"success\":true");
}
