#include "tools/input_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "tools/problem_with.h"

namespace {

// Long enough for a program that is about to write not to be announced as missing.
constexpr std::chrono::milliseconds kQuietWait{250};

// Returns once `fd` has something to read or its writer has gone; says first what it waits
// for if nothing comes within kQuietWait.
void AwaitData(int fd, const std::string& what, std::ostream& notes) {
  pollfd ready{fd, POLLIN, 0};
  int timeout = static_cast<int>(kQuietWait.count());
  for (;;) {
    const int n = poll(&ready, 1, timeout);
    if (n > 0) return;
    if (n < 0 && errno != EINTR) {
      throw SoundFileError(what + ": " + ProblemWith("cannot read it: ", errno));
    }
    if (n == 0 && timeout > 0) {
      notes << "echora-cli: waiting for a program to write to " << what << "\n" << std::flush;
      timeout = -1;
    }
  }
}

}  // namespace

std::unique_ptr<SoundFileReader> OpenInput(const std::string& path, std::ostream& notes) {
  if (path == "-") {
    const std::string what = "standard input";
    if (isatty(STDIN_FILENO)) {
      throw SoundFileError(what + " is a terminal; name an input file, or send one into it");
    }
    // A copy, so that closing the reader leaves standard input itself open.
    const int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) throw SoundFileError(what + ": " + ProblemWith("cannot read it: ", errno));
    struct stat info {};
    if (fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) AwaitData(fd, what, notes);
    return std::make_unique<SoundFileReader>(fd, what);
  }
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISFIFO(info.st_mode)) {
    return std::make_unique<SoundFileReader>(path);
  }
  // Opening a FIFO for reading blocks until a program opens it for writing; without
  // blocking, the wait can be announced.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw SoundFileError(path + ": " + ProblemWith("cannot open it: ", errno));
  try {
    AwaitData(fd, path, notes);
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      throw SoundFileError(path + ": " + ProblemWith("cannot read it: ", errno));
    }
  } catch (...) {
    ::close(fd);
    throw;
  }
  return std::make_unique<SoundFileReader>(fd, path);
}
