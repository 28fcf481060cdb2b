// sway's IPC as the window uses it to keep its place: one framed command to the socket
// that SWAYSOCK names, and sway's answer read back.
#include "platform/shell/sway_ipc.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// A sway that answers one command with `answer` and keeps what it was sent.
class FakeSway {
 public:
  explicit FakeSway(std::string answer) : answer_(std::move(answer)) {
    path_ = "/tmp/echora-sway-test-" + std::to_string(getpid());
    unlink(path_.c_str());
    listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 1);
    setenv("SWAYSOCK", path_.c_str(), 1);
    server_ = std::thread([this] { Serve(); });
  }
  ~FakeSway() {
    server_.join();
    close(listener_);
    unlink(path_.c_str());
    unsetenv("SWAYSOCK");
  }
  std::string received;

 private:
  void Serve() {
    const int client = accept(listener_, nullptr, nullptr);
    char header[14];
    if (read(client, header, sizeof header) == sizeof header) {
      std::uint32_t length = 0;
      std::memcpy(&length, header + 6, sizeof length);
      received.assign(header, 6);
      std::string payload(length, '\0');
      std::size_t got = 0;
      while (got < length) {
        const ssize_t n = read(client, payload.data() + got, length - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
      }
      received += " " + payload;
      std::string reply = "i3-ipc";
      const auto replyLength = static_cast<std::uint32_t>(answer_.size());
      const std::uint32_t type = 0;
      reply.append(reinterpret_cast<const char*>(&replyLength), 4);
      reply.append(reinterpret_cast<const char*>(&type), 4);
      reply += answer_;
      (void)!write(client, reply.data(), reply.size());
    }
    close(client);
  }
  std::string answer_;
  std::string path_;
  int listener_;
  std::thread server_;
};

TEST(SwayPlaceWindow, SendsOneFramedCommandAndReadsSwaysAnswer) {
  {
    FakeSway sway(R"([ { "success": true } ])");
    EXPECT_TRUE(SwayPlaceWindow(0x600003, {495, 193}));
    EXPECT_EQ(sway.received, "i3-ipc [id=6291459] move absolute position 495 px 193 px");
  }
  {
    FakeSway sway(R"([ { "success": false, "error": "No matching node." } ])");
    EXPECT_FALSE(SwayPlaceWindow(1, {0, 0}));
  }
}

TEST(SwayPlaceWindow, DoesNothingOutsideSway) {
  unsetenv("SWAYSOCK");
  EXPECT_FALSE(SwayPlaceWindow(1, {0, 0}));
  setenv("SWAYSOCK", "/nonexistent/sway.sock", 1);
  EXPECT_FALSE(SwayPlaceWindow(1, {0, 0}));
  unsetenv("SWAYSOCK");
}

}  // namespace
