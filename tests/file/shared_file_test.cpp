#include "file/shared_file.h"

#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <new>
#include <thread>

#include "file/file_exceptions.h"
#include "file/file_test_support.h"
#include "file/posix/filesystem_impl.h"
#include "file/sequential_write_cache.h"
#include "support/temp_dir.h"

namespace ombrix::file {
namespace {

using test::Pattern;
using test::ReadAll;
constexpr std::uint64_t kWhole = ~0ull;

class SharedFileTest : public ::testing::Test {
 protected:
  std::shared_ptr<SharedFile> Open(const std::string& name, OpenMode mode = OpenMode::OpenAlways,
                                   std::uint64_t first = 0, std::uint64_t last = kWhole) {
    return filesystem.OpenFile(dir.str(), name, mode, true, first, last);
  }
  std::filesystem::path At(const std::string& name) const { return dir.path() / name; }
  mode_t Mode(const std::string& name) const {
    struct stat info {};
    ::stat(At(name).c_str(), &info);
    return info.st_mode & 07777;
  }

  ombrix::test::TempDir dir;
  posix::FilesystemImpl filesystem;
};

TEST_F(SharedFileTest, FirstAboveLastIsRejectedBeforeTheFileIsTouched) {
  EXPECT_THROW(Open("f", OpenMode::OpenAlways, 10, 9), OutOfBoundsException);
  EXPECT_FALSE(std::filesystem::exists(At("f")));
}

TEST_F(SharedFileTest, OpenModesCreateOrRequireTheFile) {
  EXPECT_THROW(Open("a/b/f", OpenMode::OpenExisting), NotFoundException);
  EXPECT_FALSE(std::filesystem::exists(At("a")));
  auto file = Open("a/b/f", OpenMode::OpenAlways);
  EXPECT_TRUE(std::filesystem::is_regular_file(At("a/b/f")));
  EXPECT_THROW(Open("a/b/f", OpenMode::CreateNew), InUseException);
  EXPECT_NO_THROW(Open("a/b/f", OpenMode::OpenExisting));
  EXPECT_NO_THROW(Open("c/g", OpenMode::CreateNew));
  EXPECT_THROW(filesystem.OpenFile((dir.path() / "missing").string(), "f", OpenMode::OpenAlways, false, 0, kWhole),
               NotFoundException);
}

TEST_F(SharedFileTest, OpeningSetsThePositionToTheLowerBound) {
  auto file = Open("f", OpenMode::OpenAlways, 100, 199);
  EXPECT_EQ(file->GetPosition(), 100u);
  EXPECT_THROW(file->SetPosition(99), OutOfBoundsException);
  EXPECT_THROW(file->SetPosition(200), OutOfBoundsException);
  EXPECT_EQ(file->GetPosition(), 100u);
}

// A lower bound the platform cannot seek to fails the open; the descriptor opened
// for it is given back, not leaked.
TEST_F(SharedFileTest, OpeningAtAnUnreachableLowerBoundLeavesNoDescriptorOpen) {
  auto file = Open("f");
  const auto descriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  const auto before = descriptors();
  const std::uint64_t unreachable = 1ull << 63;
  for (int i = 0; i < 3; ++i) {
    EXPECT_THROW(Open("f", OpenMode::OpenExisting, unreachable, kWhole), BadPathException);
    EXPECT_THROW(file->OpenRange(unreachable, kWhole), BadPathException);
  }
  EXPECT_EQ(descriptors(), before);
}

TEST_F(SharedFileTest, ReadsAreCutAtFourKilobytesAndEndAtTheEndOfFile) {
  const std::string bytes = Pattern(10000);
  dir.Write("f", bytes);
  auto file = Open("f");
  std::string buffer(10000, '\0');
  EXPECT_EQ(file->Read(buffer.data(), 10000), 4096u);
  EXPECT_EQ(buffer.substr(0, 4096), bytes.substr(0, 4096));
  EXPECT_EQ(file->GetPosition(), 4096u);
  file->SetPosition(9000);
  EXPECT_EQ(file->Read(buffer.data(), 4096), 1000u);
  EXPECT_EQ(buffer.substr(0, 1000), bytes.substr(9000));
  EXPECT_EQ(file->Read(buffer.data(), 4096), 0u);
  EXPECT_EQ(file->Read(buffer.data(), 0), 0u);
}

TEST_F(SharedFileTest, CrossingTheUpperBoundTransfersNothing) {
  dir.Write("f", Pattern(100));
  auto file = Open("f", OpenMode::OpenExisting, 10, 19);
  char buffer[16] = {};
  file->SetPosition(15);
  EXPECT_THROW(file->Read(buffer, 6), OutOfBoundsException);
  EXPECT_THROW(file->Write("abcdef", 6), OutOfBoundsException);
  EXPECT_EQ(file->GetPosition(), 15u);
  EXPECT_EQ(ReadAll(At("f")), Pattern(100));
  EXPECT_EQ(file->Write("abcde", 5), 5u);
  EXPECT_EQ(file->GetPosition(), 20u);
  EXPECT_EQ(ReadAll(At("f")).substr(15, 5), "abcde");
}

TEST_F(SharedFileTest, WritesHaveNoFourKilobyteLimit) {
  auto file = Open("f");
  const std::string bytes = Pattern(100000);
  EXPECT_EQ(file->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())), bytes.size());
  EXPECT_EQ(file->GetSize(), bytes.size());
  EXPECT_EQ(ReadAll(At("f")), bytes);
}

