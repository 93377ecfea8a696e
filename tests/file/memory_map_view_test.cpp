#include "file/posix/memory_map_view.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <csignal>
#include <thread>
#include <vector>

#include "file/file_exceptions.h"
#include "file/file_test_support.h"
#include "file/posix/filesystem_impl.h"
#include "file/posix/mapped_memory_guard.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace ombrix::file {
namespace {

using test::Pattern;
using test::ReadAll;

class MemoryMapViewTest : public ::testing::Test {
 protected:
  std::shared_ptr<SharedFile> OpenWith(const std::string& bytes) {
    dir.Write("f", bytes);
    return filesystem.OpenFile(dir.str(), "f", OpenMode::OpenExisting, true, 0, ~0ull);
  }

  ombrix::test::TempDir dir;
  posix::FilesystemImpl filesystem;
  const std::uint32_t page = posix::MemoryMapView::Granularity();
};

TEST_F(MemoryMapViewTest, UnalignedViewPointsIntoItsAlignedMapping) {
  const std::string bytes = Pattern(3 * page);
  auto file = OpenWith(bytes);
  auto view = file->Map(page + 5, page + 9);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(view->GetData()) % page, 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(view->GetData()), 5), bytes.substr(page + 5, 5));
  EXPECT_EQ(view->GetPosition(), page + 5u);
  auto front = file->Map(5, 9);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(front->GetData()), 5), bytes.substr(5, 5));
}

TEST_F(MemoryMapViewTest, CursorRules) {
  auto file = OpenWith(Pattern(100));
  auto view = file->Map(10, 29);
  EXPECT_EQ(view->Take(0), nullptr);
  EXPECT_EQ(view->GetPosition(), 10u);
  EXPECT_EQ(view->Write("x", 0), 0u);
  std::uint8_t* taken = view->Take(4);
  EXPECT_EQ(taken, view->GetData());
  EXPECT_EQ(view->GetPosition(), 14u);
  EXPECT_THROW(view->Take(17), OutOfBoundsException);
  EXPECT_THROW(view->SetPosition(30), OutOfBoundsException);
  EXPECT_THROW(view->SetPosition(9), OutOfBoundsException);
  view->SetPosition(29);
  EXPECT_EQ(view->Take(1), view->GetData() + 19);
  EXPECT_EQ(view->GetPosition(), 30u);
  EXPECT_EQ(view->Take(0), nullptr);
  EXPECT_THROW(view->Take(1), OutOfBoundsException);
}

TEST_F(MemoryMapViewTest, WritePastTheUpperBoundCopiesNothing) {
  const std::string bytes = Pattern(100);
  auto file = OpenWith(bytes);
  auto view = file->Map(10, 19);
  view->SetPosition(15);
  EXPECT_THROW(view->Write("abcdef", 6), OutOfBoundsException);
  EXPECT_EQ(view->GetPosition(), 15u);
  EXPECT_EQ(ReadAll(dir.path() / "f"), bytes);
  EXPECT_EQ(view->Write("abcde", 5), 5u);
  EXPECT_EQ(ReadAll(dir.path() / "f").substr(15, 5), "abcde");  // the file's own bytes
}

TEST_F(MemoryMapViewTest, ReadsComeInPiecesOfFourKilobytes) {
  const std::string bytes = Pattern(10000);
  auto file = OpenWith(bytes);
  auto view = file->Map(0, 9999);
  std::string buffer(10000, '\0');
  EXPECT_EQ(view->Read(buffer.data(), 10000), 4096u);
  EXPECT_EQ(buffer.substr(0, 4096), bytes.substr(0, 4096));
  view->SetPosition(9000);
  EXPECT_THROW(view->Read(buffer.data(), 10000), OutOfBoundsException);  // the piece would cross
  EXPECT_EQ(view->Read(buffer.data(), 1000), 1000u);
  EXPECT_EQ(buffer.substr(0, 1000), bytes.substr(9000));
}

