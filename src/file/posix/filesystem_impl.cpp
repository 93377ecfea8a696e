#include "file/posix/filesystem_impl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "file/file_exceptions.h"
#include "file/path_text.h"
#include "file/posix/errno_error.h"
#include "file/posix/mount_table.h"
#include "file/posix/shared_file_impl.h"
#include "file/posix/user_folders.h"
#include "file/posix/volume_impl.h"

namespace ombrix::file::posix {

namespace fs = std::filesystem;

namespace {

// Throws the kind of a path-library error code; a code without a kind (0) leaves
// the caller to decide.
void ThrowForCode(const std::error_code& code) {
  if (!code) return;
  ThrowForErrno(code.value());
  throw UnknownException();
}

// Runs a path-library operation: file storage exceptions pass through, a
// path-library exception becomes the kind of its code (UnknownException without
// one), and any other exception is UnknownException.
template <typename Operation>
auto Run(Operation&& operation) -> decltype(operation()) {
  try {
    return operation();
  } catch (const Exception&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const fs::filesystem_error& error) {
    ThrowForCode(error.code());
    throw UnknownException();
  } catch (...) {
    throw UnknownException();
  }
}

fs::path Checked(const std::string& path) {
  CheckPathText(path);
  return fs::path(path);
}

class PosixDirectoryIterator : public DirectoryIterator {
 public:
  explicit PosixDirectoryIterator(const fs::path& path) {
    std::error_code code;
    iterator_ = fs::directory_iterator(path, code);
    ThrowForCode(code);
  }

  bool Next(std::string& path) override {
    if (iterator_ == fs::directory_iterator()) return false;
    if (started_) {
      std::error_code code;
      iterator_.increment(code);
      ThrowForCode(code);
      if (iterator_ == fs::directory_iterator()) return false;
    }
    started_ = true;
    path = iterator_->path().string();
    return true;
  }