TEST_F(SharedFileTest, AllocateOnlyGrowsAnEmptyFile) {
  auto file = Open("f");
  EXPECT_TRUE(file->Allocate(0));
  EXPECT_EQ(file->GetSize(), 0u);
  EXPECT_TRUE(file->Allocate(1 << 20));
  EXPECT_EQ(file->GetSize(), 1u << 20);
  EXPECT_EQ(file->GetPosition(), 0u);
  EXPECT_EQ(ReadAll(At("f")), std::string(1 << 20, '\0'));

  dir.Write("one", "x");
  auto small = Open("one");
  EXPECT_FALSE(small->Allocate(1000));
  EXPECT_EQ(small->GetSize(), 1u);

  auto upper = Open("upper", OpenMode::OpenAlways, 10, kWhole);
  EXPECT_THROW(upper->Allocate(100), OutOfBoundsException);
  EXPECT_EQ(upper->GetSize(), 0u);
}

TEST_F(SharedFileTest, FullDiskIsInsufficientSpaceAndTheFileStaysUsable) {
  auto file = Open("f");
  {
    test::FileSizeLimit limit(64 * 1024);
    EXPECT_THROW(file->Allocate(1 << 20), InsufficientSpaceException);
    EXPECT_EQ(file->GetSize(), 0u);  // nothing half-reserved is left behind
    const std::string bytes = Pattern(128 * 1024);
    EXPECT_THROW(file->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())), InsufficientSpaceException);
    EXPECT_EQ(file->GetPosition(), 0u);
  }
  file->SetPosition(0);
  EXPECT_EQ(file->Write("after", 5), 5u);
  file->SetPosition(0);
  char buffer[5];
  EXPECT_EQ(file->Read(buffer, 5), 5u);
  EXPECT_EQ(std::string(buffer, 5), "after");
}