TEST_F(MemoryMapViewTest, ProcessFetchAndFlushSeeTheWholeRange) {
  const std::string bytes = Pattern(5 * page + 123);
  auto file = OpenWith(bytes);
  auto view = file->Map(100, bytes.size() - 1);
  std::string seen;
  view->Process([&](std::uint8_t* data, std::uint32_t size) { seen.assign(reinterpret_cast<char*>(data), size); });
  EXPECT_EQ(seen, bytes.substr(100));
  EXPECT_NO_THROW(view->Fetch());
  const std::string update = Pattern(view->Size(), 9);
  view->Write(update.data(), view->Size());
  EXPECT_NO_THROW(view->Flush());
  EXPECT_EQ(ReadAll(dir.path() / "f").substr(100), update);
}

TEST_F(MemoryMapViewTest, WritesAndMappedBytesAreTheSameBytes) {
  auto file = OpenWith(Pattern(3 * page));
  auto view = file->Map(page - 2, 2 * page + 1);
  const std::string update = Pattern(view->Size(), 4);
  view->Write(update.data(), view->Size());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(view->GetData()), view->Size()), update);
  std::memcpy(view->GetData(), "in place", 8);
  view->Flush();
  EXPECT_EQ(ReadAll(dir.path() / "f").substr(page - 2, 8), "in place");
}

TEST_F(MemoryMapViewTest, ViewOutlivesItsFile) {
  auto file = OpenWith(Pattern(100));
  auto view = file->Map(0, 99);
  file.reset();
  EXPECT_EQ(view->Write("kept", 4), 4u);
  view->Flush();
  EXPECT_EQ(ReadAll(dir.path() / "f").substr(0, 4), "kept");
}

TEST_F(MemoryMapViewTest, FaultOnTruncatedFileIsInvalidMap) {
  auto file = OpenWith(Pattern(4 * page));
  auto view = file->Map(0, 4 * page - 1);
  ASSERT_EQ(::truncate((dir.path() / "f").c_str(), 0), 0);
  std::string buffer(4096, '\0');
  view->SetPosition(2 * page);
  EXPECT_THROW(view->Read(buffer.data(), 4096), InvalidMapException);
  EXPECT_EQ(view->GetPosition(), 2u * page);
  EXPECT_THROW(view->Write(buffer.data(), 100), InvalidMapException);
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "f"), 0u);  // not grown back
  EXPECT_THROW(view->Fetch(), InvalidMapException);
  EXPECT_THROW(view->Process([](std::uint8_t* data, std::uint32_t size) {
    volatile std::uint8_t sink = data[size - 1];
    (void)sink;
  }), InvalidMapException);
}

// The callable of Process is the caller's own code: a fault inside it must not skip
// its destructors (a lock left taken, memory leaked), and the view stays refused.
TEST_F(MemoryMapViewTest, FaultInsideProcessRunsTheCallablesDestructors) {
  auto file = OpenWith(Pattern(4 * page));
  auto view = file->Map(0, 4 * page - 1);
  ASSERT_EQ(::truncate((dir.path() / "f").c_str(), page), 0);
  std::mutex lock;
  auto owned = std::make_shared<int>(0);
  bool finished = false;
  EXPECT_THROW(view->Process([&, owned](std::uint8_t* data, std::uint32_t size) {
    std::lock_guard<std::mutex> hold(lock);
    auto copy = owned;
    volatile std::uint8_t sink = 0;
    for (std::uint32_t at = 0; at < size; at += page) sink = sink + data[at];
    finished = true;
  }), InvalidMapException);
  EXPECT_TRUE(finished);
  EXPECT_TRUE(lock.try_lock());
  lock.unlock();
  EXPECT_EQ(owned.use_count(), 1);
  std::string buffer(16, '\0');
  view->SetPosition(page);
  EXPECT_THROW(view->Read(buffer.data(), 16), InvalidMapException);  // never zeros in place of the file
  EXPECT_THROW(view->Process([](std::uint8_t*, std::uint32_t) {}), InvalidMapException);
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "f"), std::uint64_t{page});

  // A callable that gives up on what it read still reports the fault.
  auto other = file->Map(0, page - 1);
  ASSERT_EQ(::truncate((dir.path() / "f").c_str(), 0), 0);
  EXPECT_THROW(other->Process([](std::uint8_t* data, std::uint32_t) {
    if (static_cast<volatile std::uint8_t*>(data)[0] == 0) throw std::runtime_error("checksum mismatch");
  }), InvalidMapException);
  EXPECT_THROW(other->GetData(), InvalidMapException);
}

