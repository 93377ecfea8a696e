#include "file/sequential_write_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "file/file_exceptions.h"
#include "file/file_test_support.h"
#include "file/posix/filesystem_impl.h"
#include "file/shared_file.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace ombrix::file {
namespace {

using test::Pattern;
using test::ReadAll;

class SequentialWriteCacheTest : public ::testing::Test {
 protected:
  std::shared_ptr<SharedFile> Open(const std::string& initial = "") {
    dir.Write("f", initial);
    return filesystem.OpenFile(dir.str(), "f", OpenMode::OpenExisting, true, 0, ~0ull);
  }
  std::string Content() const { return ReadAll(dir.path() / "f"); }

  ombrix::test::TempDir dir;
  posix::FilesystemImpl filesystem;
};

TEST_F(SequentialWriteCacheTest, RangeBeyondTheEndReadsZeros) {
  auto file = Open("abc");
  auto cache = file->CreateWriteCache(10, 19, 0);
  char buffer[10];
  EXPECT_THROW(cache->Read(buffer, 100), OutOfBoundsException);  // the piece would cross
  EXPECT_EQ(cache->Read(buffer, 10), 10u);
  EXPECT_EQ(std::string(buffer, 10), std::string(10, '\0'));
  EXPECT_EQ(Content(), "abc");
}

TEST_F(SequentialWriteCacheTest, RangeStraddlingTheEndLoadsTheExistingPrefix) {
  const std::string bytes = Pattern(6000);
  auto file = Open(bytes);
  auto cache = file->CreateWriteCache(5000, 8999, 0);
  std::string seen;
  cache->Process([&](std::uint8_t* data, std::uint32_t size) { seen.assign(reinterpret_cast<char*>(data), size); });
  EXPECT_EQ(seen, bytes.substr(5000) + std::string(3000, '\0'));
  EXPECT_EQ(cache->GetPosition(), 5000u);  // the load keeps the cursor
}

TEST_F(SequentialWriteCacheTest, FetchAfterWritesKeepsTheWrittenBytes) {
  auto file = Open(Pattern(300));
  auto cache = file->CreateWriteCache(200, 399, 0);
  cache->Write("new", 3);
  cache->Fetch();
  cache->Flush();
  EXPECT_EQ(Content(), Pattern(300).substr(0, 200) + "new" + Pattern(300).substr(203) + std::string(100, '\0'));
}

TEST_F(SequentialWriteCacheTest, BytesNeverWrittenReadAsZero) {
  auto file = Open();
  auto cache = file->CreateWriteCache(0, 9999, 0);
  cache->SetPosition(5000);
  cache->Write("tail", 4);
  cache->SetPosition(10);
  cache->Write("head", 4);
  std::string expected(10000, '\0');
  expected.replace(10, 4, "head");
  expected.replace(5000, 4, "tail");
  char piece[8];
  cache->SetPosition(4998);
  cache->Read(piece, 8);
  EXPECT_EQ(std::string(piece, 8), expected.substr(4998, 8));
  cache->Flush();
  EXPECT_EQ(Content(), expected);
}

TEST_F(SequentialWriteCacheTest, CursorRulesMatchTheView) {
  auto file = Open();
  auto cache = file->CreateWriteCache(100, 199, 0);
  EXPECT_EQ(cache->Take(0), nullptr);
  EXPECT_EQ(cache->Write("x", 0), 0u);
  EXPECT_EQ(cache->GetPosition(), 100u);
  cache->SetPosition(195);
  EXPECT_THROW(cache->Write("abcdef", 6), OutOfBoundsException);
  EXPECT_EQ(cache->GetPosition(), 195u);
  EXPECT_EQ(cache->Take(5), cache->GetData() + 95);
  EXPECT_THROW(cache->SetPosition(200), OutOfBoundsException);
}

TEST_F(SequentialWriteCacheTest, ConstructionChecksItsArguments) {
  auto file = Open();
  try {
    SequentialWriteCache cache(file, nullptr, nullptr, 0, 9, 0);
    ADD_FAILURE();
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "SequentialWriteCache constructor received null monitor");
  }
  EXPECT_THROW(file->CreateWriteCache(10, 9, 0), OutOfBoundsException);
  EXPECT_THROW(file->CreateWriteCache(0, 0xFFFFFFFFull, 0), std::bad_alloc);
}

TEST_F(SequentialWriteCacheTest, ReleasedWithoutFlushLeavesTheFileUnchanged) {
  const std::string bytes = Pattern(500);
  auto file = Open(bytes);
  {
    auto cache = file->CreateWriteCache(400, 999, 0);
    const std::string update = Pattern(600, 5);
    cache->Write(update.data(), 600);
  }
  EXPECT_EQ(Content(), bytes);
}

TEST_F(SequentialWriteCacheTest, FlushWithoutWritesKeepsTheExistingBytes) {
  const std::string bytes = Pattern(500);
  auto file = Open(bytes);
  auto cache = file->CreateWriteCache(400, 599, 0);
  cache->Flush();
  EXPECT_EQ(Content(), bytes + std::string(100, '\0'));
}

TEST_F(SequentialWriteCacheTest, LaterCacheWaitsForTheOneBeforeIt) {
  auto file = Open();
  auto a = file->CreateWriteCache(0, 99, 60);
  auto b = file->CreateWriteCache(100, 199, 60);
  const std::string bytes = Pattern(200);
  a->Write(bytes.data(), 100);
  b->Write(bytes.data() + 100, 100);
  ombrix::test::Signal bDone;
  std::thread flusher([&] {
    b->Flush();
    bDone.Notify();
  });
  // B is waiting for A: nothing may reach the file yet.
  EXPECT_FALSE(bDone.Wait(std::chrono::milliseconds(200)));
  EXPECT_EQ(Content(), "");
  a->Flush();
  EXPECT_TRUE(bDone.Wait());
  flusher.join();
  EXPECT_EQ(Content(), bytes);
  EXPECT_EQ(file->monitor->Get(), 200u);
}

