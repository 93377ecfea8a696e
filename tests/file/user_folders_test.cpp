#include "file/posix/user_folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace ombrix::file::posix {
namespace {

namespace fs = std::filesystem;
using Vars = std::map<std::string, std::string>;

TEST(TemporaryFolder, PrefersAbsoluteTmpdirThenXdgCacheThenHomeCache) {
  ombrix::test::TempDir dir;
  fs::create_directories(dir.path() / "tmp");
  fs::create_directories(dir.path() / "xdg");
  const std::string tmp = (dir.path() / "tmp").string();
  const std::string xdg = (dir.path() / "xdg").string();
  EXPECT_EQ(TemporaryFolder(Environment(Vars{{"TMPDIR", tmp + "//"}, {"XDG_CACHE_HOME", xdg}})), tmp);
  EXPECT_EQ(TemporaryFolder(Environment(Vars{{"TMPDIR", "relative"}, {"XDG_CACHE_HOME", xdg}})), xdg);
  EXPECT_EQ(TemporaryFolder(Environment(Vars{{"TMPDIR", tmp + "/missing"}, {"XDG_CACHE_HOME", xdg}})), "");
  EXPECT_EQ(TemporaryFolder(Environment(Vars{{"HOME", dir.str()}})), (dir.path() / ".cache").string());
  EXPECT_EQ(TemporaryFolder(Environment()), "");
}

TEST(TemporaryFolder, CreatesAMissingCacheFolderPrivately) {
  ombrix::test::TempDir dir;
  const std::string cache = (dir.path() / "cache").string();
  EXPECT_EQ(TemporaryFolder(Environment(Vars{{"XDG_CACHE_HOME", cache}})), cache);
  struct stat info {};
  ASSERT_EQ(::stat(cache.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(DesktopFolder, EnvironmentThenUserDirsThenHomeDesktop) {
  ombrix::test::TempDir dir;
  const std::string home = dir.str();
  EXPECT_EQ(DesktopFolder(Environment(Vars{{"XDG_DESKTOP_DIR", "/d/"}, {"HOME", home}})), "/d");
  EXPECT_EQ(DesktopFolder(Environment(Vars{{"HOME", home}})), home + "/Desktop");
  dir.Write(".config/user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  EXPECT_EQ(DesktopFolder(Environment(Vars{{"HOME", home}})), home + "/Schreibtisch");
  dir.Write("conf/user-dirs.dirs", "XDG_DESKTOP_DIR=\"/abs/desk\"\n");
  EXPECT_EQ(DesktopFolder(Environment(Vars{{"HOME", home}, {"XDG_CONFIG_HOME", home + "/conf"}})), "/abs/desk");
  dir.Write("bad/user-dirs.dirs", "XDG_DESKTOP_DIR=\"relative\"\n");
  EXPECT_EQ(DesktopFolder(Environment(Vars{{"HOME", home}, {"XDG_CONFIG_HOME", home + "/bad"}})), home + "/Desktop");
  EXPECT_EQ(DesktopFolder(Environment()), "");
}

}  // namespace
}  // namespace ombrix::file::posix
