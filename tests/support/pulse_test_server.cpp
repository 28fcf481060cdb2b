#include "tests/support/pulse_test_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

PulseTestServer::PulseTestServer() {
  std::string pattern = (std::filesystem::temp_directory_path() / "echora-pulse-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder for the server");
  dir_ = pattern;
  for (const char* sub : {"/run", "/state", "/home"}) std::filesystem::create_directory(dir_ + sub);

  const std::string socket =
      "module-native-protocol-unix auth-anonymous=1 socket=" + dir_ + "/native";
  const std::string in =
      "module-null-sink sink_name=echora_in norewinds=1 "
      "sink_properties=device.description=EchoraIn";
  const std::string out =
      "module-null-sink sink_name=echora_out norewinds=1 "
      "sink_properties=device.description=EchoraOut";
  pid_ = fork();
  if (pid_ == 0) {
    setenv("HOME", (dir_ + "/home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", (dir_ + "/run").c_str(), 1);
    setenv("PULSE_STATE_PATH", (dir_ + "/state").c_str(), 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("DISPLAY");
    unsetenv("PULSE_SERVER");
    const int log = open((dir_ + "/log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
           "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr", "-L", socket.c_str(),
           "-L", in.c_str(), "-L", out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Pactl("info") != 0) {
    if (std::chrono::steady_clock::now() > deadline || waitpid(pid_, nullptr, WNOHANG) != 0) {
      Kill();
      throw std::runtime_error("the test sound server did not start; see " + dir_ + "/log");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

PulseTestServer::~PulseTestServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

int PulseTestServer::Pactl(const std::string& args, std::string* output) const {
  const std::string command = "PULSE_SERVER=" + Address() + " pactl " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  std::array<char, 4096> chunk;
  while (std::fgets(chunk.data(), chunk.size(), pipe)) text += chunk.data();
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool PulseTestServer::UnloadSink(const std::string& sinkName) const {
  std::string modules;
  if (Pactl("list short modules", &modules) != 0) return false;
  const auto at = modules.find("sink_name=" + sinkName + " ");
  if (at == std::string::npos) return false;
  const auto line = modules.rfind('\n', at) + 1;  // 0 for the first line
  return Pactl("unload-module " + modules.substr(line, modules.find('\t', line) - line)) == 0;
}

void PulseTestServer::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}
