#include "file/posix/filesystem_impl.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "file/file_exceptions.h"
#include "file/volume.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace ombrix::file {
namespace {

namespace fs = std::filesystem;

class FilesystemTest : public ::testing::Test {
 protected:
  std::string At(const std::string& name) const { return (dir.path() / name).string(); }

  ombrix::test::TempDir dir;
  posix::FilesystemImpl filesystem{Environment({{"HOME", "/home/user"}, {"XDG_DESKTOP_DIR", "/home/user/Desk"}})};
};

TEST(FilesystemPaths, JoinParentAndExtension) {
  EXPECT_EQ(Filesystem::Join("a", "b"), "a/b");
  EXPECT_EQ(Filesystem::Join("a/", "b"), "a/b");
  EXPECT_EQ(Filesystem::Join("a", "/b"), "a/b");
  EXPECT_EQ(Filesystem::Join("a", ""), "a");
  EXPECT_EQ(Filesystem::ParentPath("a/b/c"), "a/b");
  EXPECT_EQ(Filesystem::ParentPath("a"), "");
  EXPECT_EQ(Filesystem::ParentPath("/a"), "/");
  EXPECT_EQ(Filesystem::Extension("dir.d/setup.tar.gz"), ".gz");
  EXPECT_EQ(Filesystem::Extension("dir.d/README"), "");
}

TEST_F(FilesystemTest, IsExecutableByExtensionOrContent) {
  dir.Write("setup.exe", "MZ");
  dir.Write("SETUP.EXE", "MZ");
  dir.Write("notes.txt", "hello");
  dir.Write("run.sh", "echo");
  dir.Write("App.AppImage", "");
  dir.Write("program", "\x7f" "ELF\x02\x01");
  dir.Write("script", "#!/bin/sh\n");
  EXPECT_TRUE(filesystem.IsExecutable(dir.str(), "setup.exe"));
  EXPECT_FALSE(filesystem.IsExecutable(dir.str(), "SETUP.EXE"));
  EXPECT_FALSE(filesystem.IsExecutable(dir.str(), "notes.txt"));
  EXPECT_TRUE(filesystem.IsExecutable(dir.str(), "run.sh"));
  EXPECT_TRUE(filesystem.IsExecutable(dir.str(), "App.AppImage"));
  EXPECT_TRUE(filesystem.IsExecutable(dir.str(), "program"));
  EXPECT_TRUE(filesystem.IsExecutable(dir.str(), "script"));
  EXPECT_TRUE(filesystem.IsExecutable(dir.str(), "not-yet-there.msi"));
  EXPECT_FALSE(filesystem.IsExecutable(dir.str(), "not-yet-there"));
  fs::create_symlink(dir.path() / "notes.txt", dir.path() / "link.exe");
  EXPECT_FALSE(filesystem.IsExecutable(dir.str(), "link.exe"));  // judged by what it points at
}

// Only a regular file's content is looked at: opening a named pipe to read it would
// wait for a writer that never comes.
TEST_F(FilesystemTest, IsExecutableDoesNotWaitOnANamedPipe) {
  ASSERT_EQ(::mkfifo(At("pipe").c_str(), 0600), 0);
  ombrix::test::Signal answered;
  bool executable = true;
  std::thread asker([&] {
    executable = filesystem.IsExecutable(dir.str(), "pipe");
    answered.Notify();
  });
  const bool inTime = answered.Wait();
  if (!inTime) {
    // Release the blocked reader so the test can end.
    const int writer = ::open(At("pipe").c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
  }
  asker.join();
  EXPECT_TRUE(inTime);
  EXPECT_FALSE(executable);
}

TEST_F(FilesystemTest, RemoveFileTakesEmptiedFoldersButNeverTheDirectory) {
  dir.Write("D/a/b/file", "x");
  EXPECT_TRUE(filesystem.RemoveFile(At("D"), "a/b/file", false));
  EXPECT_FALSE(fs::exists(At("D/a")));
  EXPECT_TRUE(fs::is_directory(At("D")));

  dir.Write("E/a/keep", "x");
  dir.Write("E/a/b/file", "x");
  EXPECT_TRUE(filesystem.RemoveFile(At("E"), "a/b/file", true));
  EXPECT_FALSE(fs::exists(At("E/a/b")));
  EXPECT_TRUE(fs::exists(At("E/a/keep")));

  EXPECT_FALSE(filesystem.RemoveFile(At("E"), "a/missing", false));
  EXPECT_TRUE(fs::exists(At("E/a/keep")));
}

TEST_F(FilesystemTest, RemoveFileDoesNotClimbOutThroughDotDot) {
  dir.Write("D/file", "x");
  fs::create_directory(At("E"));
  EXPECT_TRUE(filesystem.RemoveFile(At("E"), "../D/file", false));
  EXPECT_TRUE(fs::is_directory(At("D")));
}

TEST_F(FilesystemTest, QuietVariantsNeverThrow) {
  EXPECT_EQ(filesystem.GetFileSizeQuietly(At("missing")), 0u);
  EXPECT_THROW(filesystem.GetFileSize(At("missing")), NotFoundException);
  dir.Write("five", "12345");
  EXPECT_EQ(filesystem.GetFileSizeQuietly(At("five")), 5u);
  EXPECT_FALSE(filesystem.ExistsQuietly(std::string("a\0b", 3)));
  EXPECT_FALSE(filesystem.Equivalent(At("missing"), At("missing")));
  EXPECT_TRUE(filesystem.Equivalent(At("five"), At("./five")));
  EXPECT_FALSE(filesystem.EnsureDirectoryQuietly(At("five/sub")));
}

TEST_F(FilesystemTest, InvalidNamesAreBadPaths) {
  EXPECT_THROW(filesystem.Exists(std::string("a\0b", 3)), BadPathException);
  EXPECT_THROW(filesystem.Exists("\xff"), BadPathException);
  EXPECT_THROW(filesystem.Exists(At(std::string(300, 'n'))), BadPathException);
  EXPECT_FALSE(filesystem.ExistsQuietly(At(std::string(300, 'n'))));
  EXPECT_FALSE(filesystem.Exists(At("missing")));
}

TEST_F(FilesystemTest, CreateDirectoryOnlyMakesTheLastElement) {
  EXPECT_TRUE(filesystem.CreateDirectory(dir.str(), "new"));
  EXPECT_FALSE(filesystem.CreateDirectory(At("new")));
  EXPECT_THROW(filesystem.CreateDirectory(At("missing/new")), NotFoundException);
  EXPECT_TRUE(filesystem.CreateDirectories(At("x/y/z")));
  EXPECT_FALSE(filesystem.CreateDirectories(At("x/y/z")));
  EXPECT_TRUE(filesystem.EnsureDirectory(At("x/y/z")));
  EXPECT_TRUE(filesystem.EnsureDirectory(At("p/q")));
  EXPECT_TRUE(fs::is_directory(At("p/q")));
}

// Two threads making the same folder both see it made (the updater's staging folder
// and the service's log folder share their parents).
TEST_F(FilesystemTest, EnsureDirectoryHoldsWhenAnotherThreadMakesTheFolderFirst) {
  for (int round = 0; round < 200; ++round) {
    const std::string path = At("race" + std::to_string(round) + "/a/b/c");
    bool other = false;
    std::thread racer([&] { other = filesystem.EnsureDirectoryQuietly(path); });
    const bool mine = filesystem.EnsureDirectoryQuietly(path);
    racer.join();
    ASSERT_TRUE(mine && other) << "round " << round;
  }
}

TEST_F(FilesystemTest, DirectoryEmptinessCanIgnoreHiddenEntries) {
  fs::create_directory(At("d"));
  EXPECT_TRUE(filesystem.IsDirectoryEmpty(At("d"), false));
  dir.Write("d/.hidden", "");
  EXPECT_FALSE(filesystem.IsDirectoryEmpty(At("d"), false));
  EXPECT_TRUE(filesystem.IsDirectoryEmpty(At("d"), true));
  EXPECT_TRUE(filesystem.IsHiddenOrSystem(At("d/.hidden")));
  EXPECT_FALSE(filesystem.IsHiddenOrSystem(At("d")));
  EXPECT_THROW(filesystem.IsHiddenOrSystem(At("missing")), NotFoundException);
  EXPECT_THROW(filesystem.OpenDirectory(At("missing")), NotFoundException);

  auto entries = filesystem.OpenDirectory(At("d"));
  std::string entry;
  ASSERT_TRUE(entries->Next(entry));
  EXPECT_EQ(entry, At("d/.hidden"));
  EXPECT_FALSE(entries->Next(entry));
}

TEST_F(FilesystemTest, CopyRefusesToOverwriteAndCopiesLinksAsLinks) {
  dir.Write("src", "content");
  filesystem.Copy(At("src"), At("dst"), true);
  EXPECT_EQ(fs::file_size(At("dst")), 7u);
  EXPECT_THROW(filesystem.Copy(At("src"), At("dst"), false), InUseException);
  fs::create_directory(At("folder"));
  filesystem.Copy(At("folder"), At("folder2"), false);
  EXPECT_TRUE(fs::is_directory(At("folder2")));
  filesystem.CreateSymlink("src", At("link"));
  filesystem.Copy(At("link"), At("link2"), false);
  EXPECT_TRUE(fs::is_symlink(At("link2")));
  EXPECT_EQ(fs::read_symlink(At("link2")), "src");
  EXPECT_THROW(filesystem.Copy(At("missing"), At("x"), false), NotFoundException);
}

TEST_F(FilesystemTest, RemoveOneOrAll) {
  dir.Write("t/a/b", "x");
  EXPECT_THROW(filesystem.Remove(At("t"), false, false), InUseException);  // not empty
  EXPECT_TRUE(filesystem.Remove(dir.str(), "t", true, true));
  EXPECT_FALSE(fs::exists(At("t")));
  EXPECT_FALSE(filesystem.Remove(At("t"), true, false));
  EXPECT_FALSE(filesystem.Remove(At("t"), false, false));
}

TEST_F(FilesystemTest, SizesAndSpace) {
  dir.Write("f", std::string(1234, 'x'));
  EXPECT_EQ(filesystem.GetFileSize(At("f")), 1234u);
  EXPECT_GT(filesystem.GetAvailableSpace(dir.str()), 0u);
  EXPECT_THROW(filesystem.GetAvailableSpace(At("missing")), NotFoundException);
  EXPECT_EQ(filesystem.Canonical(At("./f")), fs::canonical(At("f")).string());
  EXPECT_EQ(filesystem.GetContext("a"), filesystem.GetContext("b"));
}

TEST_F(FilesystemTest, UserFoldersComeFromTheInjectedEnvironment) {
  EXPECT_EQ(filesystem.GetDesktopPath(), "/home/user/Desk");
  posix::FilesystemImpl withTmp(Environment({{"TMPDIR", dir.str() + "/"}}));
  EXPECT_EQ(withTmp.GetTempPath(), dir.str());
  posix::FilesystemImpl nothing{Environment()};
  EXPECT_EQ(nothing.GetTempPath(), "");
  EXPECT_EQ(nothing.GetDesktopPath(), "");
}

TEST_F(FilesystemTest, GetVolumeFindsTheMountHoldingThePath) {
  fs::create_directories(At("mnt/usb/sub"));
  const std::string mountInfo =
      "21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "40 21 8:17 / " + At("mnt/usb") + " rw - vfat /dev/sdb1 rw\n";
  dir.Write("mountinfo", mountInfo);
  posix::FilesystemImpl machine(Environment(), At("mountinfo"), At("sys"));
  auto volume = machine.GetVolume(At("mnt/usb/sub"));
  EXPECT_EQ(volume->rootPath, At("mnt/usb"));
  EXPECT_EQ(volume->GetFileSystemName(), "FAT32");
  EXPECT_EQ(machine.GetVolume(At("mnt"))->rootPath, "/");
  EXPECT_THROW(machine.GetVolume(At("missing")), NotFoundException);
  posix::FilesystemImpl noMounts(Environment(), At("no-mountinfo"), At("sys"));
  EXPECT_THROW(noMounts.GetVolume(dir.str()), NotFoundException);
}

TEST_F(FilesystemTest, EntryKindDoesNotFollowLinks) {
  dir.Write("file", "x");
  std::filesystem::create_directory(dir.path() / "folder");
  std::filesystem::create_symlink(dir.path() / "file", dir.path() / "link");
  std::filesystem::create_directory_symlink(dir.path() / "folder", dir.path() / "folderLink");
  const std::vector<std::pair<std::string, EntryKind>> cases{
      {"file", EntryKind::RegularFile}, {"folder", EntryKind::Directory}, {"link", EntryKind::Other},
      {"folderLink", EntryKind::Other}, {"missing", EntryKind::Absent},   {"file/below", EntryKind::Absent}};
  for (const auto& [name, kind] : cases) EXPECT_EQ(filesystem.GetEntryKind((dir.path() / name).string()), kind) << name;
  EXPECT_THROW(filesystem.GetEntryKind(std::string("a\0b", 3)), BadPathException);
}

TEST_F(FilesystemTest, ErrnoValuesHaveTheirOwnTranslation) {
  EXPECT_NO_THROW(filesystem.ThrowForErrno(0));
  EXPECT_THROW(filesystem.ThrowForErrno(EACCES), InaccessibleException);  // 13 is no Windows access code
  EXPECT_THROW(filesystem.ThrowForErrno(ENOSPC), InsufficientSpaceException);
}
}  // namespace
}  // namespace ombrix::file