TEST_F(SharedFileTest, BadPathsAreRejected) {
  EXPECT_THROW(Open(std::string("a\0b", 3)), BadPathException);
  EXPECT_THROW(Open("bad\xff\xfename"), BadPathException);
  EXPECT_THROW(Open("over\xc0\xaflong"), BadPathException);
  EXPECT_THROW(Open(std::string(300, 'n')), BadPathException);
  EXPECT_NO_THROW(Open("caf\xc3\xa9 \xe2\x82\xac"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(SharedFileTest, ReadOnlyFolderIsInaccessible) {
  std::filesystem::create_directory(At("ro"));
  ::chmod(At("ro").c_str(), 0555);
  ::chmod(dir.path().c_str(), 0755);
  bool inaccessible = false;
  bool unprivileged = true;
  // Root passes every permission check; judge the folder as an ordinary user would,
  // by switching the file-system identity of one thread only.
  std::thread worker([&] {
    if (::geteuid() == 0) {
      ::setfsuid(65534);
      unprivileged = ::setfsuid(static_cast<uid_t>(-1)) == 65534;
    }
    try {
      Open("ro/f");
    } catch (const InaccessibleException&) {
      inaccessible = true;
    } catch (...) {
    }
    if (::geteuid() == 0) ::setfsuid(0);
  });
  worker.join();
  if (!unprivileged) GTEST_SKIP() << "cannot drop the file-system identity of root";
  EXPECT_TRUE(inaccessible);
}

TEST_F(SharedFileTest, MapOnlyCoversExistingBytes) {
  dir.Write("f", Pattern(1000));
  auto file = Open("f");
  EXPECT_NO_THROW(file->Map(0, 999));
  EXPECT_THROW(file->Map(0, 1000), InvalidMapException);
  EXPECT_THROW(file->Map(10, 9), OutOfBoundsException);
  auto bounded = Open("f", OpenMode::OpenExisting, 100, 199);
  auto whole = bounded->Map();
  EXPECT_EQ(whole->lowerBound, 100u);
  EXPECT_EQ(whole->upperBound, 199u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(whole->GetData()), 100), Pattern(1000).substr(100, 100));
}

TEST_F(SharedFileTest, OpenRangeHasItsOwnPositionAndBounds) {
  dir.Write("f", Pattern(1000));
  auto file = Open("f");
  auto range = file->OpenRange(500, 599);
  EXPECT_EQ(range->GetPosition(), 500u);
  EXPECT_EQ(file->GetPosition(), 0u);
  EXPECT_EQ(range->context, file->context);
  EXPECT_NE(range->monitor, file->monitor);
  EXPECT_EQ(range->Write("xyz", 3), 3u);
  EXPECT_EQ(ReadAll(At("f")).substr(500, 3), "xyz");
  EXPECT_THROW(range->SetPosition(600), OutOfBoundsException);
}

TEST_F(SharedFileTest, DenyAndAllowExecuteSwitchTheExecuteBits) {
  dir.Write("f", "#!/bin/sh\n");
  ::chmod(At("f").c_str(), 0755);
  auto file = Open("f");
  EXPECT_TRUE(file->DenyExecute());
  EXPECT_EQ(Mode("f"), 0644u);
  EXPECT_TRUE(file->DenyExecute());
  EXPECT_TRUE(file->AllowExecute());
  EXPECT_EQ(Mode("f"), 0755u);
  EXPECT_TRUE(file->AllowExecute());
  EXPECT_EQ(Mode("f"), 0755u);
  ::chmod(At("f").c_str(), 0600);
  EXPECT_TRUE(file->AllowExecute());
  EXPECT_EQ(Mode("f"), 0700u);  // only the classes that may read it
}

TEST_F(SharedFileTest, ConcurrentWritersThroughOwnRangesLoseNothing) {
  constexpr int kWriters = 8;
  constexpr std::uint32_t kPiece = 64 * 1024;
  auto file = Open("f");
  ASSERT_TRUE(file->Allocate(std::uint64_t{kWriters} * kPiece));
  const std::string bytes = Pattern(kWriters * kPiece, 3);
  std::vector<std::thread> writers;
  for (int i = 0; i < kWriters; ++i) {
    writers.emplace_back([&, i] {
      const auto first = static_cast<std::uint64_t>(i) * kPiece;
      auto range = file->OpenRange(first, first + kPiece - 1);
      for (std::uint32_t at = 0; at < kPiece; at += 4096) range->Write(bytes.data() + i * kPiece + at, 4096);
    });
  }
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(ReadAll(At("f")), bytes);
}

TEST_F(SharedFileTest, ReadOnlyModeReadsAndMapsButRefusesEveryWrite) {
  dir.Write("f", Pattern(3 * 4096));
  ::chmod(At("f").c_str(), 0444);
  EXPECT_THROW(Open("missing", OpenMode::ReadOnly), NotFoundException);
  auto file = Open("f", OpenMode::ReadOnly);
  char buffer[10];
  EXPECT_EQ(file->Read(buffer, 10), 10u);
  EXPECT_THROW(file->Write("x", 1), InaccessibleException);
  EXPECT_THROW(file->OpenRange(0, 99)->Write("x", 1), InaccessibleException);
  auto view = file->Map(100, 8191);
  std::string seen;
  view->Process([&](std::uint8_t* data, std::uint32_t size) { seen.assign(reinterpret_cast<char*>(data), size); });
  EXPECT_EQ(seen, Pattern(3 * 4096).substr(100, 8092));
  EXPECT_THROW(view->Write("x", 1), InaccessibleException);
  EXPECT_THROW(view->Take(1), InaccessibleException);
  EXPECT_THROW(file->CreateWriteCache(0, 99, 0)->Flush(), InaccessibleException);
  EXPECT_EQ(ReadAll(At("f")), Pattern(3 * 4096));
}

TEST_F(SharedFileTest, BeneathRefusesEveryWayOutOfTheDestination) {
  std::filesystem::create_directories(At("dest/inside"));
  std::filesystem::create_directories(At("outside"));
  dir.Write("outside/target", "keep");
  std::filesystem::create_symlink(At("outside/target"), At("dest/link"));
  std::filesystem::create_directory_symlink(At("outside"), At("dest/away"));
  const std::string dest = At("dest").string();
  for (const std::string& path : std::vector<std::string>{"link", "away/target", "away/new", "away/a/b", "../outside/target", "inside/../link",
                                 "./inside/f", "inside//f", "", At("outside/target").string()}) {
    for (OpenMode mode : {OpenMode::OpenAlways, OpenMode::CreateNew, OpenMode::OpenExisting, OpenMode::ReadOnly}) {
      EXPECT_THROW(filesystem.OpenFileBeneath(dest, path, mode, false, 0, kWhole), BadPathException)
          << path << " " << int(mode);
    }
  }
  EXPECT_EQ(ReadAll(At("outside/target")), "keep");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(At("outside")), {}), 1);

  EXPECT_THROW(filesystem.OpenFileBeneath(At("none").string(), "f", OpenMode::OpenAlways, false, 0, kWhole),
               NotFoundException);
  auto file = filesystem.OpenFileBeneath(dest, "a/b/f", OpenMode::OpenAlways, true, 0, kWhole);
  EXPECT_EQ(file->OpenRange(2, 9)->Write("xyz", 3), 3u);
  EXPECT_EQ(ReadAll(At("dest/a/b/f")), std::string("\0\0xyz", 5));
  EXPECT_NO_THROW(filesystem.OpenFileBeneath(dest, "a/b/f", OpenMode::ReadOnly, false, 0, kWhole));
}

