// What the renderer's tests share: a folder of their own, echora-cli run to completion or in
// the background, and inputs made with libsndfile.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/eventually.h"
#include "tests/support/sound_files.h"

struct CliRun {
  int status;
  std::string err;
  std::string out;
};

class RenderRig : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "echora-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    logs_ = dir_ / "logs";
    std::filesystem::create_directories(logs_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Log(const std::string& name) const { return (logs_ / name).string(); }

  // Runs `echora-cli args` through the shell, standard input from /dev/null unless the
  // arguments redirect it.
  CliRun Cli(const std::string& args) const {
    const std::string out = Log("stdout.txt");
    const std::string err = Log("stderr.txt");
    const std::string command =
        std::string(ECHORA_CLI) + " " + args + " >" + out + " 2>" + err + " </dev/null";
    const int raw = std::system(command.c_str());
    return {WEXITSTATUS(raw), Slurp(err), Slurp(out)};
  }

  // Starts echora-cli with `args` and its stderr in `errPath`; returns its pid.
  static pid_t Start(const std::vector<std::string>& args, const std::string& errPath) {
    const pid_t pid = fork();
    if (pid == 0) {
      FILE* err = std::fopen(errPath.c_str(), "w");
      if (err == nullptr) _exit(126);
      dup2(fileno(err), STDERR_FILENO);
      std::vector<char*> argv{const_cast<char*>(ECHORA_CLI)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(ECHORA_CLI, argv.data());
      _exit(127);
    }
    return pid;
  }

  // Waits up to 20 s for `done`; false if it never came.
  // The exit status of `pid`, or -signal when a signal ended it.
  static int Finish(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
  }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::vector<std::int16_t> WriteNoise(const std::string& name, std::int32_t rate,
                                       std::size_t frames,
                                       int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16) const {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> sample(-20000, 20000);
    std::vector<std::int16_t> slots(2 * frames);
    for (auto& s : slots) s = static_cast<std::int16_t>(sample(random));
    WriteTestSound(Path(name), format, rate, 2, slots);
    return slots;
  }

  std::filesystem::path dir_;
  std::filesystem::path logs_;
};
