// A shared file on Linux: a read-write descriptor whose offset is the file position.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "file/shared_file.h"

namespace ombrix::file {
class Filesystem;
}

namespace ombrix::file::posix {

class MemoryMap;

// Guarantees: those of SharedFile. In addition: the descriptor is opened with
// O_CLOEXEC (O_RDONLY for OpenMode::ReadOnly, O_RDWR otherwise); Write writes all
// bytes or throws, and a failing Write or Read leaves the position where it was; a
// full disk (ENOSPC, EDQUOT, or EFBIG past the file-size limit) is
// InsufficientSpaceException; Flush is fdatasync; Allocate reserves the blocks (fallocate, so a full disk
// shows up there) and leaves the file empty again when that fails; DenyExecute and
// AllowExecute switch the execute permission bits. The mapping object is created
// once, on the first Map, under mapLock.
class SharedFileImpl : public SharedFile {
 public:
  // Opens Join(directory, name). NotFoundException when the directory does not
  // exist; OpenAlways and CreateNew create the missing folders of `name` first.
  SharedFileImpl(Filesystem& filesystem, const std::string& directory, const std::string& name, OpenMode mode,
                 std::shared_ptr<OperationContext> context, std::uint64_t first, std::uint64_t last);
  // Opens `relative` below the folder `destination` without following a link
  // planted there (see OpenBeneath). NotFoundException when `destination` does not
  // exist; OpenAlways and CreateNew create the missing folders of `relative` the
  // same way. Its ranges are opened the same way again.
  struct Beneath {
    std::string destination;
  };
  SharedFileImpl(Beneath root, const std::string& relative, OpenMode mode, std::shared_ptr<OperationContext> context,
                 std::uint64_t first, std::uint64_t last);
  // Opens an existing file for OpenRange; creates nothing.
  SharedFileImpl(const std::string& path, std::shared_ptr<OperationContext> context, std::uint64_t first,
                 std::uint64_t last, bool readOnly = false);
  ~SharedFileImpl() override;

  std::uint64_t GetPosition() override;
  void SetPosition(std::uint64_t position) override;
  std::uint32_t Read(void* buffer, std::uint32_t count) override;
  std::uint32_t Write(const void* buffer, std::uint32_t count) override;
  std::uint64_t GetSize() override;
  bool Allocate(std::uint64_t size) override;
  bool AllowExecute() override;
  bool DenyExecute() override;
  using SharedFile::Map;
  std::shared_ptr<MemoryMappedData> Map(std::uint64_t first, std::uint64_t last) override;
  using SharedFile::OpenRange;
  std::shared_ptr<SharedFile> OpenRange(std::uint64_t first, std::uint64_t last) override;
  void Flush() override;

  const std::string& Path() const { return path; }
  bool IsReadOnly() const { return readOnly; }

 private:
  void Open(OpenMode mode);
  // Open, then SetPosition(first); a failure closes the descriptor again.
  void OpenAt(OpenMode mode, std::uint64_t first);
  // InaccessibleException for a file opened read-only.
  void CheckWritable() const;

  int handle = -1;
  bool readOnly = false;
  std::shared_ptr<MemoryMap> map;
  std::mutex mapLock;
  std::string path;
  // The destination a file opened below one was confined to ("" otherwise); `path`
  // is then relative to it.
  std::string beneath;
};

}  // namespace ombrix::file::posix
