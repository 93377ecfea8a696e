#include "transfer/temp_file_manifest_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/property_tree/ptree.hpp>
#include <cerrno>
#include <filesystem>

#include "file/filesystem.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

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

// Creates every missing folder of `folder` below `root` with mode 0700. `root`
// itself must exist.
bool MakeFolders(const std::filesystem::path& root, const std::filesystem::path& relative) {
  std::filesystem::path current = root;
  for (const auto& element : relative) {
    if (element.empty() || element == "." || element == "..") return false;
    current /= element;
    if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

TempFileManifestStore::TempFileManifestStore(file::Filesystem& filesystem, std::string transfersFolder)
    : filesystem(filesystem), transfersFolder(std::move(transfersFolder)) {}

bool TempFileManifestStore::IsRecordId(const std::string& id) {
  if (id.size() != 32) return false;
  for (const char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool TempFileManifestStore::Load(const std::string& id, TransferManifest& manifest) {
  const std::string temp = filesystem.GetTempPath();
  if (!IsRecordId(id) || temp.empty()) return false;
  const std::filesystem::path path = std::filesystem::path(temp) / transfersFolder / (id + ".json");
  // O_NONBLOCK: opening a planted FIFO must not wait for a writer.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (fd.Get() < 0 || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::uint64_t>(info.st_size) > kMaxRecordBytes) {
    return false;
  }
  std::string text(kMaxRecordBytes + 1, '\0');
  std::size_t length = 0;
  while (length < text.size()) {
    const ssize_t got = ::read(fd.Get(), text.data() + length, text.size() - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    length += static_cast<std::size_t>(got);
  }
  if (length > kMaxRecordBytes) return false;  // grew while being read
  text.resize(length);
  const auto tree = ReadRecordJson(text);
  if (!tree) return false;
  try {
    TransferManifest read;
    read.Read(*tree);
    if (read.params.transferId != id) return false;
    manifest = std::move(read);
    return true;
  } catch (const ManifestException&) {
    return false;
  }
}

bool TempFileManifestStore::Save(const std::string& id, const TransferManifest& manifest) {
  const std::string temp = filesystem.GetTempPath();
  if (!IsRecordId(id) || temp.empty()) return false;
  try {
    boost::property_tree::ptree tree;
    manifest.Write(tree);
    const std::string text = WriteRecordJson(tree);
    if (!MakeFolders(temp, transfersFolder)) return false;
    const std::filesystem::path folder = std::filesystem::path(temp) / transfersFolder;
    const std::filesystem::path target = folder / (id + ".json");
    // link() refuses an existing name, so a record already there is kept. The text is
    // written to an unnamed file first, which a crash cannot leave behind; where the
    // file system has no unnamed files, to one temporary name per identifier, which
    // the next Save of that identifier reuses.
    bool linked = false;
    Descriptor unnamed(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (unnamed.Get() >= 0) {
      const std::string self = "/proc/self/fd/" + std::to_string(unnamed.Get());
      linked = WriteAll(unnamed.Get(), text) && SyncRetrying(unnamed.Get()) &&
               ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0;
    } else {
      const std::filesystem::path staging = folder / (id + ".json.tmp");
      ::unlink(staging.c_str());
      Descriptor out(::open(staging.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
      if (out.Get() < 0) return false;
      const bool written = WriteAll(out.Get(), text) && SyncRetrying(out.Get()) && out.Close();
      linked = written && ::link(staging.c_str(), target.c_str()) == 0;
      ::unlink(staging.c_str());
    }
    if (!linked) return false;
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.Get() >= 0 && SyncRetrying(dir.Get());
  } catch (const std::exception&) {
    return false;
  }
}

bool TempFileManifestStore::Erase(const std::string& id) {
  const std::string temp = filesystem.GetTempPath();
  if (!IsRecordId(id) || temp.empty()) return false;
  try {
    return filesystem.RemoveFile(temp, (std::filesystem::path(transfersFolder) / (id + ".json")).string(), false);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace ombrix
