#include "file/posix/small_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ombrix::file::posix {

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  int Get() const { return fd; }
  // Closes now and reports whether the close succeeded (a deferred write error
  // shows up here on some filesystems).
  bool Close() {
    const int closing = fd;
    fd = -1;
    return ::close(closing) == 0;
  }

 private:
  int fd;
};

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

bool SyncRetrying(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Writes `text` to `path` (created or truncated, never through a link), synced.
bool WriteStaging(const std::filesystem::path& path, const std::string& text) {
  Descriptor out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
  return out.Get() >= 0 && WriteAll(out.Get(), text) && SyncRetrying(out.Get()) && out.Close();
}

}  // namespace

bool MakeFolders(const std::filesystem::path& root, const std::filesystem::path& relative) {
  std::filesystem::path current = root;
  for (const auto& element : relative) {
    if (element.empty() || element == "." || element == "..") return false;
    current /= element;
    if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::optional<std::string> ReadSmallFile(const std::filesystem::path& path, std::size_t maxBytes) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (fd.Get() < 0 || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::uint64_t>(info.st_size) > maxBytes) {
    return std::nullopt;
  }
  std::string text(maxBytes + 1, '\0');
  std::size_t length = 0;
  while (length < text.size()) {
    const ssize_t got = ::read(fd.Get(), text.data() + length, text.size() - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    length += static_cast<std::size_t>(got);
  }
  if (length > maxBytes) return std::nullopt;  // grew while being read
  text.resize(length);
  return text;
}

bool WriteFileDurably(const std::filesystem::path& folder, const std::string& name, const std::string& text,
                      Existing existing) {
  const std::filesystem::path target = folder / name;
  const std::filesystem::path staging = folder / (name + ".tmp");
  bool placed = false;
  if (existing == Existing::Replace) {
    placed = WriteStaging(staging, text) && ::rename(staging.c_str(), target.c_str()) == 0;
    if (!placed) ::unlink(staging.c_str());
  } else {
    Descriptor unnamed(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (unnamed.Get() >= 0) {
      const std::string self = "/proc/self/fd/" + std::to_string(unnamed.Get());
      placed = WriteAll(unnamed.Get(), text) && SyncRetrying(unnamed.Get()) &&
               ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0;
    } else {
      ::unlink(staging.c_str());
      // link() refuses an existing name, so a file already there is kept.
      placed = WriteStaging(staging, text) && ::link(staging.c_str(), target.c_str()) == 0;
      ::unlink(staging.c_str());
    }
  }
  if (!placed) return false;
  Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return dir.Get() >= 0 && SyncRetrying(dir.Get());
}

}  // namespace ombrix::file::posix
