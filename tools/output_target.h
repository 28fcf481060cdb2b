// Where a render's sound goes, and how the file there is replaced.
//   - A regular file, new or old, reached directly or through symbolic links, is written
//     under a hidden temporary name in its own folder and renamed over the real file once
//     complete: until then the old file is untouched, and a failed or interrupted render
//     leaves nothing behind. The old file's mode (and owner, where allowed) carries over.
//     A file with other hard links is instead overwritten in place once the new one is
//     complete, so that every name still shows the same file: under a lock, with its old
//     bytes copied aside until the new ones are all in, so that it ends holding either.
//   - Anything else (a device, a FIFO, "-" for standard output, a descriptor named as
//     /dev/stdout or /dev/fd/N) is never replaced: it is written in place, as the sound
//     comes.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

// A target that cannot be opened or completed. what() is one line naming the path.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class OutputTarget {
 public:
  // Opens the target for writing. A FIFO that no program reads yet is waited for, and
  // that is said on `notes` first. Throws OutputError for a folder, a terminal as standard
  // output, or what the system refuses.
  OutputTarget(const std::string& path, std::ostream& notes);
  // Without Commit(), removes the temporary file.
  ~OutputTarget();
  OutputTarget(const OutputTarget&) = delete;
  OutputTarget& operator=(const OutputTarget&) = delete;

  int Descriptor() const { return fd_; }
  // A regular file, whose beginning can be rewritten once the end is known.
  bool Seekable() const { return seekable_; }

  // The free space where a regular file is being written; none for other targets.
  std::optional<std::uint64_t> Room() const;
  // What a complete output of `bytes` needs on the file system: for a file with other
  // hard links, also the copy of its old bytes kept aside while it is overwritten.
  std::uint64_t BytesNeededBeyond(std::uint64_t bytes) const;

  // Puts the finished file in its place (rename, or overwrite for hard links), or closes
  // the device or stream. Throws OutputError, leaving the old file as it was.
  void Commit();

 private:
  void OpenDescriptor(int fd);
  void OpenInPlace(std::ostream& notes);
  void OpenReplacement();
  void Discard();
  [[noreturn]] void Fail(const std::string& problem, int error);
  // Empty when done; otherwise what failed, the file holding its old bytes.
  std::string OverwriteLinkedFile();

  std::string path_;       // as given, for messages
  std::string target_;     // the file itself, symbolic links followed
  std::string folder_;     // the target's folder, for its temporary files
  std::string temporary_;  // empty when writing in place
  int fd_ = -1;
  bool ownsDescriptor_ = true;
  bool seekable_ = false;
  bool linked_ = false;  // the old file has other hard links
  bool committed_ = false;
};
