// Chunk verification: map choice, wait budget, and whole files checked under a
// real workflow on real threads against real files.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/crc32.h"
#include "file/posix/filesystem_impl.h"
#include "file/sequential_write_cache.h"
#include "file/shared_file.h"
#include "manifest/file_manifest.h"
#include "support/fake_transfer_work_interface.h"
#include "support/temp_dir.h"
#include "transfer/transfer_status_data.h"
#include "work/asio_work_manager.h"
#include "work/standard_workflow.h"
#include "workflow/checksum_status_data.h"
#include "workflow/chunk_map_works.h"
#include "workflow/transfer_shared_file_data.h"
#include "workflow/transfer_shared_map_data.h"
#include "workflow/verify_chunks_works.h"

namespace ombrix {
namespace {

TEST(WriteCacheWaitSeconds, WaitsForTheOtherThreadsWithinBounds) {
  struct Case {
    std::int32_t threads;
    std::uint32_t divisor;
    std::uint64_t span;
    std::uint32_t seconds;
  } cases[] = {
      {10, 349525, 1048575, 27},                // ceil(9 * 1,048,575 / 349,525)
      {1, 349525, 1048575, 0},                  // no other thread to wait for
      {0, 349525, 1048575, 0},                  // below 1 counts as 1
      {-7, 349525, 1048575, 0},
      {10, 349525, 0, 0},                       // a one-byte chunk
      {0x7fffffff, 1, 0xffffffff, 0xffffffff},  // limited to 32 bits
      {10, 0, 1048575, 0xffffffff},             // no divisor: the longest wait
      {1, 0, 1048575, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WriteCacheWaitSeconds(c.threads, c.divisor, c.span), c.seconds) << c.threads << " " << c.divisor;
  }
}

std::uint32_t Crc(const std::string& bytes) { return Crc32(bytes.data(), bytes.size()); }

class ChunkVerificationTest : public ::testing::Test {
 protected:
  ChunkVerificationTest() {
    transfer->behavior.filesystem = &filesystem;
    transfer->behavior.settings.chunkConcurrency = 2;
  }

  std::shared_ptr<TransferSharedFileData> Open(const std::string& content, file::OpenMode mode,
                                               std::uint64_t recordSize) {
    dir.Write("f.bin", content);
    auto fileData = std::make_shared<TransferSharedFileData>("f.bin", recordSize);
    fileData->SetFile(filesystem.OpenFileBeneath(dir.str(), "f.bin", mode, true, 0, recordSize - 1));
    return fileData;
  }

  test::TempDir dir;
  file::posix::FilesystemImpl filesystem;
  std::shared_ptr<test::FakeTransferWorkInterface> transfer = std::make_shared<test::FakeTransferWorkInterface>();
};

TEST_F(ChunkVerificationTest, CreateChunkMapMapsOnlyBytesTheFileHas) {
  struct Case {
    std::string content;
    std::uint64_t lower, upper;
    bool cache;
  } cases[] = {
      {"0123456789", 8, 9, false},  // last byte is size - 1: a view
      {"012345678", 8, 9, true},    // the chunk ends at the current end: a cache
      {"012345678", 4, 7, false},
      {"", 0, 9, true},             // an empty, growing file
  };
  for (const Case& c : cases) {
    auto chunk = std::make_shared<TransferSharedMapData>(Open(c.content, file::OpenMode::OpenAlways, 10), c.lower,
                                                         c.upper, 0, transfer->progress);
    auto work = std::make_shared<CreateChunkMapWork>(transfer, chunk);
    ASSERT_EQ(work->Run().result, WorkResult::Success);
    ASSERT_NE(chunk->GetMap(), nullptr);
    EXPECT_EQ(dynamic_cast<file::SequentialWriteCache*>(chunk->GetMap().get()) != nullptr, c.cache)
        << c.content.size() << " " << c.upper;
  }

  // Without an open file, or a map, the works name what is missing.
  auto bare = std::make_shared<TransferSharedMapData>(std::make_shared<TransferSharedFileData>("f.bin", 10), 0, 9,
                                                      0, transfer->progress);
  const std::pair<std::shared_ptr<SimpleWork>, std::string> missing[] = {
      {std::make_shared<CreateChunkMapWork>(transfer, bare), "CreateChunkMapWork::ExecuteTask has no shared file"},
      {std::make_shared<VerifyChunkWork>(transfer, bare), "VerifyChunkWork::ExecuteTask has no shared map"},
  };
  for (const auto& [work, text] : missing) {
    const WorkStatus status = work->Run();
    EXPECT_EQ(status.result, WorkResult::Error);
    const auto* data = dynamic_cast<const TransferErrorData*>(status.data.get());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->ToTransferError(), TransferError::Internal);
    EXPECT_EQ(data->GetMessage(), "error|9|" + text);
  }
}

TEST_F(ChunkVerificationTest, VerifiesAWholeFileUnderAWorkflow) {
  const std::string content = "0123456789";
  struct Case {
    const char* name;
    bool readOnly;
    int wrongChunk;  // -1: every checksum right
  } cases[] = {
      {"matching", false, -1},
      {"read-only file", true, -1},
      {"second chunk wrong", false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    transfer = std::make_shared<test::FakeTransferWorkInterface>();
    transfer->behavior.filesystem = &filesystem;
    transfer->behavior.settings.chunkConcurrency = 2;
    std::vector<std::uint32_t> checksums = {Crc("0123"), Crc("4567"), Crc("89")};
    if (c.wrongChunk >= 0) checksums[c.wrongChunk] ^= 1;
    auto manifest = std::make_shared<StandardFileManifest>("f.bin", 4, content.size(), checksums);

    std::filesystem::path path = dir.Write("f.bin", content);
    if (c.readOnly) std::filesystem::permissions(path, std::filesystem::perms(0444));
    auto fileData = std::make_shared<TransferSharedFileData>("f.bin", content.size());
    fileData->SetFile(filesystem.OpenFileBeneath(
        dir.str(), "f.bin", c.readOnly ? file::OpenMode::ReadOnly : file::OpenMode::OpenExisting, true, 0, 9));

    AsioWorkManager executor(2, false);
    auto root = std::make_shared<LazyParallelVerifyMultipleChunksWork>(transfer, manifest, fileData);
    root->AddCompleteCallback(&transfer->workCompleteRoute);
    auto workflow = StandardWorkflow::Create(root, executor, 4);
    ASSERT_TRUE(workflow->Start());
    ASSERT_TRUE(transfer->workCompleteRoute.WaitForCount(1));
    const WorkStatus status = transfer->workCompleteRoute.Last();

    if (c.wrongChunk < 0) {
      EXPECT_EQ(status.result, WorkResult::Success);
      EXPECT_EQ(transfer->progress->verified, content.size());
      EXPECT_EQ(transfer->progress->transferred, content.size());
    } else {
      EXPECT_EQ(status.result, WorkResult::Error);
      const auto* data = dynamic_cast<const ChecksumStatusData*>(status.data.get());
      ASSERT_NE(data, nullptr);
      EXPECT_EQ(data->ToTransferError(), TransferError::ChecksumMismatch);
      EXPECT_EQ(data->GetMessage(), std::string("error|6|") + test::FakeTransferWorkInterface::kTransferId +
                                        "|10|4|" + ChecksumText(checksums[1]) + "|" + ChecksumText(Crc("4567")));
    }
    std::filesystem::permissions(path, std::filesystem::perms(0644));
  }
}

}  // namespace
}  // namespace ombrix
