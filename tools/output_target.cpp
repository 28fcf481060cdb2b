#include "tools/output_target.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "tools/interrupt_cleanup.h"
#include "tools/problem_with.h"

namespace {

// Distinguishes temporary names of targets in one process; the pid separates processes.
std::atomic<unsigned> temporaryCounter{0};

// As many links as the kernel itself follows before it gives up.
constexpr int kMaxLinks = 40;

// The descriptor a name such as /dev/stdout, /dev/fd/3 or /proc/self/fd/3 stands for. Such
// a name is a link to whatever the descriptor holds, which for a pipe is no path at all
// ("pipe:[1234]"), so it is taken as the descriptor itself.
std::optional<int> DescriptorNamed(const std::string& path) {
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  const std::string ownProc = "/proc/" + std::to_string(getpid()) + "/fd/";
  for (const std::string_view prefix :
       {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
        std::string_view("/proc/thread-self/fd/"), std::string_view(ownProc)}) {
    if (!path.starts_with(prefix)) continue;
    const std::string_view number = std::string_view(path).substr(prefix.size());
    int fd = -1;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), fd);
    if (error == std::errc() && end == number.data() + number.size() && fd >= 0) return fd;
  }
  return std::nullopt;
}

// The file that `path` names once every symbolic link is followed; it need not exist yet, so
// that a link to a file still to be made gets that file. A link into /proc that names a
// descriptor's object rather than a path ("pipe:[1234]") is not followed.
std::string FollowLinks(const std::string& given) {
  std::filesystem::path path = given;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat info {};
    if (DescriptorNamed(path.string())) return path.string();
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path.string();
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) return path.string();
    if (!target.is_absolute() && target.string().find(":[") != std::string::npos) {
      return path.string();
    }
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  throw OutputError(given + ": " + ProblemWith("cannot follow the link: ", ELOOP));
}

// Copies all of `from` (from its start) over the start of `to`. Returns 0 or the error.
int CopyBytes(int from, int to) {
  std::vector<char> block(1 << 20);
  for (off_t at = 0;;) {
    const ssize_t got = ::pread(from, block.data(), block.size(), at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return 0;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put =
          ::pwrite(to, block.data() + done, static_cast<std::size_t>(got - done), at + done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return put < 0 ? errno : EIO;
      done += put;
    }
    at += got;
  }
}

off_t SizeOf(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 ? info.st_size : 0;
}

// A descriptor closed when it goes out of scope.
struct OpenFile {
  int fd;
  explicit OpenFile(int opened) : fd(opened) {}
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
};

}  // namespace

OutputTarget::OutputTarget(const std::string& path, std::ostream& notes) : path_(path) {
  const std::optional<int> named = path == "-" ? STDOUT_FILENO : DescriptorNamed(path);
  if (named) {
    OpenDescriptor(*named);
    return;
  }
  target_ = FollowLinks(path);
  if (const std::optional<int> linkedTo = DescriptorNamed(target_)) {
    OpenDescriptor(*linkedTo);
    return;
  }
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

void OutputTarget::OpenDescriptor(int fd) {
  const std::string what = fd == STDOUT_FILENO ? "standard output" : path_;
  if (fcntl(fd, F_GETFD) < 0) {
    throw OutputError(path_ + ": descriptor " + std::to_string(fd) + " is not open");
  }
  if (isatty(fd)) {
    throw OutputError(what + " is a terminal; name an output file, or send it to a program");
  }
  fd_ = fd;
  ownsDescriptor_ = false;
  // A file the shell opened for us is written in place; only from its start can its
  // header be completed at the end (`>>` appends after what is there).
  struct stat info {};
  const int flags = fcntl(fd_, F_GETFL);
  seekable_ = fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0 &&
              (flags & O_APPEND) == 0 && lseek(fd_, 0, SEEK_CUR) == 0;
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
  if (name.empty()) {
    throw OutputError(path_ + ": cannot write there: a name ending in \"/\" is a folder's");
  }
  // Checked now, not at the rename after the whole render.
  struct stat folderInfo {};
  const std::string folderPath = folder.empty() ? "." : folder;
  if (stat(folderPath.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode)) {
    throw OutputError(path_ + ": cannot create the file: there is no folder " + folder);
  }
  const long nameMax = pathconf(folderPath.c_str(), _PC_NAME_MAX);
  if (nameMax > 0 && name.size() > static_cast<std::size_t>(nameMax)) {
    throw OutputError(path_ + ": cannot create the file: its name is " +
                      std::to_string(name.size()) + " bytes long, and this file system allows " +
                      std::to_string(nameMax));
  }
  folder_ = folderPath;
  // Hidden, in the same folder so that the rename stays on one file system; the name is
  // shortened so that a long but legal target name still leaves room for the suffix.
  for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
    temporary_ = folder + "." + name.substr(0, 200) + ".partial-" + std::to_string(getpid()) + "-" +
                 std::to_string(temporaryCounter.fetch_add(1));
    RemoveOnInterrupt(temporary_);
    fd_ = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
    DeferInterrupts();
    std::string failure;
    if (linked_) {
      failure = OverwriteLinkedFile();
    } else if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
      failure = ProblemWith("cannot save the file: ", errno);
    }
    if (!failure.empty()) {
      Discard();
      EndDeferral("the old file is kept");
      throw OutputError(path_ + ": " + failure);
    }
    if (linked_) ::unlink(temporary_.c_str());
    KeepOnInterrupt();
    temporary_.clear();
    EndDeferral("the output was already complete and is kept");
  }
  committed_ = true;
}

