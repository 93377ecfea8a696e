// The mounts of this process, as /proc/self/mountinfo lists them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::file::posix {

// One line of mountinfo.
struct Mount {
  std::uint32_t major = 0;  // device numbers; major 0 means no block device
  std::uint32_t minor = 0;
  std::string mountPoint;      // with the \ooo escapes decoded
  std::string fileSystemType;  // e.g. "ext4", "vfat", "fuseblk"
  std::string source;          // e.g. "/dev/sdb1", "tmpfs"
};

// Guarantees: a snapshot of a mountinfo file taken at Read; malformed lines are
// skipped. A value type; thread-safe for reading.
class MountTable {
 public:
  // Reads `path` (the real one is /proc/self/mountinfo); nothing when it cannot be
  // read.
  static std::optional<MountTable> Read(const std::string& path);
  // Parses mountinfo text.
  static MountTable Parse(const std::string& text);

  // The mount holding the absolute path: the longest mount point that is the path
  // or one of its ancestors; of equal ones the last listed (it is on top).
  std::optional<Mount> Find(const std::string& absolutePath) const;
  // The topmost mount at exactly `mountPoint`.
  std::optional<Mount> AtMountPoint(const std::string& mountPoint) const;

  const std::vector<Mount>& Mounts() const { return mounts_; }

 private:
  std::vector<Mount> mounts_;
};

}  // namespace ombrix::file::posix
