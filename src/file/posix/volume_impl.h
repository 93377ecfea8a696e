// The volume of a path on Linux: a mount from mountinfo and its block device in sysfs.
#pragma once

#include <string>

#include "file/volume.h"

namespace ombrix::file::posix {

// Guarantees: every query re-reads the mount table, so a volume unmounted since it
// was handed out makes the queries throw InaccessibleException. rootPath is the
// mount point, rootName the mount's source. Machine state is read from the
// injected mountinfo file and sysfs root only. Thread-safe: no mutable state.
class VolumeImpl : public Volume {
 public:
  VolumeImpl(std::string rootPath, std::string rootName, std::string mountInfoPath = "/proc/self/mountinfo",
             std::string sysfsRoot = "/sys");

  // vfat is "FAT32", exfat "exFAT", ntfs, ntfs3 and ntfs-3g "NTFS"; any other Linux
  // name as it stands.
  std::string GetFileSystemName() override;
  // True when the mount's block device hangs below a USB bus in sysfs. The device
  // is found by the mount's device number, or, for the anonymous numbers of btrfs
  // and ZFS, by a source /dev/<name> under sysfs's class/block. A mount without a
  // block device (tmpfs, overlay, network) cannot be asked: InaccessibleException.
  bool IsUsb() override;
  // Whether the file system keeps holes in files unallocated.
  bool SupportsSparseFiles() override;

  // The name GetFileSystemName gives for a Linux file-system type.
  static std::string TranslateFileSystemName(const std::string& linuxType);

  const std::string rootName;

 private:
  std::string CurrentType() const;

  const std::string mountInfoPath_;
  const std::string sysfsRoot_;
};

}  // namespace ombrix::file::posix
