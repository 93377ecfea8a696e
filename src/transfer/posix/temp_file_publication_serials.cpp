#include "transfer/temp_file_publication_serials.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "file/filesystem.h"
#include "file/posix/small_files.h"
#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

namespace {

std::string FileName(const std::string& package) {
  std::string name;
  for (const char c : package) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_') {
      name += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      name += escaped;
    }
  }
  return name + ".serial";
}

// Holds an exclusive lock on a folder for as long as it lives.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& folder)
      : fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    while (fd >= 0 && ::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FolderLock() {
    if (fd >= 0) ::close(fd);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd;
};

}  // namespace

TempFilePublicationSerials::TempFilePublicationSerials(file::Filesystem& filesystem, std::string folder)
    : filesystem(filesystem), folder(std::move(folder)) {}

void TempFilePublicationSerials::Admit(const std::string& package, std::uint64_t serial) {
  const std::string temp = filesystem.GetTempPath();
  if (temp.empty() || !file::posix::MakeFolders(temp, folder)) return;
  const std::filesystem::path where = std::filesystem::path(temp) / folder;
  const std::string name = FileName(package);

  std::lock_guard<std::mutex> held(lock);
  FolderLock folderLock(where);
  const auto text = file::posix::ReadSmallFile(where / name, 64);
  const auto seen = text ? ParseUnsigned(*text, std::numeric_limits<std::uint64_t>::max()) : std::nullopt;
  if (seen && serial < *seen) {
    throw ManifestSignatureException("publication " + std::to_string(serial) + " of \"" + package +
                                     "\" is older than publication " + std::to_string(*seen) +
                                     " already seen (a replayed manifest?)");
  }
  if (!seen || serial > *seen) {
    file::posix::WriteFileDurably(where, name, std::to_string(serial) + "\n", file::posix::Existing::Replace);
  }
}

}  // namespace ombrix
