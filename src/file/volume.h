// What kind of storage a path lives on.
#pragma once

#include <cstdint>
#include <string>

namespace ombrix::file {

// The file systems the transfer tells apart.
enum class FileSystemKind : std::uint8_t {
  Other = 0,
  NTFS = 1,
  FAT32 = 2,
  exFAT = 3,
};

// Guarantees: answers questions about the volume whose root directory is rootPath,
// asking the platform at every call (a volume removed in the meantime makes the
// queries throw InaccessibleException). Every platform failure is
// InaccessibleException. Thread-safe: no mutable state.
class Volume {
 public:
  explicit Volume(std::string rootPath) : rootPath(std::move(rootPath)) {}
  virtual ~Volume() = default;
  Volume(const Volume&) = delete;
  Volume& operator=(const Volume&) = delete;

  // The name of the file system on the volume ("NTFS", "FAT32", "exFAT", or the
  // platform's own name for any other).
  virtual std::string GetFileSystemName() = 0;
  // Exact, case-sensitive: "NTFS", "FAT32" and "exFAT" are their kinds, anything
  // else is Other.
  virtual FileSystemKind ClassifyFileSystem(const std::string& name);
  // Whether the volume's device is attached over USB.
  virtual bool IsUsb() = 0;
  virtual bool SupportsSparseFiles() = 0;

  const std::string rootPath;
};

}  // namespace ombrix::file