// Offsets above 4 GiB through every layer, on a sparse file.
TEST_F(SharedFileTest, OffsetsAboveFourGibibytes) {
  constexpr std::uint64_t kFar = (4ull << 30) + 123;
  auto file = Open("f");
  ASSERT_EQ(::truncate(At("f").c_str(), 5ll << 30), 0);
  file->SetPosition(kFar);
  EXPECT_EQ(file->Write("positioned", 10), 10u);
  EXPECT_EQ(file->GetPosition(), kFar + 10);
  char buffer[10];
  file->SetPosition(kFar);
  ASSERT_EQ(file->Read(buffer, 10), 10u);
  EXPECT_EQ(std::string(buffer, 10), "positioned");

  auto view = file->Map(kFar + 5, kFar + 4999);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(view->GetData()), 5), "ioned");
  view->SetPosition(kFar + 100);
  EXPECT_EQ(view->Write("mapped", 6), 6u);
  view->Flush();

  const std::uint64_t end = 5ull << 30;
  auto cache = file->CreateWriteCache(end - 4, end + 5, 0);
  cache->SetPosition(end - 4);
  EXPECT_EQ(cache->Write("cachedbyte", 10), 10u);
  cache->Flush();
  EXPECT_EQ(file->GetSize(), end + 6);

  auto check = Open("f", OpenMode::ReadOnly);
  for (const auto& [at, text] : std::vector<std::pair<std::uint64_t, std::string>>{
           {kFar, "positioned"}, {kFar + 100, "mapped"}, {end - 4, "cachedbyte"}}) {
    check->SetPosition(at);
    ASSERT_EQ(check->Read(buffer, static_cast<std::uint32_t>(text.size())), text.size());
    EXPECT_EQ(std::string(buffer, text.size()), text) << at;
  }
}

}  // namespace
}  // namespace ombrix::file