TEST_F(MemoryMapViewTest, FaultsOnManyThreadsAtOnceAreEachCaught) {
  auto file = OpenWith(Pattern(16 * page));
  std::vector<std::shared_ptr<MemoryMappedData>> views;
  for (int i = 0; i < 8; ++i) views.push_back(file->Map(std::uint64_t(i) * 2 * page, std::uint64_t(i) * 2 * page + 2 * page - 1));
  ASSERT_EQ(::truncate((dir.path() / "f").c_str(), 0), 0);
  std::atomic<int> caught{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      std::string buffer(4096, '\0');
      for (int round = 0; round < 50; ++round) {
        try {
          views[i]->SetPosition(views[i]->lowerBound);
          views[i]->Read(buffer.data(), 4096);
        } catch (const InvalidMapException&) {
          ++caught;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(caught.load(), 8 * 50);
}

TEST_F(MemoryMapViewTest, NestedGuardsUnwindToTheInnermost) {
  auto file = OpenWith(Pattern(page));
  auto view = file->Map(0, page - 1);
  ASSERT_EQ(::truncate((dir.path() / "f").c_str(), 0), 0);
  bool innerCaught = false;
  posix::Guarded([&] {
    try {
      char c;
      posix::GuardedCopy(&c, view->GetData(), 1);
    } catch (const InvalidMapException&) {
      innerCaught = true;
    }
  });
  EXPECT_TRUE(innerCaught);
}

// The previous handler of a fault outside any guard still runs.
void ExitQuietly(int) { _exit(42); }

TEST(MappedMemoryGuardDeathTest, FaultsOutsideGuardsGoToThePreviousHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::signal(SIGBUS, ExitQuietly);
        char c = 0;
        posix::GuardedCopy(&c, "x", 1);  // installs the guard's handler on top
        std::raise(SIGBUS);
      },
      ::testing::ExitedWithCode(42), "");
}

// A cut of the file racing a Write must not be undone by the write: each round cuts
// the file below the bytes a writer keeps writing, at a moment of its loop.
TEST_F(MemoryMapViewTest, WriteNeverGrowsAFileCutDuringIt) {
  const std::string bytes = Pattern(4 * page);
  auto file = OpenWith(bytes);
  const auto path = dir.path() / "f";
  for (int round = 0; round < 200; ++round) {
    ASSERT_EQ(::truncate(path.c_str(), 4 * page), 0);
    auto view = file->Map(2 * page, 4 * page - 1);
    std::atomic<bool> started{false};
    std::thread writer([&] {
      for (;;) {
        view->SetPosition(2 * page);
        try {
          view->Write(bytes.data(), 4096);
        } catch (const InvalidMapException&) {
          return;
        }
        started = true;
      }
    });
    ASSERT_TRUE(ombrix::test::WaitUntil([&] { return started.load(); }));
    ASSERT_EQ(::truncate(path.c_str(), 2 * page), 0);
    writer.join();
    ASSERT_EQ(std::filesystem::file_size(path), 2u * page) << "round " << round;
  }
}

TEST_F(MemoryMapViewTest, FullDiskOnWriteIsInsufficientSpace) {
  auto file = OpenWith(Pattern(256 * 1024));
  auto view = file->Map(128 * 1024, 192 * 1024 - 1);
  test::FileSizeLimit limit(64 * 1024);
  EXPECT_THROW(view->Write("x", 1), InsufficientSpaceException);
  EXPECT_EQ(view->GetPosition(), 128u * 1024);
}
}  // namespace
}  // namespace ombrix::file
