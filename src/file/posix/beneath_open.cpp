#include "file/posix/beneath_open.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "file/file_exceptions.h"
#include "file/path_text.h"
#include "file/posix/errno_error.h"

namespace ombrix::file::posix {

namespace {

[[noreturn]] void Fail(int error) {
  // A resolution that would leave the destination is a path the caller may not use.
  if (error == EXDEV) throw BadPathException();
  ThrowForErrno(error);
  throw UnknownException();
}

// Closes a descriptor at the end of a scope.
class Closer {
 public:
  explicit Closer(int fd) : fd_(fd) {}
  ~Closer() {
    if (fd_ >= 0) ::close(fd_);
  }
  Closer(const Closer&) = delete;
  Closer& operator=(const Closer&) = delete;
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

std::vector<std::string> Elements(const std::string& relative) {
  CheckPathText(relative);
  if (relative.empty() || relative.front() == '/') throw BadPathException();
  std::vector<std::string> elements;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = relative.find('/', start);
    std::string element = relative.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (element.empty() || element == "." || element == "..") throw BadPathException();
    elements.push_back(std::move(element));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return elements;
}

int Retrying(int (*call)(int, const char*, int, mode_t), int at, const char* name, int flags, mode_t mode) {
  int fd;
  do {
    fd = call(at, name, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int PlainOpenat(int at, const char* name, int flags, mode_t mode) { return ::openat(at, name, flags, mode); }

// openat2 confined below `at`; -1 with errno ENOSYS where the kernel lacks it.
int ConfinedOpenat(int at, const std::string& relative, int flags) {
  static std::atomic<bool> missing{false};
  if (missing.load(std::memory_order_relaxed)) {
    errno = ENOSYS;
    return -1;
  }
  open_how how{};
  how.flags = static_cast<std::uint64_t>(flags);
  how.mode = (flags & O_CREAT) != 0 ? 0666 : 0;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  long fd;
  do {
    fd = ::syscall(SYS_openat2, at, relative.c_str(), &how, sizeof how);
  } while (fd < 0 && errno == EINTR);
  // Seccomp filters of some sandboxes answer EPERM for a system call they do not know.
  if (fd < 0 && (errno == ENOSYS || errno == EPERM)) {
    if (errno == ENOSYS) missing.store(true, std::memory_order_relaxed);
    errno = ENOSYS;
  }
  return static_cast<int>(fd);
}

}  // namespace

int OpenBeneath(const std::string& destination, const std::string& relative, int flags, bool createFolders) {
  CheckPathText(destination);
  const std::vector<std::string> elements = Elements(relative);
  flags |= O_NOFOLLOW | O_CLOEXEC;
  Closer folder(Retrying(PlainOpenat, AT_FDCWD, destination.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
  if (folder.get() < 0) Fail(errno);
  if (!createFolders) {
    const int fd = ConfinedOpenat(folder.get(), relative, flags);
    if (fd >= 0) return fd;
    if (errno != ENOSYS) Fail(errno);
  }
  // One folder at a time: a link in place of a folder is refused (O_NOFOLLOW with
  // O_DIRECTORY), so the walk never leaves the destination.
  for (std::size_t i = 0; i + 1 < elements.size(); ++i) {
    const char* name = elements[i].c_str();
    if (createFolders && ::mkdirat(folder.get(), name, 0777) != 0 && errno != EEXIST) Fail(errno);
    const int next = Retrying(PlainOpenat, folder.get(), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (next < 0) Fail(errno == ELOOP ? ENOTDIR : errno);
    folder.reset(next);
  }
  const int fd = Retrying(PlainOpenat, folder.get(), elements.back().c_str(), flags, 0666);
  if (fd < 0) {
    const int error = errno;
    // O_EXCL reports a planted link as an existing name; it is a refused path.
    struct stat info {};
    if (error == EEXIST && ::fstatat(folder.get(), elements.back().c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode)) {
      throw BadPathException();
    }
    Fail(error);
  }
  return fd;
}

}  // namespace ombrix::file::posix
