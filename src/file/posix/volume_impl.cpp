#include "file/posix/volume_impl.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>

#include "file/file_exceptions.h"
#include "file/posix/mount_table.h"

namespace ombrix::file::posix {

namespace {

posix::Mount CurrentMount(const std::string& mountInfoPath, const std::string& rootPath) {
  std::optional<MountTable> table = MountTable::Read(mountInfoPath);
  if (!table) throw InaccessibleException();
  std::optional<posix::Mount> mount = table->AtMountPoint(rootPath);
  if (!mount) throw InaccessibleException();
  return *mount;
}

// Linux file-system types whose files may have holes that take no space.
constexpr std::array<std::string_view, 17> kSparseTypes{
    "ext2", "ext3", "ext4", "xfs", "btrfs", "tmpfs", "f2fs", "zfs", "jfs", "reiserfs",
    "ocfs2", "nilfs2", "bcachefs", "ntfs", "ntfs3", "fuseblk.ntfs-3g", "overlay",
};

}  // namespace

VolumeImpl::VolumeImpl(std::string rootPath, std::string rootName, std::string mountInfoPath, std::string sysfsRoot)
    : Volume(std::move(rootPath)),
      rootName(std::move(rootName)),
      mountInfoPath_(std::move(mountInfoPath)),
      sysfsRoot_(std::move(sysfsRoot)) {}

std::string VolumeImpl::TranslateFileSystemName(const std::string& linuxType) {
  if (linuxType == "vfat" || linuxType == "msdos") return "FAT32";
  if (linuxType == "exfat" || linuxType == "fuseblk.exfat" || linuxType == "fuse.exfat") return "exFAT";
  // fuseblk without a subtype is what ntfs-3g, by far the most common FUSE block
  // file system, shows.
  if (linuxType == "ntfs" || linuxType == "ntfs3" || linuxType == "fuseblk" || linuxType == "fuseblk.ntfs-3g" ||
      linuxType == "fuseblk.ntfs" || linuxType == "fuse.ntfs-3g") {
    return "NTFS";
  }
  return linuxType;
}

std::string VolumeImpl::CurrentType() const { return CurrentMount(mountInfoPath_, rootPath).fileSystemType; }

std::string VolumeImpl::GetFileSystemName() { return TranslateFileSystemName(CurrentType()); }

bool VolumeImpl::IsUsb() {
  const posix::Mount mount = CurrentMount(mountInfoPath_, rootPath);
  namespace fs = std::filesystem;
  fs::path link;
  if (mount.major != 0) {
    link = fs::path(sysfsRoot_) / "dev" / "block" / (std::to_string(mount.major) + ":" + std::to_string(mount.minor));
  } else {
    // btrfs and ZFS show an anonymous device number although the mount's source is
    // a block device; that device is found by its name. tmpfs, overlay and network
    // mounts have no such source.
    static constexpr std::string_view kDevices = "/dev/";
    if (mount.source.compare(0, kDevices.size(), kDevices) != 0) throw InaccessibleException();
    const std::string name = mount.source.substr(kDevices.size());
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
      throw InaccessibleException();
    }
    link = fs::path(sysfsRoot_) / "class" / "block" / name;
  }
  std::error_code error;
  const fs::path device = fs::canonical(link, error);
  if (error) throw InaccessibleException();
  // The device's path runs through its buses: .../usb2/2-1/2-1:1.0/host6/.../sdb/sdb1.
  for (const fs::path& element : device) {
    const std::string name = element.string();
    if (name.size() > 3 && name.compare(0, 3, "usb") == 0 &&
        std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return true;
    }
  }
  return false;
}

bool VolumeImpl::SupportsSparseFiles() {
  const std::string type = CurrentType();
  return std::find(kSparseTypes.begin(), kSparseTypes.end(), type) != kSparseTypes.end();
}

}  // namespace ombrix::file::posix