TEST_F(SequentialWriteCacheTest, WithoutTimeoutTheLaterCacheWritesAtOnce) {
  auto file = Open();
  auto a = file->CreateWriteCache(0, 99, 0);
  auto b = file->CreateWriteCache(100, 199, 0);
  const std::string bytes = Pattern(200);
  a->Write(bytes.data(), 100);
  b->Write(bytes.data() + 100, 100);
  b->Flush();
  EXPECT_EQ(Content(), std::string(100, '\0') + bytes.substr(100));
  a->Flush();
  EXPECT_EQ(Content(), bytes);
}

TEST_F(SequentialWriteCacheTest, TimeBudgetRunsOutAndTheCacheWritesAnyway) {
  auto file = Open();
  auto b = file->CreateWriteCache(100, 199, 1);
  b->Write(Pattern(100).data(), 100);
  b->Flush();  // nobody writes [0, 99]: waits at most one second
  EXPECT_EQ(Content().size(), 200u);
}

TEST_F(SequentialWriteCacheTest, ExistingBytesCountAsWritten) {
  auto file = Open(Pattern(100));
  auto b = file->CreateWriteCache(100, 199, 60);
  EXPECT_EQ(file->monitor->Get(), 100u);
  b->Write(Pattern(100, 2).data(), 100);
  b->Flush();  // does not wait: everything before it exists
  EXPECT_EQ(Content(), Pattern(100) + Pattern(100, 2));
}

TEST_F(SequentialWriteCacheTest, ManyCachesFlushedInRandomOrderBuildTheFileExactly) {
  constexpr int kChunks = 32;
  constexpr std::uint32_t kChunk = 3000;
  auto file = Open();
  const std::string bytes = Pattern(kChunks * kChunk, 11);
  std::vector<std::shared_ptr<SequentialWriteCache>> caches;
  for (int i = 0; i < kChunks; ++i) {
    const std::uint64_t first = std::uint64_t(i) * kChunk;
    caches.push_back(file->CreateWriteCache(first, first + kChunk - 1, 60));
  }
  std::vector<int> order(kChunks);
  for (int i = 0; i < kChunks; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  std::vector<std::thread> threads;
  for (int i : order) {
    threads.emplace_back([&, i] {
      caches[i]->Write(bytes.data() + std::size_t(i) * kChunk, kChunk);
      caches[i]->Flush();
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(Content(), bytes);
}

TEST_F(SequentialWriteCacheTest, FullDiskAtWriteThroughIsInsufficientSpace) {
  auto file = Open();
  auto cache = file->CreateWriteCache(0, 128 * 1024 - 1, 0);
  cache->Write(Pattern(128 * 1024).data(), 128 * 1024);
  {
    test::FileSizeLimit limit(64 * 1024);
    EXPECT_THROW(cache->Flush(), InsufficientSpaceException);
  }
  EXPECT_EQ(file->monitor->Get(), 0u);
  cache->Flush();
  EXPECT_EQ(Content(), Pattern(128 * 1024));
}

// Counts the Flush calls of the range handles a file hands out.
class CountingFile : public SharedFile {
 public:
  CountingFile(std::shared_ptr<SharedFile> real, std::shared_ptr<int> flushes)
      : SharedFile(real->lowerBound, real->upperBound, real->context), real_(std::move(real)), flushes_(flushes) {}
  std::uint64_t GetPosition() override { return real_->GetPosition(); }
  void SetPosition(std::uint64_t position) override { real_->SetPosition(position); }
  std::uint32_t Read(void* buffer, std::uint32_t count) override { return real_->Read(buffer, count); }
  std::uint32_t Write(const void* buffer, std::uint32_t count) override { return real_->Write(buffer, count); }
  std::uint64_t GetSize() override { return real_->GetSize(); }
  bool Allocate(std::uint64_t size) override { return real_->Allocate(size); }
  bool AllowExecute() override { return real_->AllowExecute(); }
  bool DenyExecute() override { return real_->DenyExecute(); }
  using SharedFile::Map;
  std::shared_ptr<MemoryMappedData> Map(std::uint64_t first, std::uint64_t last) override {
    return real_->Map(first, last);
  }
  using SharedFile::OpenRange;
  std::shared_ptr<SharedFile> OpenRange(std::uint64_t first, std::uint64_t last) override {
    return std::make_shared<CountingFile>(real_->OpenRange(first, last), flushes_);
  }
  void Flush() override {
    ++*flushes_;
    real_->Flush();
  }

 private:
  std::shared_ptr<SharedFile> real_;
  std::shared_ptr<int> flushes_;
};

TEST_F(SequentialWriteCacheTest, FlushMakesTheWrittenBytesDurable) {
  auto flushes = std::make_shared<int>(0);
  auto file = std::make_shared<CountingFile>(Open(), flushes);
  auto cache = file->CreateWriteCache(0, 9, 0);
  cache->Write("0123456789", 10);
  cache->Flush();
  EXPECT_EQ(*flushes, 1);
  EXPECT_EQ(Content(), "0123456789");
}

TEST_F(SequentialWriteCacheTest, EmptyFileHandleIsRefused) {
  try {
    SequentialWriteCache cache(nullptr, nullptr, std::make_shared<FileSizeMonitor>(), 0, 9, 0);
    ADD_FAILURE();
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "SequentialWriteCache constructor received null file");
  }
}
}  // namespace
}  // namespace ombrix::file
