// The chunk record: progress accounting and its map handle.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>

#include "file/memory_mapped_data.h"
#include "file/posix/filesystem_impl.h"
#include "file/sequential_write_cache.h"
#include "file/shared_file.h"
#include "support/fake_transfer_work_interface.h"
#include "support/temp_dir.h"
#include "workflow/transfer_shared_file_data.h"
#include "workflow/transfer_shared_map_data.h"

namespace ombrix {
namespace {

TEST(TransferSharedMapData, SettleProgressCountsTheChunkLengthExactlyOnce) {
  constexpr std::uint64_t k5GiB = 5ULL << 30;
  struct Case {
    std::uint64_t lower, upper, counted, transferredAfter;
  } cases[] = {
      {0, 999, 0, 1000},               // nothing written yet: all of it is added
      {0, 999, 400, 1000},             // partly counted: the rest is added
      {0, 999, 1200, 1000},            // counted too much (a retried write): 200 taken off
      {0, 999, 1000, 1000},            // already exact
      {k5GiB, k5GiB + 999, 0, 1000},   // bounds beyond 4 GiB, length still 1000
  };
  for (const Case& c : cases) {
    auto progress = std::make_shared<test::CountingProgressUpdater>();
    progress->transferred = c.counted;
    TransferSharedMapData chunk(nullptr, c.lower, c.upper, 0, progress);
    chunk.fileProgressBytes = c.counted;
    chunk.SettleProgress();
    EXPECT_EQ(progress->transferred, c.transferredAfter) << c.counted;
    EXPECT_EQ(progress->verified, 1000U);
    EXPECT_EQ(chunk.fileProgressBytes, 1000U);
  }
}

TEST(TransferSharedMapData, ResetProgressRewindsTheMapAndTakesItsBytesOff) {
  test::TempDir dir;
  dir.Write("f.bin", "");
  file::posix::FilesystemImpl filesystem;
  auto fileData = std::make_shared<TransferSharedFileData>("f.bin", 100);
  auto progress = std::make_shared<test::CountingProgressUpdater>();
  progress->transferred = 70;
  TransferSharedMapData chunk(fileData, 50, 99, 0, progress);
  chunk.fileProgressBytes = 30;

  chunk.ResetProgress();  // no map yet: nothing changes
  EXPECT_EQ(chunk.fileProgressBytes, 30U);
  EXPECT_EQ(progress->transferred, 70U);

  auto file = filesystem.OpenFileBeneath(dir.str(), "f.bin", file::OpenMode::OpenAlways, true, 0, 99);
  chunk.SetMap(file->CreateWriteCache(50, 99, 0));
  chunk.GetMap()->SetPosition(80);
  chunk.ResetProgress();
  EXPECT_EQ(chunk.GetMap()->GetPosition(), 50U);
  EXPECT_EQ(chunk.fileProgressBytes, 0U);
  EXPECT_EQ(progress->transferred, 40U);

  // Describe names the file first, the checksum in lowercase hexadecimal.
  boost::property_tree::ptree tree;
  TransferSharedMapData(fileData, 0, 9, 0x1c291ca3, nullptr).Describe(tree);
  EXPECT_EQ(tree.front().first, "filePath");
  EXPECT_EQ(tree.get<std::string>("fileSize"), "100");
  EXPECT_EQ(tree.get<std::string>("expectedChecksum"), "1c291ca3");
  EXPECT_EQ(tree.get<std::string>("fileProgressBytes"), "0");
}

TEST(TransferSharedMapData, ReleasedMapStaysUsableByItsHolder) {
  // A writer holding the map keeps it alive when the record drops it (a file work
  // torn down while chunk tasks still write).
  test::TempDir dir;
  dir.Write("f.bin", "");
  file::posix::FilesystemImpl filesystem;
  auto fileData = std::make_shared<TransferSharedFileData>("f.bin", 10);
  fileData->SetFile(filesystem.OpenFileBeneath(dir.str(), "f.bin", file::OpenMode::OpenAlways, true, 0, 9));
  TransferSharedMapData chunk(fileData, 0, 9, 0, nullptr);
  chunk.SetMap(fileData->GetFile()->CreateWriteCache(0, 9, 0));

  const std::shared_ptr<file::MemoryMappedData> held = chunk.GetMap();
  chunk.ReleaseMap();
  fileData->SetFile(nullptr);
  EXPECT_EQ(chunk.GetMap(), nullptr);
  EXPECT_EQ(held->Write("0123456789", 10), 10U);
  held->Flush();
  EXPECT_EQ(filesystem.GetFileSize(dir.str() + "/f.bin"), 10U);
}

}  // namespace
}  // namespace ombrix