 private:
  fs::directory_iterator iterator_;
  bool started_ = false;
};

bool StartsWithProgramMagic(const fs::path& path) {
  // Opening a named pipe or a device to read it could wait without end.
  std::error_code code;
  if (!fs::is_regular_file(path, code)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  // Four bytes and no read-ahead: this runs on files the download is about to
  // fill, and pages read ahead there would be zero-filled by the kernel only to be
  // overwritten, each leaving a mark that makes the next fault read further ahead.
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  std::array<char, 4> head{};
  ssize_t got;
  do {
    got = ::pread(fd, head.data(), head.size(), 0);
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  if (got >= 4 && head[0] == '\x7f' && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') return true;
  return got >= 2 && head[0] == '#' && head[1] == '!';
}

}  // namespace

FilesystemImpl::FilesystemImpl(Environment environment, std::string mountInfoPath, std::string sysfsRoot)
    : environment_(std::move(environment)),
      mountInfoPath_(std::move(mountInfoPath)),
      sysfsRoot_(std::move(sysfsRoot)) {}

std::shared_ptr<SharedFile> FilesystemImpl::OpenFile(const std::string& directory, const std::string& name,
                                                     OpenMode mode, bool useContext, std::uint64_t first,
                                                     std::uint64_t last) {
  return std::make_shared<SharedFileImpl>(*this, directory, name, mode, useContext ? context : nullptr, first, last);
}

std::shared_ptr<SharedFile> FilesystemImpl::OpenFileBeneath(const std::string& destination, const std::string& path,
                                                            OpenMode mode, bool useContext, std::uint64_t first,
                                                            std::uint64_t last) {
  return std::make_shared<SharedFileImpl>(SharedFileImpl::Beneath{destination}, path, mode,
                                          useContext ? context : nullptr, first, last);
}

std::shared_ptr<Volume> FilesystemImpl::GetVolume(const std::string& path) {
  std::string canonical;
  try {
    canonical = Canonical(path);
  } catch (...) {
    throw NotFoundException();
  }
  std::optional<MountTable> table = MountTable::Read(mountInfoPath_);
  if (!table) throw NotFoundException();
  std::optional<Mount> mount = table->Find(canonical);
  if (!mount) throw NotFoundException();
  return std::make_shared<VolumeImpl>(mount->mountPoint, mount->source, mountInfoPath_, sysfsRoot_);
}

bool FilesystemImpl::Exists(const std::string& path) {
  return Run([&] {
    std::error_code code;
    const bool exists = fs::exists(Checked(path), code);
    ThrowForCode(code);
    return exists;
  });
}

EntryKind FilesystemImpl::GetEntryKind(const std::string& path) {
  CheckPathText(path);
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return EntryKind::Absent;
    posix::ThrowForErrno(errno);
    throw UnknownException();
  }
  if (S_ISREG(info.st_mode)) return EntryKind::RegularFile;
  if (S_ISDIR(info.st_mode)) return EntryKind::Directory;
  return EntryKind::Other;
}

std::string FilesystemImpl::Canonical(const std::string& path) {
  return Run([&] {
    std::error_code code;
    fs::path canonical = fs::canonical(Checked(path), code);
    ThrowForCode(code);
    return canonical.string();
  });
}

std::uint64_t FilesystemImpl::GetFileSize(const std::string& path) {
  return Run([&] {
    std::error_code code;
    const std::uintmax_t size = fs::file_size(Checked(path), code);
    ThrowForCode(code);
    return static_cast<std::uint64_t>(size);
  });
}

std::uint64_t FilesystemImpl::GetAvailableSpace(const std::string& path) {
  return Run([&] {
    std::error_code code;
    const fs::space_info space = fs::space(Checked(path), code);
    ThrowForCode(code);
    return static_cast<std::uint64_t>(space.available);
  });
}

std::string FilesystemImpl::GetDesktopPath() {
  try {
    return DesktopFolder(environment_);
  } catch (...) {
    return "";
  }
}

std::string FilesystemImpl::GetTempPath() {
  try {
    return TemporaryFolder(environment_);
  } catch (...) {
    return "";
  }
}

std::unique_ptr<DirectoryIterator> FilesystemImpl::OpenDirectory(const std::string& path) {
  return Run([&]() -> std::unique_ptr<DirectoryIterator> {
    return std::make_unique<PosixDirectoryIterator>(Checked(path));
  });
}

bool FilesystemImpl::IsExecutable(const std::string& directory, const std::string& name) {
  try {
    const std::string joined = Join(directory, name);
    std::string target = joined;
    try {
      target = Canonical(joined);
    } catch (const Exception&) {
      // A name that does not exist yet is judged by its text.
    }
    static const std::array<std::string, 8> kExtensions{".exe", ".bat", ".com", ".cmd",
                                                        ".msi", ".vbs", ".sh",  ".AppImage"};
    const std::string extension = Extension(target);
    for (const std::string& known : kExtensions) {
      if (extension == known) return true;
    }
    return StartsWithProgramMagic(Checked(target));
  } catch (...) {
    return false;
  }
}

bool FilesystemImpl::IsHiddenOrSystem(const std::string& path) {
  const fs::path canonical = Canonical(path);
  const std::string name = canonical.filename().string();
  return !name.empty() && name.front() == '.';
}

bool FilesystemImpl::CreateDirectory(const std::string& path) {
  return Run([&] {
    std::error_code code;
    const bool created = fs::create_directory(Checked(path), code);
    ThrowForCode(code);
    return created;
  });
}

bool FilesystemImpl::CreateDirectories(const std::string& path) {
  return Run([&] {
    std::error_code code;
    const bool created = fs::create_directories(Checked(path), code);
    ThrowForCode(code);
    return created;
  });
}

void FilesystemImpl::Copy(const std::string& from, const std::string& to, bool useContext) {
  Run([&] {
    const fs::path source = Checked(from);
    const fs::path target = Checked(to);
    ContextGuard hold(useContext ? context : nullptr);
    std::error_code code;
    const fs::file_status status = fs::symlink_status(source, code);
    ThrowForCode(code);
    if (fs::is_symlink(status)) {
      fs::copy_symlink(source, target, code);
    } else if (fs::is_directory(status)) {
      if (!fs::create_directory(target, source, code) && !code) code = std::make_error_code(std::errc::file_exists);
    } else {
      fs::copy_file(source, target, fs::copy_options::none, code);
    }
    ThrowForCode(code);
  });
}

void FilesystemImpl::CreateSymlink(const std::string& target, const std::string& link) {
  Run([&] {
    std::error_code code;
    fs::create_symlink(Checked(target), Checked(link), code);
    ThrowForCode(code);
  });
}

bool FilesystemImpl::Remove(const std::string& path, bool recursive, bool useContext) {
  return Run([&] {
    const fs::path target = Checked(path);
    ContextGuard hold(useContext ? context : nullptr);
    std::error_code code;
    if (recursive) {
      const std::uintmax_t removed = fs::remove_all(target, code);
      ThrowForCode(code);
      return removed != static_cast<std::uintmax_t>(-1) && removed > 0;
    }
    const bool removed = fs::remove(target, code);
    ThrowForCode(code);
    return removed;
  });
}

void FilesystemImpl::ThrowForErrno(int error) { posix::ThrowForErrno(error); }

}  // namespace ombrix::file::posix
