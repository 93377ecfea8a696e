#include "file/posix/volume_impl.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "file/file_exceptions.h"
#include "file/posix/mount_table.h"
#include "support/temp_dir.h"

namespace ombrix::file {
namespace {

namespace fs = std::filesystem;

TEST(VolumeClassify, OnlyExactNamesHaveAKind) {
  posix::VolumeImpl volume("/", "/dev/sda1");
  EXPECT_EQ(volume.ClassifyFileSystem("NTFS"), FileSystemKind::NTFS);
  EXPECT_EQ(volume.ClassifyFileSystem("FAT32"), FileSystemKind::FAT32);
  EXPECT_EQ(volume.ClassifyFileSystem("exFAT"), FileSystemKind::exFAT);
  EXPECT_EQ(volume.ClassifyFileSystem("ntfs"), FileSystemKind::Other);
  EXPECT_EQ(volume.ClassifyFileSystem("FAT"), FileSystemKind::Other);
  EXPECT_EQ(volume.ClassifyFileSystem("EXFAT"), FileSystemKind::Other);
  EXPECT_EQ(volume.ClassifyFileSystem("ext4"), FileSystemKind::Other);
}

TEST(MountTable, ParsesOptionalFieldsAndEscapes) {
  auto table = posix::MountTable::Parse(
      "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 shared:2 - ext3 /dev/root rw\n"
      "37 36 8:17 / /media/My\\040Stick rw - vfat /dev/sdb1 rw\n"
      "garbage line\n"
      "38 36 0:40 / /mnt/parentx rw - tmpfs tmpfs rw\n");
  ASSERT_EQ(table.Mounts().size(), 3u);
  EXPECT_EQ(table.Mounts()[0].fileSystemType, "ext3");
  EXPECT_EQ(table.Mounts()[0].major, 98u);
  EXPECT_EQ(table.Mounts()[1].mountPoint, "/media/My Stick");
  EXPECT_EQ(table.Find("/media/My Stick/file")->source, "/dev/sdb1");
  EXPECT_EQ(table.Find("/mnt/parentx/a")->fileSystemType, "tmpfs");
  EXPECT_EQ(table.Find("/mnt/parent/a")->fileSystemType, "ext3");
  EXPECT_FALSE(table.Find("/elsewhere").has_value());
}

class VolumeTest : public ::testing::Test {
 protected:
  VolumeTest() {
    // sysfs: one disk behind a USB bus, one on the PCI bus.
    fs::create_directories(dir.path() / "sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/block/sdb/sdb1");
    fs::create_directories(dir.path() / "sys/devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/sda1");
    fs::create_directories(dir.path() / "sys/dev/block");
    fs::create_directory_symlink("../../devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/block/sdb/sdb1",
                                 dir.path() / "sys/dev/block/8:17");
    fs::create_directory_symlink("../../devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/sda1",
                                 dir.path() / "sys/dev/block/8:1");
    Mounts("21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
           "40 21 8:17 / /media/stick rw - exfat /dev/sdb1 rw\n"
           "41 21 0:45 / /run/user rw - tmpfs tmpfs rw\n"
           "42 21 8:33 / /media/gone rw - vfat /dev/sdc1 rw\n");
  }
  void Mounts(const std::string& text) { dir.Write("mountinfo", text); }
  posix::VolumeImpl Volume(const std::string& root) {
    return posix::VolumeImpl(root, "", (dir.path() / "mountinfo").string(), (dir.path() / "sys").string());
  }

  ombrix::test::TempDir dir;
};

TEST_F(VolumeTest, UsbDeviceIsDetectedThroughItsBus) {
  EXPECT_TRUE(Volume("/media/stick").IsUsb());
  EXPECT_FALSE(Volume("/").IsUsb());
}

TEST_F(VolumeTest, MountWithoutBlockDeviceCannotBeAskedAboutUsb) {
  EXPECT_THROW(Volume("/run/user").IsUsb(), InaccessibleException);
  EXPECT_THROW(Volume("/media/gone").IsUsb(), InaccessibleException);  // no device in sysfs
}

TEST_F(VolumeTest, NamesAndSparseSupport) {
  EXPECT_EQ(Volume("/media/stick").GetFileSystemName(), "exFAT");
  EXPECT_FALSE(Volume("/media/stick").SupportsSparseFiles());
  EXPECT_EQ(Volume("/").GetFileSystemName(), "ext4");
  EXPECT_TRUE(Volume("/").SupportsSparseFiles());
  EXPECT_TRUE(Volume("/run/user").SupportsSparseFiles());
  EXPECT_FALSE(Volume("/media/gone").SupportsSparseFiles());
}

TEST_F(VolumeTest, RemovedVolumeMakesEveryQueryInaccessible) {
  auto stick = Volume("/media/stick");
  Mounts("21 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
  EXPECT_THROW(stick.GetFileSystemName(), InaccessibleException);
  EXPECT_THROW(stick.IsUsb(), InaccessibleException);
  EXPECT_THROW(stick.SupportsSparseFiles(), InaccessibleException);
  fs::remove(dir.path() / "mountinfo");
  EXPECT_THROW(Volume("/").GetFileSystemName(), InaccessibleException);
}

// btrfs and ZFS mounts carry an anonymous device number; their source names the device.
TEST_F(VolumeTest, AnonymousDeviceIsFoundThroughItsSource) {
  fs::create_directories(dir.path() / "sys/class/block");
  fs::create_directory_symlink("../../devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/block/sdb/sdb1",
                               dir.path() / "sys/class/block/sdb1");
  fs::create_directory_symlink("../../devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/sda1",
                               dir.path() / "sys/class/block/sda1");
  Mounts("21 1 0:31 / / rw - btrfs /dev/sda1 rw\n"
         "40 21 0:52 / /media/stick rw - btrfs /dev/sdb1 rw\n"
         "41 21 0:45 / /run/user rw - tmpfs tmpfs rw\n"
         "42 21 0:60 / /pool rw - zfs /dev/sdc1 rw\n"
         "43 21 0:61 / /crypt rw - btrfs /dev/mapper/luks rw\n"
         "44 21 0:62 / /up rw - btrfs /dev/../sda1 rw\n"
         "45 21 0:63 / /tank rw - zfs tank/home rw\n");
  EXPECT_FALSE(Volume("/").IsUsb());
  EXPECT_TRUE(Volume("/media/stick").IsUsb());
  for (const std::string root : {"/run/user", "/pool", "/crypt", "/up", "/tank"}) {
    EXPECT_THROW(Volume(root).IsUsb(), InaccessibleException) << root;
  }
}
}  // namespace
}  // namespace ombrix::file