std::optional<std::uint64_t> OutputTarget::Room() const {
  struct statvfs space {};
  if (temporary_.empty() || fd_ < 0 || fstatvfs(fd_, &space) != 0) return std::nullopt;
  return std::uint64_t{space.f_bavail} * space.f_frsize;
}

std::uint64_t OutputTarget::BytesNeededBeyond(std::uint64_t bytes) const {
  struct stat old {};
  if (!linked_ || stat(target_.c_str(), &old) != 0) return bytes;
  // The temporary file, the copy of the old bytes, and whatever the file grows by.
  const auto oldBytes = static_cast<std::uint64_t>(old.st_size);
  return bytes + oldBytes + (bytes > oldBytes ? bytes - oldBytes : 0);
}

std::string OutputTarget::OverwriteLinkedFile() {
  // The file has other names, which a rename would leave on the old sound, so its bytes
  // are overwritten. Another render onto any of its names waits for this one; the old
  // bytes are copied aside first and put back if the new ones cannot all be written.
  const OpenFile from(::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC));
  const OpenFile to(::open(target_.c_str(), O_RDWR | O_CLOEXEC));
  if (from.fd < 0 || to.fd < 0) return ProblemWith("cannot overwrite the file: ", errno);
  if (flock(to.fd, LOCK_EX) != 0) return ProblemWith("cannot lock the file: ", errno);
  const off_t newSize = SizeOf(from.fd);
  const off_t oldSize = SizeOf(to.fd);

  struct statvfs space {};
  const auto needed =
      static_cast<unsigned long long>(oldSize + std::max<off_t>(newSize - oldSize, 0));
  if (fstatvfs(to.fd, &space) == 0 &&
      static_cast<unsigned long long>(space.f_bavail) * space.f_frsize < needed) {
    return "cannot overwrite the file safely: it has other names, so its old sound is copied "
           "aside first, and that needs " +
           std::to_string((needed + (1 << 20) - 1) >> 20) + " MiB free; the file is left as it was";
  }
  const std::string backup = folder_ + "/." +
                             std::filesystem::path(target_).filename().string().substr(0, 200) +
                             ".previous-" + std::to_string(getpid());
  const OpenFile kept(::open(backup.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (kept.fd < 0) return ProblemWith("cannot keep a copy of the old file: ", errno);
  if (const int error = CopyBytes(to.fd, kept.fd); error != 0) {
    ::unlink(backup.c_str());
    return ProblemWith("cannot keep a copy of the old file: ", error);
  }
  // Space for the new bytes is taken before the first one is written, where the file
  // system can promise it.
  if (newSize > oldSize && fallocate(to.fd, FALLOC_FL_KEEP_SIZE, 0, newSize) != 0 &&
      errno != EOPNOTSUPP) {
    const int error = errno;
    ::unlink(backup.c_str());
    return ProblemWith("cannot overwrite the file: ", error) + "; the file is left as it was";
  }
  int error = CopyBytes(from.fd, to.fd);
  if (error == 0 && ftruncate(to.fd, newSize) != 0) error = errno;
  if (error == 0) {
    ::unlink(backup.c_str());
    return "";
  }
  if (CopyBytes(kept.fd, to.fd) == 0 && ftruncate(to.fd, oldSize) == 0) {
    ::unlink(backup.c_str());
    return ProblemWith("cannot overwrite the file: ", error) + "; the old sound was put back";
  }
  return ProblemWith("cannot overwrite the file: ", error) +
         "; its old sound could not be put back and is kept in " + backup;
}
