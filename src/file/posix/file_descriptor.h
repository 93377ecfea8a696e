// An open file descriptor owned by whoever holds the handle.
#pragma once

#include <unistd.h>

namespace ombrix::file::posix {

// Guarantees: closes the descriptor exactly once, when the object is destroyed.
// Shared by handle between a file's mapping object and its views, so the views
// keep working after the file and the mapping object are gone. Thread-safe for
// concurrent positioned calls on the descriptor.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }

 private:
  const int fd_;
};

}  // namespace ombrix::file::posix
