#include "tools/output_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "tools/interrupt_cleanup.h"

namespace {

std::string ProblemWith(const std::string& action, int error) {
  return action + std::generic_category().message(error);
}

// Distinguishes temporary names of targets in one process; the pid separates processes.
std::atomic<unsigned> temporaryCounter{0};

// As many links as the kernel itself follows before it gives up.
constexpr int kMaxLinks = 40;

// The file that `path` names once every symbolic link is followed; it need not exist yet, so
// that a link to a file still to be made gets that file.
std::string FollowLinks(const std::string& given) {
  std::filesystem::path path = given;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path.string();
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) return path.string();
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  throw OutputError(given + ": " + ProblemWith("cannot follow the link: ", ELOOP));
}

}  // namespace

OutputTarget::OutputTarget(const std::string& path, std::ostream& notes) : path_(path) {
  if (path == "-") {
    if (isatty(STDOUT_FILENO)) {
      throw OutputError(
          "standard output is a terminal; name an output file, or send it to a program");
    }
    fd_ = STDOUT_FILENO;
    ownsDescriptor_ = false;
    // A file the shell opened for us is written in place; only from its start can its
    // header be completed at the end (`>>` appends after what is there).
    struct stat info {};
    const int flags = fcntl(fd_, F_GETFL);
    seekable_ = fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0 &&
                (flags & O_APPEND) == 0 && lseek(fd_, 0, SEEK_CUR) == 0;
    return;
  }
  target_ = FollowLinks(path);
  struct stat info {};
  const bool existed = stat(target_.c_str(), &info) == 0;
  if (existed) {
    if (S_ISDIR(info.st_mode)) throw OutputError(path_ + ": cannot write there: it is a folder");
    if (!S_ISREG(info.st_mode)) {
      OpenInPlace(notes);
      return;
    }
    linked_ = info.st_nlink > 1;
  }
  OpenReplacement();
  if (existed && !linked_) {
    // The new file takes the old one's place, so it takes its permissions; the owner only
    // where the system allows it, which is enough for a user replacing their own file.
    if (fchmod(fd_, info.st_mode & 07777) != 0) Fail("cannot set the file's mode: ", errno);
    [[maybe_unused]] const int owned = fchown(fd_, info.st_uid, info.st_gid);
  }
}

void OutputTarget::OpenInPlace(std::ostream& notes) {
  // Without blocking first: a FIFO with no reader would otherwise hold us without a word.
  fd_ = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0 && errno == ENXIO) {
    struct stat info {};
    if (stat(target_.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) {
      notes << "echora-cli: waiting for a program to read " << path_ << "\n" << std::flush;
      fd_ = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    }
  }
  if (fd_ < 0) throw OutputError(path_ + ": " + ProblemWith("cannot open it for writing: ", errno));
  const int flags = fcntl(fd_, F_GETFL);
  if (flags < 0 || fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    Fail("cannot write to it: ", errno);
  }
  seekable_ = false;
}

void OutputTarget::OpenReplacement() {
  const std::filesystem::path target = target_;
  const std::string name = target.filename().string();
  const std::string folder = target.has_parent_path() ? target.parent_path().string() + "/" : "";
  if (name.empty()) throw OutputError(path_ + ": cannot write there: it is a folder");
  // Hidden, in the same folder so that the rename stays on one file system; the name is
  // shortened so that a long but legal target name still leaves room for the suffix.
  for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
    temporary_ = folder + "." + name.substr(0, 200) + ".partial-" + std::to_string(getpid()) + "-" +
                 std::to_string(temporaryCounter.fetch_add(1));
    RemoveOnInterrupt(temporary_);
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int error = errno;
    KeepOnInterrupt();
    temporary_.clear();
    throw OutputError(path_ + ": " + ProblemWith("cannot create the file: ", error));
  }
  seekable_ = true;
}

OutputTarget::~OutputTarget() {
  if (!committed_) Discard();
}

void OutputTarget::Discard() {
  if (fd_ >= 0 && ownsDescriptor_) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    KeepOnInterrupt();
    temporary_.clear();
  }
}

void OutputTarget::Fail(const std::string& problem, int error) {
  Discard();
  throw OutputError(path_ + ": " + ProblemWith(problem, error));
}

void OutputTarget::Commit() {
  if (committed_) return;
  if (ownsDescriptor_) {
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) Fail("cannot write the file: ", errno);
  }
  if (!temporary_.empty()) {
    // No fsync: like other tools that write sound files, a complete file replaces the old
    // one by the rename, and a render lost to a power cut is simply run again.
    if (linked_) {
      CopyOverLinkedFile();
    } else if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
      Fail("cannot save the file: ", errno);
    }
    KeepOnInterrupt();
    temporary_.clear();
  }
  committed_ = true;
}

void OutputTarget::CopyOverLinkedFile() {
  const int from = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
  const int to = from < 0 ? -1 : ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  int error = from < 0 || to < 0 ? errno : 0;
  std::vector<char> buffer(1 << 20);
  while (error == 0) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got <= 0) {
      error = got < 0 ? errno : 0;
      break;
    }
    for (ssize_t done = 0; done < got && error == 0;) {
      const ssize_t put = ::write(to, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put < 0) error = errno;
      done += put;
    }
  }
  if (to >= 0 && ::close(to) != 0 && error == 0) error = errno;
  if (from >= 0) ::close(from);
  if (error != 0) Fail("cannot overwrite the file: ", error);
  ::unlink(temporary_.c_str());
}
