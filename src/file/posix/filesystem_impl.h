// The filesystem on Linux.
#pragma once

#include <string>

#include "common/environment.h"
#include "file/filesystem.h"

namespace ombrix::file::posix {

// Guarantees: those of Filesystem. Platform error codes are errno values. Machine
// state (environment, mount table, sysfs) is read only from what the constructor
// is given, so tests can pass fakes. Hidden means a name starting with "."; Linux
// has no system attribute. Thread-safe.
class FilesystemImpl : public Filesystem {
 public:
  explicit FilesystemImpl(Environment environment = Environment::Current(),
                          std::string mountInfoPath = "/proc/self/mountinfo", std::string sysfsRoot = "/sys");

  std::shared_ptr<SharedFile> OpenFile(const std::string& directory, const std::string& name, OpenMode mode,
                                       bool useContext, std::uint64_t first, std::uint64_t last) override;
  std::shared_ptr<SharedFile> OpenFileBeneath(const std::string& destination, const std::string& path,
                                              OpenMode mode, bool useContext, std::uint64_t first,
                                              std::uint64_t last) override;
  // The mount holding Canonical(path): rootPath its mount point, rootName its source.
  std::shared_ptr<Volume> GetVolume(const std::string& path) override;
  bool Exists(const std::string& path) override;
  // lstat.
  EntryKind GetEntryKind(const std::string& path) override;
  std::string Canonical(const std::string& path) override;
  std::uint64_t GetFileSize(const std::string& path) override;
  std::uint64_t GetAvailableSpace(const std::string& path) override;
  // $XDG_DESKTOP_DIR, the user-dirs.dirs entry, or $HOME/Desktop.
  std::string GetDesktopPath() override;
  // $TMPDIR when absolute, else $XDG_CACHE_HOME, else ~/.cache.
  std::string GetTempPath() override;
  std::unique_ptr<DirectoryIterator> OpenDirectory(const std::string& path) override;
  // The extensions ".exe", ".bat", ".com", ".cmd", ".msi", ".vbs" (case-sensitive),
  // plus what runs on Linux: ".sh", ".AppImage", or content starting with the ELF
  // magic or "#!".
  bool IsExecutable(const std::string& directory, const std::string& name) override;
  bool IsHiddenOrSystem(const std::string& path) override;
  using Filesystem::CreateDirectory;
  bool CreateDirectory(const std::string& path) override;
  bool CreateDirectories(const std::string& path) override;
  void Copy(const std::string& from, const std::string& to, bool useContext) override;
  void CreateSymlink(const std::string& target, const std::string& link) override;
  using Filesystem::Remove;
  bool Remove(const std::string& path, bool recursive, bool useContext) override;
  void ThrowForErrno(int error) override;

 private:
  const Environment environment_;
  const std::string mountInfoPath_;
  const std::string sysfsRoot_;
};

}  // namespace ombrix::file::posix
